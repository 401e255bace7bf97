#pragma once

#include "engine/siteconfiguration.h"
#include "photosite/imagefactory.h"
#include "photosite/photo.h"

#include <QByteArray>
#include <QList>

#include <optional>

namespace mosscatch {

// The site's content: result counts, the photos each results page lists, the
// pages and the image bytes. All of it is a pure function of the keyword
// (and the commercial filter) and of the addresses, the same in every process,
// so a test can compute exactly what a harvest must save.
//
// Result counts
//   "count<N>" (for example "count37", "count0", "count4321") has exactly N
//   results. Any other keyword gets a count from its hash: about one keyword
//   in eight has 0, one in four 1 to 59, three in eight 60 to 4200 and one in
//   four 4201 to 120000. Some of them: "blue+sky" and "dogs" 0, "river" 9,
//   "cats" 38, "fern" 638, "sunset" 1,419, "tree" 20,959, "moss" 89,953.
//   With the commercial filter the count is a third of it, rounded down, and
//   its photos are every third photo of the unfiltered list (0, 3, 6, ...).
//
// Results pages
//   Page p (from 1) lists photos (p - 1) * 60 up to p * 60 - 1, fewer on the
//   last page; the first results page of a search (the address ending in
//   "&z=m") lists the same photos as page 1. Pages past the last list no
//   photos and hold no "photo_container" at all, but still carry the heading
//   <div class="Results">(1,234 results)</div>; so does a search with 0
//   results. The text before the first "photo_container" opens with
//   <html xmlns="http://www.w3.org/1999/xhtml"> and its only image is the
//   portal-hosted logo.
//
// Images
//   Every size of a photo ("_t.", "_m.", none, "_b.", "_o.") is a JPEG of its
//   own bytes: about 100, 240, 500, 1024 and 1600 to 2000 pixels on the long
//   side. Pages of a photo's sizes offer t, m, z (the standard image), b and,
//   when the photo has one, o.
//
// What a harvest saves, per listed photo, with every size option ticked
//   thumbnails/ + thumbnailFileName(): imageBytes(thumbnailImage), unless the
//       photo has a portal thumbnail;
//   standardFileName(): imageBytes(standardImage), through the 302 when
//       standardRedirects is set;
//   largest/ + largestFileName(): imageBytes(largestImage).
//   The harvester queues at most 70 result pages, so it reaches the first
//   4200 photos of a search at most.
class PhotoCatalog
{
public:
    static constexpr int PhotosPerPage = 60;
    static constexpr int CountLimit = 120000;

    PhotoCatalog() = default;
    PhotoCatalog(const PhotoCatalog &) = delete;
    PhotoCatalog &operator=(const PhotoCatalog &) = delete;

    const SiteConfiguration &site() const { return m_site; }

    int resultCount(const QByteArray &keyword, bool commercial) const;
    // Every photo of the search, in listing order: resultCount() entries
    // (about 1 KiB each, so for large counts prefer the limited form).
    QList<Photo> photos(const QByteArray &keyword, bool commercial) const;
    // The first `limit` of them; 4200 is all a harvest can reach.
    QList<Photo> photos(const QByteArray &keyword, bool commercial, int limit) const;
    QList<Photo> photosOnPage(const QByteArray &keyword, bool commercial, int page) const;
    Photo photoAt(const QByteArray &keyword, bool commercial, int index) const;
    // Any id of ten digits is a photo of the site.
    std::optional<Photo> photoById(quint64 id) const;

    // The exact bytes served for an image address (host + path, no scheme);
    // "/moved/..." serves the same bytes as the path without "/moved".
    QByteArray imageBytes(const QByteArray &hostAndPath) const;
    // Bounds the memory that encoded images are kept in.
    void setImageCacheBytes(qint64 bytes) { m_images.setCacheBytes(bytes); }
    // Pages then write their image addresses with "https://".
    void setSecure(bool secure) { m_secure = secure; }

    // Addresses the harvester builds, host + path.
    QByteArray searchAddress(const QByteArray &keyword, bool commercial) const;
    QByteArray resultPageAddress(const QByteArray &keyword, bool commercial, int page) const;

    // Page 0 stands for the first results page, the one ending in "&z=m".
    QByteArray resultsPage(const QByteArray &keyword, bool commercial, int page) const;
    QByteArray photoPage(const Photo &photo) const;
    // sizeLetter is one of "t", "m", "z", "b", "o"; empty for the sizes page
    // itself, which shows the standard size.
    QByteArray sizesPage(const Photo &photo, const QByteArray &sizeLetter) const;
    static QList<QByteArray> sizeLetters(const Photo &photo);

private:
    static quint64 photoId(const QByteArray &keyword, int index);

    const SiteConfiguration m_site;
    ImageFactory m_images;
    bool m_secure = false;
};

}
