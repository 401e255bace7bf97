#include "ui/runannouncer.h"

#include "common/product.h"
#include "engine/harvestengine.h"
#include "engine/resultpagewalker.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QWidget>

#include <algorithm>

namespace mosscatch {

namespace {

constexpr QLatin1String NotificationService("org.freedesktop.Notifications");
constexpr QLatin1String NotificationPath("/org/freedesktop/Notifications");
constexpr QLatin1String LauncherInterface("com.canonical.Unity.LauncherEntry");
// A count of images moves many times a second; the dock needs it only now and then.
constexpr qint64 CountIntervalMs = 500;

QString desktopFileId()
{
    return QLatin1String(ProductDesktopId) + QStringLiteral(".desktop");
}

}

RunAnnouncer::RunAnnouncer(HarvestEngine &engine, QWidget *window)
    : QObject(window),
      m_engine(engine),
      m_window(window),
      m_bus(QDBusConnection::sessionBus()),
      m_launcherPath(QStringLiteral("/com/canonical/unity/launcherentry/%1")
                             .arg(QCoreApplication::applicationPid()))
{
    if (!m_bus.isConnected())
        return;
    connect(&engine, &HarvestEngine::keywordStarted, this, &RunAnnouncer::keywordStarted);
    connect(&engine, &HarvestEngine::imageSaved, this, &RunAnnouncer::imageSaved);
    connect(engine.scraper(), &PageScraper::resultCountRead, this, &RunAnnouncer::resultCountRead);
    m_bus.connect(NotificationService, NotificationPath, NotificationService,
                  QStringLiteral("ActionInvoked"), this, SLOT(actionInvoked(uint, QString)));
}

void RunAnnouncer::keywordStarted()
{
    if (m_running) {
        ++m_keywordsDone;
    } else {
        m_running = true;
        m_keywordsDone = 0;
        m_images = 0;
        m_progress = 0;
        m_shownPercent = -1;
    }
    // The engine has taken this keyword off the list already.
    m_keywordsInRun = m_keywordsDone + 1 + m_engine.keywords()->rowCount();
    m_keywordImages = 0;
    m_keywordExpected = 0;
    showProgress();
}

void RunAnnouncer::resultCountRead(double resultCount)
{
    const HarvestOptions &options = m_engine.options();
    const int sizes = int(options.thumbnails()) + int(options.standard()) + int(options.largest());
    m_keywordExpected
            = ResultPageWalker::photoBudget(resultCount, options.maxImages()) * double(sizes);
}

void RunAnnouncer::imageSaved()
{
    ++m_images;
    ++m_keywordImages;
    showProgress();
}

// Keywords added during the run lower the share a keyword stands for; the bar
// waits for the run to catch up rather than going back.
void RunAnnouncer::showProgress()
{
    if (!m_running)
        return;
    const double keyword
            = m_keywordExpected > 0 ? std::min(1.0, m_keywordImages / m_keywordExpected) : 0.0;
    m_progress = std::max(m_progress, (m_keywordsDone + keyword) / m_keywordsInRun);
    const int percent = int(m_progress * 100);
    if (percent == m_shownPercent
        && (m_images == m_shownImages || m_sinceShown.elapsed() < CountIntervalMs))
        return;
    m_shownPercent = percent;
    m_shownImages = m_images;
    m_sinceShown.start();
    updateLauncherEntry({{QStringLiteral("progress"), m_progress},
                         {QStringLiteral("progress-visible"), true},
                         {QStringLiteral("count"), m_images},
                         {QStringLiteral("count-visible"), true}});
}

void RunAnnouncer::announceRunOver(const QString &line)
{
    if (!m_running)
        return;
    m_running = false;
    updateLauncherEntry({{QStringLiteral("progress-visible"), false},
                         {QStringLiteral("count-visible"), false}});
    if (!m_window->isActiveWindow())
        notify(line);
}

void RunAnnouncer::updateLauncherEntry(const QVariantMap &properties)
{
    QDBusMessage update = QDBusMessage::createSignal(m_launcherPath, LauncherInterface,
                                                     QStringLiteral("Update"));
    update << QStringLiteral("application://") + desktopFileId() << properties;
    m_bus.send(update);
}

void RunAnnouncer::notify(const QString &body)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
            NotificationService, NotificationPath, NotificationService, QStringLiteral("Notify"));
    const QString desktopId = QString::fromLatin1(ProductDesktopId);
    const QVariantMap hints{{QStringLiteral("desktop-entry"), desktopId}};
    // Replaces the previous run's notification where it is still shown.
    call << QStringLiteral("Mosscatch") << m_notificationId << desktopId
         << QStringLiteral("Mosscatch") << body
         << QStringList{QStringLiteral("default"), QStringLiteral("Show Mosscatch")} << hints << -1;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isValid())
            m_notificationId = reply.value();
        watcher->deleteLater();
    });
}

void RunAnnouncer::actionInvoked(uint id, const QString &action)
{
    if (id == 0 || id != m_notificationId || action != QLatin1String("default"))
        return;
    m_window->showNormal();
    m_window->raise();
    m_window->activateWindow();
}

}
