#include "engine/siteconfiguration.h"

namespace mosscatch {

QByteArray SiteConfiguration::searchQuery(const QString &keyword, bool commercial) const
{
    // Spaces, already "+", stay so; any other character that could end or
    // add a query field is percent-encoded.
    const QByteArray origin = scheme == Scheme::Https ? "https://" + siteHost : siteHost;
    return origin + "/search/?q=" + keyword.toUtf8().toPercentEncoding("+")
           + (commercial ? "&l=comm" : "") + "&ct=0&mt=photos&adv=1";
}

QByteArray SiteConfiguration::searchAddress(const QString &keyword, bool commercial) const
{
    return searchQuery(keyword, commercial) + "&z=m";
}

QByteArray SiteConfiguration::resultPageAddress(const QString &keyword, bool commercial,
                                                int page) const
{
    return searchQuery(keyword, commercial) + "&page=" + QByteArray::number(page);
}

}
