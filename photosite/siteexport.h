#pragma once

#include "photosite/photocatalog.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace mosscatch {

// Writes what a harvest of some keywords asks the site for as static files,
// folder/<host>/<file>, so that any web server can serve the same bytes.
//
// A path ending in "/" is held by "index.html" in its folder; with a query,
// by "index@<query>.html" (the query as sent, still percent-encoded); another
// path with a query by "<path>@<query>". The standard images the site moves
// are written at their "/moved/..." targets only, and each move is one line
// "source target" of folder/redirects.txt, for the server to answer with a 302.
class SiteExport
{
public:
    explicit SiteExport(const PhotoCatalog &catalog) : m_catalog(catalog) { }

    // Host + path of every request a harvest of keyword makes with every size
    // ticked and "Max Images" 60, redirect targets left out.
    QList<QByteArray> addresses(const QString &keyword) const;
    // An empty text when every file was written, else what went wrong.
    QString write(const QString &folder, const QStringList &keywords) const;

    // The file, relative to its host's folder, that holds a path with its query.
    static QString fileName(const QByteArray &path);

    static constexpr char RedirectsFile[] = "redirects.txt";

private:
    QString writeFile(const QString &folder, const QByteArray &address,
                      const QByteArray &bytes) const;

    const PhotoCatalog &m_catalog;
};

}
