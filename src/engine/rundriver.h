#pragma once

#include "engine/addressqueue.h"
#include "engine/connectionpool.h"
#include "engine/doneregistry.h"
#include "engine/harvestoptions.h"
#include "engine/harveststate.h"
#include "engine/siteconfiguration.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringListModel>

namespace mosscatch {

// Turns the keyword list into a sequence of harvests: takes the top keyword,
// rebuilds the pool, makes the keyword's folders and queues its search.
class RunDriver : public QObject
{
    Q_OBJECT

public:
    RunDriver(const SiteConfiguration &site, HarvestOptions &options, HarvestState &state,
              QStringListModel &keywords, AddressQueue &queue, DoneRegistry &registry,
              ConnectionPool &pool, QObject *parent = nullptr);

    // Starts the harvest of the top keyword; false (nothing changed) when
    // the list is empty.
    bool nextMajorKeyword();
    void startAll();

    QDateTime keywordStartedAt() const { return m_startedAt; }

    // " Blue  Sky " becomes "blue++sky".
    static QString cleanKeyword(const QString &entry);
    // Trailing "/", backslashes as "/", doubled slashes collapsed once.
    static QString normalisedSaveFolder(const QString &folder);
    // The keyword as a folder name that stays inside the save folder.
    static QString keywordFolderName(const QString &keyword);
    static QByteArray searchAddress(const SiteConfiguration &site, const QString &keyword,
                                    bool commercial);

public slots:
    // Watches for the keyword's search address being given up.
    void noteGivenUp(const QByteArray &url);

signals:
    void keywordStarted(const QString &keyword);
    // The keyword cannot be harvested: its folders cannot be made, or its
    // search page could not be fetched.
    void keywordFailed(const QString &keyword, const QString &reason);
    // The search is queued; the timers that drive the harvest are wanted now.
    void harvestPrepared();

private:
    void makeKeywordFolders(const QString &saveFolder, const QString &folderName);
    QString searchProblem(const QString &keywordFolder) const;

    const SiteConfiguration &m_site;
    HarvestOptions &m_options;
    HarvestState &m_state;
    QStringListModel &m_keywords;
    AddressQueue &m_queue;
    DoneRegistry &m_registry;
    ConnectionPool &m_pool;
    QDateTime m_startedAt;
    QByteArray m_searchAddress;
    // Temporary files older than this belong to an earlier run.
    const QDateTime m_runStarted = QDateTime::currentDateTime();
};

}
