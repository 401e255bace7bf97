#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace mosscatch {

// One photo of the site. Everything in it follows from its id, so a photo
// page, a sizes page or an image can be answered without knowing the keyword
// that listed it.
//
// Addresses without a scheme are written host + path, as the harvester
// queues them and as PhotoCatalog::imageBytes() takes them.
struct Photo
{
    QByteArray owner;
    quint64 id = 0;
    QByteArray secret; // ten lower-case hex digits
    QByteArray title;
    QByteArray imageHost; // "farmN.static.photosite.example.com"
    QByteArray imageScheme = "http://"; // what the site's pages write before image hosts

    QByteArray pagePath; // "/photos/<owner>/<id>/"
    QByteArray sizesPagePath; // pagePath + "sizes/"

    // As written on results pages: "http://" + host + "/<server>/<id>_<secret>_m.jpg".
    // About one photo in ten has its thumbnail on the portal host
    // "img.portalcache.photosite.example.com"; the harvester skips those.
    QByteArray thumbnailAddress;
    bool portalThumbnail = false;
    // The thumbnail as the harvester fetches and saves it ("_m." turned into "_t.").
    QByteArray thumbnailImage;

    // As written on the photo page. About one photo in four writes the scheme
    // "HTTP://"; about one in three adds a query string "?v=N".
    QByteArray standardImageAddress;
    QByteArray standardImage; // host + "/<server>/<id>_<secret>.jpg"
    // About one photo in eight answers its standard image with a 302 whose
    // "location: " is "/moved" + the same path; both paths serve the same bytes.
    bool standardRedirects = false;
    QByteArray standardRedirectTarget;

    char largestSize = 'o'; // 'o' (original), or 'b' (large) for about one in five
    QByteArray largestSizePagePath; // sizesPagePath + "o/" or "b/"
    QByteArray largestImage; // host + "/<server>/<id>_<secret>_o.jpg" (or "_b.")

    // File names the harvester saves them under.
    QByteArray thumbnailFileName() const
    {
        return thumbnailImage.mid(thumbnailImage.lastIndexOf('/') + 1);
    }
    QByteArray standardFileName() const
    {
        return standardImage.mid(standardImage.lastIndexOf('/') + 1);
    }
    QByteArray largestFileName() const
    {
        return largestImage.mid(largestImage.lastIndexOf('/') + 1);
    }
};

}
