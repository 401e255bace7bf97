#pragma once

#include <QByteArray>

namespace mosscatch {

// The photo site's names and the host-name fragments the engine tests for.
// Reserved example domains only, so nothing real is ever contacted by accident.
struct SiteConfiguration
{
    // Web host that begins every search and result-page address.
    QByteArray siteHost = "www.photosite.example.com";
    // The site's own domain: a thumbnail address must contain it.
    QByteArray siteDomainMarker = "photosite.example.com";
    // Marks image hosts of the site's parent portal: such thumbnails are skipped.
    QByteArray portalMarker = "portalcache";
    // The domain with a leading dot and a trailing "e": no address the engine
    // builds or scrapes contains it, so the queue refuses it.
    QByteArray queueDomainMarker = ".photosite.example.come";
};

}
