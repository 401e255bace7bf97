#include "photosite/pagebuilder.h"

#include "photosite/imagefactory.h"

namespace mosscatch {

namespace {

QByteArray sizeName(const QByteArray &letter)
{
    if (letter == "t")
        return "Thumbnail";
    if (letter == "m")
        return "Small";
    if (letter == "z")
        return "Medium";
    if (letter == "b")
        return "Large";
    return "Original";
}

QByteArray sizeText(const QByteArray &hostAndPath)
{
    const QSize size = ImageFactory::dimensions(hostAndPath);
    return '(' + QByteArray::number(size.width()) + " x " + QByteArray::number(size.height()) + ')';
}

QByteArray dimensionAttributes(const QByteArray &hostAndPath)
{
    const QSize size = ImageFactory::dimensions(hostAndPath);
    return "width=\"" + QByteArray::number(size.width()) + "\" height=\""
           + QByteArray::number(size.height()) + '"';
}

QByteArray withoutScheme(const QByteArray &address)
{
    return address.mid(address.indexOf("://") + 3);
}

}

QByteArray PageBuilder::resultsPage(const QByteArray &keyword, bool commercial, int page,
                                    int resultCount, const QList<Photo> &photos) const
{
    const QByteArray words = escaped(QByteArray(keyword).replace('+', ' '));
    QByteArray html = pageTop("Photos of " + words);
    html += "<div id=\"Main\">\r\n<h2>Search results for <b>" + words + "</b>"
            + (commercial ? " that can be used commercially" : "") + "</h2>\r\n";
    html += "<div class=\"Results\">(" + groupedCount(resultCount) + " results)</div>\r\n";
    html += "<div class=\"ResultsThumbs\">\r\n";
    for (const Photo &photo : photos)
        html += photoBlock(photo);
    if (photos.isEmpty())
        html += "<p class=\"NoResults\">We couldn't find anything matching your search.</p>\r\n";
    html += "</div>\r\n";
    const int lastPage = (resultCount + 59) / 60;
    html += paginator(keyword, commercial, page, lastPage);
    html += "</div>\r\n";
    return html + pageBottom();
}

QByteArray PageBuilder::photoPage(const Photo &photo) const
{
    const QByteArray title = escaped(photo.title);
    QByteArray html = pageTop(title + " by " + photo.owner);
    html += "<div id=\"Main\">\r\n<h1>" + title + "</h1>\r\n";
    html += "<div class=\"photo-div\">\r\n<img src=\"" + photo.standardImageAddress + "\" "
            + dimensionAttributes(photo.standardImage) + " alt=\"" + title
            + "\" class=\"reflect\" />\r\n</div>\r\n";
    html += "<p class=\"Owner\">From <b>" + photo.owner + "</b></p>\r\n";
    html += "<p class=\"Sizes\"><a href=\"" + photo.sizesPagePath + "\">All sizes</a></p>\r\n";
    html += "</div>\r\n";
    return html + pageBottom();
}

QByteArray PageBuilder::sizesPage(const Photo &photo, const QByteArray &shownLetter,
                                  const QList<QByteArray> &letters) const
{
    const QByteArray title = escaped(photo.title);
    const QByteArray image = imageForSize(photo, shownLetter);
    QByteArray html = pageTop("All sizes of " + title);
    html += "<div id=\"Main\">\r\n<h1>All sizes of <a href=\"" + photo.pagePath + "\">" + title
            + "</a></h1>\r\n";
    html += "<div id=\"allsizes-sizes\">\r\n<table class=\"SizeList\">\r\n"
            + sizeRow(photo, shownLetter, letters) + "</table>\r\n</div>\r\n";
    html += "<div id=\"allsizes-photo\">\r\n<img src=\"" + photo.imageScheme + image + "\" "
            + dimensionAttributes(image) + " alt=\"" + title + "\" />\r\n</div>\r\n";
    html += "</div>\r\n";
    return html + pageBottom();
}

QByteArray PageBuilder::homePage() const
{
    QByteArray html = pageTop("Welcome");
    html += "<div id=\"Main\">\r\n<h1>Share your photos. Watch the world.</h1>\r\n"
            "<form action=\"/search/\" method=\"get\"><input type=\"text\" name=\"q\" />"
            "<input type=\"hidden\" name=\"ct\" value=\"0\" /><input type=\"hidden\" name=\"mt\" "
            "value=\"photos\" />"
            "<input type=\"submit\" value=\"Search\" /></form>\r\n"
            "<p><a href=\"/search/?q=moss&amp;ct=0&amp;mt=photos&amp;adv=1&amp;z=m\">Photos of "
            "moss</a></p>\r\n"
            "</div>\r\n";
    return html + pageBottom();
}

QByteArray PageBuilder::errorPage(int status, const QByteArray &reason,
                                  const QByteArray &path) const
{
    QByteArray html = pageTop(QByteArray::number(status) + ' ' + reason);
    html += "<div id=\"Main\">\r\n<h1>" + QByteArray::number(status) + ' ' + reason
            + "</h1>\r\n"
              "<p>The page <code>"
            + escaped(path)
            + "</code> could not be served.</p>\r\n"
              "<p><a href=\"/\">Back to the front page</a></p>\r\n</div>\r\n";
    return html + pageBottom();
}

QByteArray PageBuilder::groupedCount(int count)
{
    QByteArray digits = QByteArray::number(count);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, ',');
    return digits;
}

// Underscores are written as entities too, so that no keyword can put a
// "photo_container" into the page head.
QByteArray PageBuilder::escaped(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '_':
            out += "&#95;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

QByteArray PageBuilder::head(const QByteArray &title) const
{
    return "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
           "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\r\n"
           "<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"en-us\" lang=\"en-us\">\r\n"
           "<head>\r\n<title>"
           + title
           + " - Photosite</title>\r\n"
             "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\" />\r\n"
             "<link rel=\"stylesheet\" type=\"text/css\" href=\"http://"
           + m_site.siteHost
           + "/css/site.css\" />\r\n"
             "</head>\r\n";
}

QByteArray PageBuilder::pageTop(const QByteArray &title) const
{
    return head(title) + "<body>\r\n<div id=\"TopBar\">\r\n<a href=\"/\"><img src=\"http://img."
           + m_site.portalMarker + '.' + m_site.siteDomainMarker
           + "/images/logo.gif\" width=\"98\" height=\"26\" alt=\"Photosite\" /></a>\r\n"
             "<a href=\"/search/\">Search</a>\r\n</div>\r\n";
}

QByteArray PageBuilder::pageBottom()
{
    return "<div id=\"Footer\">\r\n<p>Copyright &copy; Photosite. All rights "
           "reserved.</p>\r\n</div>\r\n"
           "</body>\r\n</html>\r\n";
}

QByteArray PageBuilder::photoBlock(const Photo &photo)
{
    const QByteArray title = escaped(photo.title);
    return "<div class=\"photo_container pc_t\"><a href=\"" + photo.pagePath + "\" title=\"" + title
           + "\"><img src=\"" + photo.thumbnailAddress + "\" "
           + dimensionAttributes(withoutScheme(photo.thumbnailAddress)) + " alt=\"" + title
           + "\" class=\"pc_img\" /></a></div>\r\n";
}

QByteArray PageBuilder::paginator(const QByteArray &keyword, bool commercial, int page,
                                  int lastPage) const
{
    const QByteArray base = "/search/?q=" + escaped(keyword) + (commercial ? "&amp;l=comm" : "")
                            + "&amp;ct=0&amp;mt=photos&amp;adv=1&amp;page=";
    QByteArray html = "<div class=\"Paginator\">\r\n";
    if (page > 1)
        html += "<a href=\"" + base + QByteArray::number(page - 1)
                + "\" class=\"Prev\">&lt; Prev</a>\r\n";
    html += "<span class=\"this-page\">" + QByteArray::number(page) + "</span>\r\n";
    if (page < lastPage)
        html += "<a href=\"" + base + QByteArray::number(page + 1)
                + "\" class=\"Next\">Next &gt;</a>\r\n";
    return html + "</div>\r\n";
}

QByteArray PageBuilder::sizeRow(const Photo &photo, const QByteArray &shownLetter,
                                const QList<QByteArray> &letters)
{
    QByteArray row = "<tr>\r\n";
    for (const QByteArray &letter : letters) {
        const QByteArray label = sizeName(letter);
        const QByteArray dimensions = sizeText(imageForSize(photo, letter));
        if (letter == shownLetter)
            row += "<td><b>" + label + "</b> " + dimensions + "</td>\r\n";
        else
            row += "<td><a href=\"" + photo.sizesPagePath + letter + "/\">" + label + "</a> "
                   + dimensions + "</td>\r\n";
    }
    return row + "</tr>\r\n";
}

QByteArray PageBuilder::imageForSize(const Photo &photo, const QByteArray &letter)
{
    QByteArray image = photo.standardImage;
    if (letter != "z")
        image.insert(image.size() - 4, '_' + letter);
    return image;
}

}
