#pragma once

#include "engine/siteconfiguration.h"
#include "photosite/photo.h"

#include <QByteArray>
#include <QList>

namespace mosscatch {

// Writes the site's HTML. The harvester finds its way by plain substring
// searches, so the order of markers matters more than the HTML: nothing
// before the first "photo_container", "photo-div", "allsizes-sizes" or
// "allsizes-photo" may repeat the text the harvester cuts at.
class PageBuilder
{
public:
    explicit PageBuilder(const SiteConfiguration &site) : m_site(site) { }

    QByteArray resultsPage(const QByteArray &keyword, bool commercial, int page, int resultCount,
                           const QList<Photo> &photos) const;
    QByteArray photoPage(const Photo &photo) const;
    QByteArray sizesPage(const Photo &photo, const QByteArray &shownLetter,
                         const QList<QByteArray> &letters) const;
    QByteArray homePage() const;
    QByteArray errorPage(int status, const QByteArray &reason, const QByteArray &path) const;

    static QByteArray groupedCount(int count);
    static QByteArray escaped(const QByteArray &text);
    static QByteArray photoBlock(const Photo &photo);

private:
    QByteArray head(const QByteArray &title) const;
    QByteArray pageTop(const QByteArray &title) const;
    static QByteArray pageBottom();
    QByteArray paginator(const QByteArray &keyword, bool commercial, int page, int lastPage) const;
    static QByteArray sizeRow(const Photo &photo, const QByteArray &shownLetter,
                              const QList<QByteArray> &letters);
    static QByteArray imageForSize(const Photo &photo, const QByteArray &letter);

    const SiteConfiguration &m_site;
};

}
