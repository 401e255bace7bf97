#pragma once

#include "net/connectiontarget.h"
#include "net/proxyaddress.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>

namespace mosscatch {

// Which proxy, if any, a connection goes through. One configured URL serves
// both schemes; without one the environment is read as curl reads it:
// http_proxy (lower case only) for http://, https_proxy or HTTPS_PROXY for
// https://, all_proxy or ALL_PROXY for either. no_proxy or NO_PROXY (comma
// separated host names; each also matches its subdomains, a leading dot or a
// port makes no difference, "*" matches all) lets hosts go direct.
class ProxyRoute
{
public:
    struct Choice;
    // configured is the command line's or the window's URL where one was
    // given; an empty one means no proxy at all, the environment ignored.
    static Choice choose(const std::optional<QString> &configured,
                         const QProcessEnvironment &environment);

    // The proxy for a connection to target, none when it goes direct.
    std::optional<ProxyAddress> proxyFor(const ConnectionTarget &target) const;
    bool isDirect() const { return !m_http && !m_https; }
    // The proxy as the user is told of it, password hidden: one URL, or one
    // for each scheme ("… for http, … for https"); empty when direct.
    QString description() const;

private:
    bool goesDirect(const QByteArray &host) const;

    std::optional<ProxyAddress> m_http;
    std::optional<ProxyAddress> m_https;
    QStringList m_directHosts;
};

struct ProxyRoute::Choice
{
    std::optional<ProxyRoute> route;
    // One line, when a URL is not usable.
    QString error;
};

}
