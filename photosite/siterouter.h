#pragma once

#include "photosite/photocatalog.h"
#include "photosite/siteresponse.h"

#include <QByteArray>

namespace mosscatch {

// Maps a request (Host and origin-form path) to the catalog's answer. Every
// host name is served by the same content.
class SiteRouter
{
public:
    explicit SiteRouter(const PhotoCatalog &catalog) : m_catalog(catalog) { }

    SiteResponse route(const QByteArray &host, const QByteArray &path) const;

    SiteResponse page(const QByteArray &html) const;
    SiteResponse error(int status, const QByteArray &reason, const QByteArray &path) const;
    SiteResponse redirect(const QByteArray &fieldName, const QByteArray &target) const;
    // Results blocks of `count` photos that a path picks, the same every time.
    QByteArray farmBlocks(const QByteArray &path, int count) const;
    // Results blocks of page 1 of the search a results-page path names.
    QByteArray firstPageBlocks(const QByteArray &path) const;

private:
    std::optional<SiteResponse> search(const QByteArray &path) const;
    std::optional<SiteResponse> photoPages(const QByteArray &path) const;
    std::optional<SiteResponse> image(const QByteArray &host, const QByteArray &path) const;

    const PhotoCatalog &m_catalog;
};

}
