#include "photosite/siterouter.h"

#include "photosite/pagebuilder.h"
#include "photosite/stablehash.h"

#include <QHash>
#include <QRegularExpression>

namespace mosscatch {

namespace {

// Values are percent-decoded; "+" stays, as the site spells a keyword's spaces.
QHash<QByteArray, QByteArray> queryItems(const QByteArray &query)
{
    QHash<QByteArray, QByteArray> items;
    for (const QByteArray &item : query.split('&')) {
        const qsizetype equals = item.indexOf('=');
        const QByteArray name = equals < 0 ? item : item.left(equals);
        if (!items.contains(name))
            items.insert(name, QByteArray::fromPercentEncoding(equals < 0 ? QByteArray()
                                                                          : item.mid(equals + 1)));
    }
    return items;
}

QByteArray pathOf(const QByteArray &hostAndPath)
{
    return hostAndPath.mid(hostAndPath.indexOf('/'));
}

}

SiteResponse SiteRouter::route(const QByteArray &host, const QByteArray &path) const
{
    if (path == "/" || path == "/search/" || path == "/search/?")
        return page(PageBuilder(m_catalog.site()).homePage());
    if (auto response = search(path))
        return *response;
    if (auto response = photoPages(path))
        return *response;
    if (auto response = image(host, path))
        return *response;
    return error(404, "Not Found", path);
}

SiteResponse SiteRouter::page(const QByteArray &html) const
{
    SiteResponse response;
    response.fields = {{"Date", "Sat, 01 Mar 2008 12:00:00 GMT"},
                       {"Server", "Apache/2.0.52"},
                       {"Connection", "close"},
                       {"Content-Type", "text/html; charset=iso-8859-1"}};
    response.body = html;
    return response;
}

SiteResponse SiteRouter::error(int status, const QByteArray &reason, const QByteArray &path) const
{
    SiteResponse response = page(PageBuilder(m_catalog.site()).errorPage(status, reason, path));
    response.kind = SiteResponse::Kind::Error;
    response.status = status;
    response.reason = reason;
    return response;
}

SiteResponse SiteRouter::redirect(const QByteArray &fieldName, const QByteArray &target) const
{
    SiteResponse response
            = page("<html><head><title>302 Found</title></head><body>\r\n<h1>Found</h1>\r\n"
                   "<p>The document has moved <a href=\""
                   + target + "\">here</a>.</p>\r\n</body></html>\r\n");
    response.kind = SiteResponse::Kind::Redirect;
    response.status = 302;
    response.reason = "Found";
    response.fields.insert(3, {fieldName, target});
    return response;
}

QByteArray SiteRouter::farmBlocks(const QByteArray &path, int count) const
{
    QByteArray html;
    const quint64 seed = StableHash::of(path);
    for (int i = 0; i < count; ++i) {
        const quint64 id = 1000000000ULL + StableHash::mix(seed + quint64(i)) % 9000000000ULL;
        html += PageBuilder::photoBlock(*m_catalog.photoById(id));
    }
    return html;
}

QByteArray SiteRouter::firstPageBlocks(const QByteArray &path) const
{
    const QHash<QByteArray, QByteArray> items = queryItems(path.mid(path.indexOf('?') + 1));
    QByteArray html;
    for (const Photo &photo :
         m_catalog.photosOnPage(items.value("q"), items.value("l") == "comm", 1))
        html += PageBuilder::photoBlock(photo);
    return html;
}

std::optional<SiteResponse> SiteRouter::search(const QByteArray &path) const
{
    if (!path.startsWith("/search/?"))
        return std::nullopt;
    const QHash<QByteArray, QByteArray> items = queryItems(path.mid(9));
    if (!items.contains("q"))
        return std::nullopt;
    const bool commercial = items.value("l") == "comm";
    const int page = items.contains("page") ? qMax(1, items.value("page").toInt()) : 0;
    return this->page(m_catalog.resultsPage(items.value("q"), commercial, page));
}

std::optional<SiteResponse> SiteRouter::photoPages(const QByteArray &path) const
{
    static const QRegularExpression pattern(
            QStringLiteral("^/photos/([a-z]+)/(\\d{10})/(sizes/(([a-z])/)?)?$"));
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(path));
    if (!match.hasMatch())
        return std::nullopt;
    const std::optional<Photo> photo = m_catalog.photoById(match.captured(2).toULongLong());
    if (!photo || photo->owner != match.captured(1).toLatin1())
        return std::nullopt;
    if (match.captured(3).isEmpty())
        return page(m_catalog.photoPage(*photo));
    const QByteArray letter = match.captured(5).toLatin1();
    if (!letter.isEmpty() && !PhotoCatalog::sizeLetters(*photo).contains(letter))
        return std::nullopt;
    return page(m_catalog.sizesPage(*photo, letter));
}

std::optional<SiteResponse> SiteRouter::image(const QByteArray &host, const QByteArray &path) const
{
    static const QRegularExpression pattern(
            QStringLiteral("^(/moved)?(/\\d{4}/(\\d{10})_[0-9a-f]{10}(_[tmbo])?\\.jpg)$"));
    // Photo pages add "?v=N" to some image addresses; the image is the same.
    const QByteArray file = path.contains('?') ? path.left(path.indexOf('?')) : path;
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(file));
    if (!match.hasMatch())
        return std::nullopt;
    const std::optional<Photo> photo = m_catalog.photoById(match.captured(3).toULongLong());
    const QByteArray imagePath = match.captured(2).toLatin1();
    if (!photo || !imagePath.startsWith(pathOf(photo->standardImage).chopped(4)))
        return std::nullopt;
    const QByteArray suffix = match.captured(4).toLatin1();
    if (suffix == "_o" && photo->largestSize != 'o')
        return std::nullopt;
    const bool moved = match.capturedLength(1) > 0;
    if (suffix.isEmpty() && photo->standardRedirects && !moved)
        return redirect("location", photo->standardRedirectTarget);
    if (moved && (!suffix.isEmpty() || !photo->standardRedirects))
        return std::nullopt;

    SiteResponse response;
    response.kind = SiteResponse::Kind::Image;
    response.fields = {{"Date", "Sat, 01 Mar 2008 12:00:00 GMT"},
                       {"Server", "Apache/2.0.52"},
                       {"Connection", "close"},
                       {"Content-Type", "image/jpeg"}};
    response.body = m_catalog.imageBytes(host + file);
    return response;
}

}
