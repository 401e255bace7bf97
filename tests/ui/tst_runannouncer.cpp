#include "common/product.h"
#include "engine/harvestengine.h"
#include "net/hostmap.h"
#include "net/tcpconnection.h"
#include "photosite/photosite.h"
#include "testmain.h"
#include "ui/frmmain.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace mosscatch;

namespace {

constexpr QLatin1String Service("org.freedesktop.Notifications");
constexpr QLatin1String Path("/org/freedesktop/Notifications");
constexpr uint NotificationId = 7;

}

// The desktop's side of the private bus, on a connection of its own: the
// notification server and a dock that follows the launcher entries.
class FakeDesktop : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "desktop");
    QList<QStringList> notifications;
    QStringList launcherUris;
    QList<QVariantMap> launcherUpdates;

    bool start()
    {
        return bus.registerObject(Path, this, QDBusConnection::ExportScriptableSlots)
               && bus.registerService(Service)
               && bus.connect({}, {}, QStringLiteral("com.canonical.Unity.LauncherEntry"),
                              QStringLiteral("Update"), this,
                              SLOT(launcherUpdate(QString, QVariantMap)));
    }

    void invokeDefaultAction(uint id)
    {
        QDBusMessage signal = QDBusMessage::createSignal(Path, Service, "ActionInvoked");
        signal << id << QStringLiteral("default");
        bus.send(signal);
    }

public slots:
    Q_SCRIPTABLE uint Notify(const QString &appName, uint, const QString &, const QString &summary,
                             const QString &body, const QStringList &actions, const QVariantMap &,
                             int)
    {
        notifications.append(QStringList{appName, summary, body} + actions);
        return NotificationId;
    }
    Q_SCRIPTABLE QStringList GetCapabilities() { return {QStringLiteral("actions")}; }

    void launcherUpdate(const QString &uri, const QVariantMap &properties)
    {
        launcherUris.append(uri);
        launcherUpdates.append(properties);
    }
};

class TestRunAnnouncer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run under dbus-run-session");
        QVERIFY2(m_desktop.start(), "another notification server is on this bus");
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home.path());
    }

    // The dock follows the whole run; the notification comes only when the
    // window is behind others, and brings that window forward.
    void announcesTheRun_data()
    {
        QTest::addColumn<bool>("active");
        QTest::newRow("window behind others") << false;
        QTest::newRow("window active") << true;
    }

    void announcesTheRun()
    {
        QFETCH(bool, active);
        m_desktop.notifications.clear();
        m_desktop.launcherUpdates.clear();
        const QTemporaryDir saveFolder;
        PhotoSite site;
        QVERIFY(site.listen());
        HostMap hostMap;
        hostMap.addLocalSite(site.serverPort());
        HarvestEngine engine(SiteConfiguration(), TcpConnection::factory(hostMap));
        engine.setIntervals({.next = 2, .stats = 20, .speed = 200, .timeout = 400});
        FrmMain window(engine);
        if (active) {
            window.show();
            window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&window));
        }
        window.findChild<QLineEdit *>("tDir")->setText(saveFolder.path());
        engine.addKeywordsInOrder({QStringLiteral("count2"), QStringLiteral("count3")});
        QSignalSpy runOver(&engine, &HarvestEngine::runOver);
        QVERIFY(engine.start());
        QVERIFY(runOver.wait(120000));
        roundTrip();

        const QList<QVariantMap> &updates = m_desktop.launcherUpdates;
        QVERIFY(updates.size() >= 3);
        QCOMPARE(QSet<QString>(m_desktop.launcherUris.begin(), m_desktop.launcherUris.end()),
                 QSet<QString>{"application://" + QLatin1String(ProductDesktopId) + ".desktop"});
        QCOMPARE(updates.first().value("count").metaType(), QMetaType::fromType<qlonglong>());
        double progress = 0;
        for (const QVariantMap &update : updates.first(updates.size() - 1)) {
            QVERIFY(update.value("progress-visible").toBool());
            QVERIFY(update.value("count-visible").toBool());
            QVERIFY(update.value("progress").toDouble() >= progress);
            progress = update.value("progress").toDouble();
        }
        // Into the second keyword by the images it saved, not only by its start.
        QVERIFY(progress > 0.5);
        QCOMPARE(updates.last(),
                 (QVariantMap{{"progress-visible", false}, {"count-visible", false}}));

        if (active) {
            QCOMPARE(m_desktop.notifications.size(), 0);
            return;
        }
        const QString line = window.findChild<QLabel *>("lKW")->text();
        QVERIFY(line.startsWith("Done: 2 keywords"));
        QCOMPARE(m_desktop.notifications.size(), 1);
        const QStringList notification = m_desktop.notifications.first();
        QCOMPARE(notification.first(3), (QStringList{"Mosscatch", "Mosscatch", line}));
        QVERIFY(notification.mid(3).contains("default"));

        m_desktop.invokeDefaultAction(NotificationId + 1);
        roundTrip();
        QVERIFY(!window.isVisible());
        m_desktop.invokeDefaultAction(NotificationId);
        QTRY_VERIFY(window.isVisible() && window.isActiveWindow());
    }

private:
    // Returns once the window's connection has taken in all the desktop sent
    // before, and the desktop all the window sent.
    void roundTrip()
    {
        QDBusPendingCallWatcher watcher(QDBusConnection::sessionBus().asyncCall(
                QDBusMessage::createMethodCall(Service, Path, Service, "GetCapabilities")));
        QSignalSpy finished(&watcher, &QDBusPendingCallWatcher::finished);
        QVERIFY(finished.wait());
        QVERIFY(!watcher.isError());
    }

    FakeDesktop m_desktop;
    QTemporaryDir m_home;
};

MOSSCATCH_TEST_MAIN(TestRunAnnouncer)
#include "tst_runannouncer.moc"
