#include "engine/rundriver.h"

#include "engine/partialimage.h"

#include "common/files.h"
#include "common/text.h"

#include <QDir>

namespace mosscatch {

RunDriver::RunDriver(const SiteConfiguration &site, HarvestOptions &options, HarvestState &state,
                     QStringListModel &keywords, AddressQueue &queue, DoneRegistry &registry,
                     ConnectionPool &pool, QObject *parent)
    : QObject(parent),
      m_site(site),
      m_options(options),
      m_state(state),
      m_keywords(keywords),
      m_queue(queue),
      m_registry(registry),
      m_pool(pool)
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

QByteArray RunDriver::searchAddress(const SiteConfiguration &site, const QString &keyword,
                                    bool commercial)
{
    const QByteArray suffix = commercial ? QByteArrayLiteral("&l=comm&ct=0&mt=photos&adv=1&z=m")
                                         : QByteArrayLiteral("&ct=0&mt=photos&adv=1&z=m");
    return site.siteHost + "/search/?q=" + keyword.toUtf8() + suffix;
}

bool RunDriver::nextMajorKeyword()
{
    if (m_keywords.rowCount() == 0)
        return false;
    m_state.queueFilled = false;
    const QString entry = m_keywords.index(0).data().toString();
    m_state.currentKeyword = cleanKeyword(entry);
    m_keywords.removeRows(0, 1);
    m_registry.clear();
    emit keywordStarted(m_state.currentKeyword);
    startAll();
    return true;
}

void RunDriver::startAll()
{
    m_state.resultPageCount = 0;
    m_pool.loadSocks();
    m_startedAt = QDateTime::currentDateTime();

    const QString saveFolder = normalisedSaveFolder(m_options.saveFolder());
    m_options.setSaveFolder(saveFolder);
    const QString folderName = keywordFolderName(m_state.currentKeyword);
    makeKeywordFolders(saveFolder, folderName);
    m_state.keywordFolder = saveFolder + folderName;

    m_searchAddress = searchAddress(m_site, m_state.currentKeyword, m_options.commercial());
    if (const QString problem = searchProblem(m_state.keywordFolder); !problem.isEmpty()) {
        m_searchAddress.clear();
        emit keywordFailed(m_state.currentKeyword, problem);
    } else {
        m_queue.addUrl(m_searchAddress);
    }
    emit harvestPrepared();
}

// Nothing is fetched for a keyword whose images could not be kept.
QString RunDriver::searchProblem(const QString &keywordFolder) const
{
    const QDir folder(keywordFolder);
    if (!folder.exists(QStringLiteral("thumbnails")) || !folder.exists(QStringLiteral("largest")))
        return QStringLiteral("cannot create the folder \"%1\"").arg(keywordFolder);
    if (!m_queue.accepts(m_searchAddress))
        return QStringLiteral("its search address is too long");
    return {};
}

void RunDriver::noteGivenUp(const QByteArray &url)
{
    if (!m_searchAddress.isEmpty() && url == m_searchAddress)
        emit keywordFailed(m_state.currentKeyword,
                           QStringLiteral("its search page could not be fetched"));
}

void RunDriver::makeKeywordFolders(const QString &saveFolder, const QString &folderName)
{
    const QString keywordFolder = saveFolder + folderName;
    makeFolder(saveFolder);
    makeFolder(keywordFolder);
    makeFolder(keywordFolder + QStringLiteral("/thumbnails"));
    makeFolder(keywordFolder + QStringLiteral("/largest"));
    // A killed earlier run may have left unfinished images behind.
    for (const QString &folder : {keywordFolder, keywordFolder + QStringLiteral("/thumbnails"),
                                  keywordFolder + QStringLiteral("/largest")})
        PartialImage::removeStale(folder, m_runStarted);
}

}
