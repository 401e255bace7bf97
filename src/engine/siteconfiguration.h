#pragma once

#include "net/connectiontarget.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace mosscatch {

// The photo site's names and the host-name fragments the engine tests for,
// with the addresses built from them and the markers its pages are read by.
// Reserved example domains only, so nothing real is ever contacted by accident.
struct SiteConfiguration
{
    // Web host that begins every search and result-page address.
    QByteArray siteHost = "www.photosite.example.com";
    // The scheme of the site's own pages; image addresses keep the scheme
    // their page gives them.
    Scheme scheme = Scheme::Http;
    // The site's own domain: a thumbnail address must contain it.
    QByteArray siteDomainMarker = "photosite.example.com";
    // Marks image hosts of the site's parent portal: such thumbnails are skipped.
    QByteArray portalMarker = "portalcache";
    // The domain with a leading dot and a trailing "e": no address the engine
    // builds or scrapes contains it, so the queue refuses it.
    QByteArray queueDomainMarker = ".photosite.example.come";

    // Heads the result count on a keyword's first results page.
    static constexpr QByteArrayView ResultCountMarker = "<div class=\"Results\">";
    // Precedes each photo listed on a results page.
    static constexpr QByteArrayView PhotoEntryMarker = "photo_container";
    // The block of a photo page that shows the standard-size image.
    static constexpr QByteArrayView PhotoBlockMarker = "class=\"photo-div\"";
    // The table of a sizes page that lists the photo's sizes.
    static constexpr QByteArrayView SizesListMarker = "allsizes-sizes";
    // The block of a sizes page that shows the size on display.
    static constexpr QByteArrayView SizesPhotoMarker = "allsizes-photo";

    // The first address a keyword's harvest fetches.
    QByteArray searchAddress(const QString &keyword, bool commercial) const;
    // Numbered page (from 1) of a keyword's search results.
    QByteArray resultPageAddress(const QString &keyword, bool commercial, int page) const;

private:
    QByteArray searchQuery(const QString &keyword, bool commercial) const;
};

}
