#include "photosite/siteexport.h"

#include "photosite/siterouter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace mosscatch {

namespace {

QByteArray hostOf(const QByteArray &address)
{
    return address.left(address.indexOf('/'));
}

QByteArray pathOf(const QByteArray &address)
{
    return address.mid(address.indexOf('/'));
}

QByteArray locationOf(const SiteResponse &response)
{
    for (const auto &[name, value] : response.fields) {
        if (name.compare("location", Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

}

QList<QByteArray> SiteExport::addresses(const QString &keyword) const
{
    // As the harvester sends it: spaces as "+", the rest percent-encoded.
    const QByteArray typed = QString(keyword).replace(QLatin1Char(' '), QLatin1Char('+')).toUtf8();
    const QByteArray host = m_catalog.site().siteHost;
    const QByteArray search
            = host + "/search/?q=" + typed.toPercentEncoding("+") + "&ct=0&mt=photos&adv=1";
    // "Max Images" 60 is one numbered page of 60 results, whatever the count.
    QList<QByteArray> list{search + "&z=m", search + "&page=1"};
    for (const Photo &photo : m_catalog.photosOnPage(typed, false, 1)) {
        list += {host + photo.pagePath, host + photo.sizesPagePath,
                 host + photo.largestSizePagePath, photo.standardImage, photo.largestImage};
        if (!photo.portalThumbnail)
            list += photo.thumbnailImage;
    }
    return list;
}

QString SiteExport::write(const QString &folder, const QStringList &keywords) const
{
    const SiteRouter router(m_catalog);
    QByteArray redirects;
    for (const QString &keyword : keywords) {
        for (const QByteArray &address : addresses(keyword)) {
            const QByteArray host = hostOf(address);
            SiteResponse response = router.route(host, pathOf(address));
            QByteArray written = address;
            if (response.kind == SiteResponse::Kind::Redirect) {
                const QByteArray target = locationOf(response);
                redirects += pathOf(address) + ' ' + target + '\n';
                written = host + target;
                response = router.route(host, target);
            }
            if (response.status != 200)
                return QStringLiteral("the site answers %1 for %2")
                        .arg(response.status)
                        .arg(QString::fromUtf8(written));
            if (const QString error = writeFile(folder, written, response.body); !error.isEmpty())
                return error;
        }
    }
    return writeFile(folder, {}, redirects);
}

QString SiteExport::writeFile(const QString &folder, const QByteArray &address,
                              const QByteArray &bytes) const
{
    const QString name = address.isEmpty()
                                 ? QDir(folder).filePath(QLatin1String(RedirectsFile))
                                 : QDir(folder).filePath(QString::fromUtf8(hostOf(address)) + '/'
                                                         + fileName(pathOf(address)));
    QFile file(name);
    if (!QDir().mkpath(QFileInfo(name).path()) || !file.open(QIODevice::WriteOnly)
        || file.write(bytes) != bytes.size() || !file.flush())
        return QStringLiteral("cannot write %1: %2").arg(name, file.errorString());
    return {};
}

QString SiteExport::fileName(const QByteArray &path)
{
    const qsizetype mark = path.indexOf('?');
    QByteArray file = path.left(mark < 0 ? path.size() : mark).mid(1);
    const QByteArray query = mark < 0 ? QByteArray() : '@' + path.mid(mark + 1);
    if (file.isEmpty() || file.endsWith('/'))
        file += "index" + query + ".html";
    else
        file += query;
    return QString::fromUtf8(file);
}

}
