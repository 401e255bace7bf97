#pragma once

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QObject>
#include <QVariantMap>

class QWidget;

namespace mosscatch {

class HarvestEngine;

// Tells the desktop about the window's run: its progress and the images saved
// on the program's launcher entry (the task bar or dock) while it goes on, and
// a notification at its end when the window is not the active one; choosing
// the notification brings the window forward. Without a session bus it keeps
// quiet.
class RunAnnouncer : public QObject
{
    Q_OBJECT

public:
    // Owned by window, the one it speaks for.
    RunAnnouncer(HarvestEngine &engine, QWidget *window);

    // line: the words the window ends the run with.
    void announceRunOver(const QString &line);

private slots:
    void actionInvoked(uint id, const QString &action);

private:
    void keywordStarted();
    void resultCountRead(double resultCount);
    void imageSaved();
    void showProgress();
    void updateLauncherEntry(const QVariantMap &properties);
    void notify(const QString &body);

    HarvestEngine &m_engine;
    QWidget *m_window;
    QDBusConnection m_bus;
    const QString m_launcherPath;

    bool m_running = false;
    int m_keywordsDone = 0;
    int m_keywordsInRun = 0;
    int m_keywordImages = 0;
    double m_keywordExpected = 0;
    qint64 m_images = 0;
    double m_progress = 0;

    int m_shownPercent = -1;
    qint64 m_shownImages = 0;
    QElapsedTimer m_sinceShown;

    uint m_notificationId = 0;
};

}
