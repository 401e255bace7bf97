#pragma once

#include "engine/addressqueue.h"
#include "engine/connectionpool.h"
#include "engine/harvestoptions.h"
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
    // The longest file name most file systems take, in bytes.
    static constexpr qsizetype MaxFolderNameBytes = 255;

    RunDriver(const SiteConfiguration &site, HarvestOptions &options, AddressQueue &queue,
              ConnectionPool &pool, QObject *parent = nullptr);

    // The keyword list, newest first; the driver takes and removes the top entry.
    QStringListModel *keywords() { return &m_keywords; }
    // The cleaned keyword, used in addresses (as UTF-8) and as the folder name.
    const QString &currentKeyword() const { return m_currentKeyword; }
    // Normalised save folder followed by the keyword's folder name, no trailing "/".
    const QString &keywordFolder() const { return m_keywordFolder; }

    // " Blue  Sky " becomes "blue++sky".
    static QString cleanKeyword(const QString &entry);
    // Trailing "/", backslashes as "/", doubled slashes collapsed once.
    static QString normalisedSaveFolder(const QString &folder);
    // The keyword as a folder name that stays inside the save folder.
    static QString keywordFolderName(const QString &keyword);

public slots:
    // Starts the harvest of the top keyword; false (nothing changed) when the
    // list is empty, which ends the run.
    bool nextMajorKeyword();
    // Watches for the keyword's search address being given up.
    void noteGivenUp(const QByteArray &url);

signals:
    void keywordStarted(const QString &keyword);
    // The keyword cannot be harvested: its folders cannot be made, or its
    // search page could not be fetched.
    void keywordFailed(const QString &keyword, const QString &reason);
    // The search is queued; the parts that count per keyword begin afresh and
    // the timers that drive the harvest are wanted now.
    void harvestPrepared(const QString &keywordFolder);
    // The keyword list was found empty; said once until a keyword starts again.
    void runOver();

private:
    void startAll();
    void makeKeywordFolders(const QString &saveFolder, const QString &folderName);
    QString keywordProblem(const QString &folderName) const;
    QString folderProblem() const;

    const SiteConfiguration &m_site;
    HarvestOptions &m_options;
    AddressQueue &m_queue;
    ConnectionPool &m_pool;
    QStringListModel m_keywords;
    QString m_currentKeyword;
    QString m_keywordFolder;
    QByteArray m_searchAddress;
    bool m_runOverReported = false;
    // Temporary files older than this belong to an earlier run.
    const QDateTime m_runStarted = QDateTime::currentDateTime();
};

}
