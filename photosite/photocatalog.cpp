#include "photosite/photocatalog.h"

#include "photosite/pagebuilder.h"
#include "photosite/stablehash.h"

namespace mosscatch {

namespace {

constexpr quint64 IdsPerKeyword = 1000000;

const char *const Owners[]
        = {"mossgrove", "lenswalker", "fernlight",  "quietshutter", "harborview", "tidepool",
           "oldmill",   "juniperfox", "slatecloud", "brambleway",   "emberhill",  "saltmarsh"};
const char *const Adjectives[]
        = {"Misty", "Golden", "Quiet", "Early", "Wild", "Old", "Bright", "Late"};
const char *const Nouns[]
        = {"morning", "harbour", "meadow", "ridge", "lane", "shore", "garden", "bridge"};

std::optional<int> requestedCount(const QByteArray &keyword)
{
    if (!keyword.startsWith("count"))
        return std::nullopt;
    bool ok = false;
    const int count = keyword.mid(5).toInt(&ok);
    if (!ok || count < 0 || keyword.mid(5).startsWith('+'))
        return std::nullopt;
    return qMin(count, PhotoCatalog::CountLimit);
}

int hashedCount(const QByteArray &keyword)
{
    const quint64 hash = StableHash::of(keyword);
    const quint64 spread = hash >> 8;
    switch (hash % 8) {
    case 0:
        return 0;
    case 1:
    case 2:
        return 1 + int(spread % 59);
    case 3:
    case 4:
    case 5:
        return 60 + int(spread % 4141);
    default:
        return 4201 + int(spread % (PhotoCatalog::CountLimit - 4200));
    }
}

QByteArray imagePath(quint64 hash, quint64 id, const QByteArray &secret, const QByteArray &suffix)
{
    const QByteArray server = QByteArray::number(1000 + (hash >> 16) % 9000);
    return '/' + server + '/' + QByteArray::number(id) + '_' + secret + suffix + ".jpg";
}

}

int PhotoCatalog::resultCount(const QByteArray &keyword, bool commercial) const
{
    const int count = requestedCount(keyword).value_or(hashedCount(keyword));
    return commercial ? count / 3 : count;
}

QList<Photo> PhotoCatalog::photos(const QByteArray &keyword, bool commercial) const
{
    return photos(keyword, commercial, resultCount(keyword, commercial));
}

QList<Photo> PhotoCatalog::photos(const QByteArray &keyword, bool commercial, int limit) const
{
    const int count = qBound(0, limit, resultCount(keyword, commercial));
    QList<Photo> list;
    list.reserve(count);
    for (int index = 0; index < count; ++index)
        list.append(photoAt(keyword, commercial, index));
    return list;
}

QList<Photo> PhotoCatalog::photosOnPage(const QByteArray &keyword, bool commercial, int page) const
{
    const int first = (qMax(page, 1) - 1) * PhotosPerPage;
    const int end = qMin(first + PhotosPerPage, resultCount(keyword, commercial));
    QList<Photo> list;
    for (int index = first; index < end; ++index)
        list.append(photoAt(keyword, commercial, index));
    return list;
}

Photo PhotoCatalog::photoAt(const QByteArray &keyword, bool commercial, int index) const
{
    return *photoById(photoId(keyword, commercial ? index * 3 : index));
}

std::optional<Photo> PhotoCatalog::photoById(quint64 id) const
{
    if (id < 1000000000ULL || id > 9999999999ULL)
        return std::nullopt;
    const quint64 hash = StableHash::mix(id);
    Photo photo;
    photo.id = id;
    photo.owner = Owners[hash % std::size(Owners)];
    photo.secret = QByteArray::number(StableHash::mix(hash) & 0xffffffffffULL, 16)
                           .rightJustified(10, '0');
    photo.title = QByteArray(Adjectives[(hash >> 52) % std::size(Adjectives)]) + ' '
                  + Nouns[(hash >> 56) % std::size(Nouns)];
    photo.imageHost = "farm" + QByteArray::number(1 + (hash >> 12) % 9) + ".static."
                      + m_site.siteDomainMarker;
    photo.pagePath = "/photos/" + photo.owner + '/' + QByteArray::number(id) + '/';
    photo.sizesPagePath = photo.pagePath + "sizes/";

    photo.portalThumbnail = (hash >> 30) % 10 == 0;
    const QByteArray thumbnailHost
            = photo.portalThumbnail ? "img." + m_site.portalMarker + '.' + m_site.siteDomainMarker
                                    : photo.imageHost;
    photo.imageScheme = m_secure ? "https://" : "http://";
    photo.thumbnailAddress
            = photo.imageScheme + thumbnailHost + imagePath(hash, id, photo.secret, "_m");
    photo.thumbnailImage = thumbnailHost + imagePath(hash, id, photo.secret, "_t");

    const QByteArray standardPath = imagePath(hash, id, photo.secret, {});
    const QByteArray scheme
            = (hash >> 34) % 4 == 0 ? photo.imageScheme.toUpper() : photo.imageScheme;
    const QByteArray query = (hash >> 38) % 3 == 0
                                     ? "?v=" + QByteArray::number((hash >> 42) % 9000 + 1000)
                                     : QByteArray();
    photo.standardImageAddress = scheme + photo.imageHost + standardPath + query;
    photo.standardImage = photo.imageHost + standardPath;
    photo.standardRedirects = (hash >> 48) % 8 == 0;
    if (photo.standardRedirects)
        photo.standardRedirectTarget = "/moved" + standardPath;

    photo.largestSize = (hash >> 44) % 5 == 0 ? 'b' : 'o';
    photo.largestSizePagePath = photo.sizesPagePath + photo.largestSize + '/';
    photo.largestImage = photo.imageHost
                         + imagePath(hash, id, photo.secret, QByteArray("_") + photo.largestSize);
    return photo;
}

QByteArray PhotoCatalog::imageBytes(const QByteArray &hostAndPath) const
{
    QByteArray address = hostAndPath;
    const qsizetype slash = address.indexOf('/');
    if (slash >= 0 && address.mid(slash).startsWith("/moved/"))
        address.remove(slash, 6);
    return m_images.jpeg(address);
}

QByteArray PhotoCatalog::searchAddress(const QByteArray &keyword, bool commercial) const
{
    return m_site.siteHost + "/search/?q=" + keyword + (commercial ? "&l=comm" : "")
           + "&ct=0&mt=photos&adv=1&z=m";
}

QByteArray PhotoCatalog::resultPageAddress(const QByteArray &keyword, bool commercial,
                                           int page) const
{
    return m_site.siteHost + "/search/?q=" + keyword + (commercial ? "&l=comm" : "")
           + "&ct=0&mt=photos&adv=1&page=" + QByteArray::number(page);
}

QByteArray PhotoCatalog::resultsPage(const QByteArray &keyword, bool commercial, int page) const
{
    const PageBuilder builder(m_site);
    return builder.resultsPage(keyword, commercial, qMax(page, 1), resultCount(keyword, commercial),
                               photosOnPage(keyword, commercial, page));
}

QByteArray PhotoCatalog::photoPage(const Photo &photo) const
{
    return PageBuilder(m_site).photoPage(photo);
}

QByteArray PhotoCatalog::sizesPage(const Photo &photo, const QByteArray &sizeLetter) const
{
    return PageBuilder(m_site).sizesPage(photo, sizeLetter.isEmpty() ? "z" : sizeLetter,
                                         sizeLetters(photo));
}

QList<QByteArray> PhotoCatalog::sizeLetters(const Photo &photo)
{
    QList<QByteArray> letters = {"t", "m", "z", "b"};
    if (photo.largestSize == 'o')
        letters.append("o");
    return letters;
}

quint64 PhotoCatalog::photoId(const QByteArray &keyword, int index)
{
    const quint64 prefix = 1000 + (StableHash::of(keyword) >> 20) % 9000;
    const quint64 scrambled = (quint64(index) * 741457 + 12345) % IdsPerKeyword;
    return prefix * IdsPerKeyword + scrambled;
}

}
