#include "engine/rundriver.h"

#include "engine/partialimage.h"

#include "common/files.h"
#include "common/text.h"

#include <QDir>

namespace mosscatch {

RunDriver::RunDriver(const SiteConfiguration &site, HarvestOptions &options, AddressQueue &queue,
                     ConnectionPool &pool, QObject *parent)
    : QObject(parent), m_site(site), m_options(options), m_queue(queue), m_pool(pool)
{
}

QString RunDriver::cleanKeyword(const QString &entry)
{
    QString keyword = lowerTrim(safeFileName(entry));
    keyword.replace(QLatin1Char(' '), QLatin1Char('+'));
    return keyword;
}

QString RunDriver::normalisedSaveFolder(const QString &folder)
{
    QString normalised = folder + QLatin1Char('/');
    normalised.replace(QLatin1Char('\\'), QLatin1Char('/'));
    normalised.replace(QStringLiteral("//"), QStringLiteral("/"));
    return normalised;
}

QString RunDriver::keywordFolderName(const QString &keyword)
{
    // "." and ".." would name the save folder or its parent.
    if (keyword == QLatin1String(".") || keyword == QLatin1String(".."))
        return QString(keyword).replace(QLatin1Char('.'), QLatin1Char('_'));
    return keyword;
}

bool RunDriver::nextMajorKeyword()
{
    if (m_keywords.rowCount() == 0) {
        if (!m_runOverReported) {
            m_runOverReported = true;
            emit runOver();
        }
        return false;
    }
    m_runOverReported = false;
    const QString entry = m_keywords.index(0).data().toString();
    m_currentKeyword = cleanKeyword(entry);
    m_keywords.removeRows(0, 1);
    emit keywordStarted(m_currentKeyword);
    startAll();
    return true;
}

void RunDriver::startAll()
{
    m_pool.loadSocks();

    const QString saveFolder = normalisedSaveFolder(m_options.saveFolder());
    m_options.setSaveFolder(saveFolder);
    const QString folderName = keywordFolderName(m_currentKeyword);
    m_keywordFolder = saveFolder + folderName;
    m_searchAddress = m_site.searchAddress(m_currentKeyword, m_options.commercial());

    // Nothing is made or fetched for a keyword that cannot be harvested.
    QString problem = keywordProblem(folderName);
    if (problem.isEmpty()) {
        makeKeywordFolders(saveFolder, folderName);
        problem = folderProblem();
    }
    if (!problem.isEmpty()) {
        m_searchAddress.clear();
        emit keywordFailed(m_currentKeyword, problem);
    } else {
        m_queue.addUrl(m_searchAddress);
    }
    emit harvestPrepared(m_keywordFolder);
}

QString RunDriver::keywordProblem(const QString &folderName) const
{
    if (holdsControlCharacter(m_currentKeyword.toUtf8()))
        return QStringLiteral("holds a control character");
    if (folderName.toUtf8().size() > MaxFolderNameBytes
        || m_searchAddress.size() > AddressQueue::MaxAddressLength)
        return QStringLiteral("is too long");
    if (!m_queue.accepts(m_searchAddress))
        return QStringLiteral("gives a search address the queue refuses");
    return {};
}

QString RunDriver::folderProblem() const
{
    const QDir folder(m_keywordFolder);
    if (!folder.exists(QStringLiteral("thumbnails")) || !folder.exists(QStringLiteral("largest")))
        return QStringLiteral("cannot create the folder \"%1\"").arg(m_keywordFolder);
    return {};
}

void RunDriver::noteGivenUp(const QByteArray &url)
{
    if (!m_searchAddress.isEmpty() && url == m_searchAddress)
        emit keywordFailed(m_currentKeyword,
                           QStringLiteral("its search page could not be fetched"));
}

void RunDriver::makeKeywordFolders(const QString &saveFolder, const QString &folderName)
{
    const QString keywordFolder = saveFolder + folderName;
    makeFolder(saveFolder);
    for (const QString &folder : {keywordFolder, keywordFolder + QStringLiteral("/thumbnails"),
                                  keywordFolder + QStringLiteral("/largest")}) {
        makeFolder(folder);
        // A killed earlier run may have left unfinished images behind; the
        // save folder itself, where a keyword without a name of its own
        // saves, holds the user's files as well.
        if (folder != saveFolder)
            PartialImage::removeStale(folder, m_runStarted);
    }
}

}
