#include "photosite/siteresponse.h"

namespace mosscatch {

QByteArray SiteResponse::header(const QByteArray &contentLength) const
{
    QByteArray text = "HTTP/1.0 " + QByteArray::number(status) + ' ' + reason + "\r\n";
    for (const auto &[name, value] : fields)
        text += name + ": " + value + "\r\n";
    if (!contentLength.isEmpty())
        text += "Content-Length: " + contentLength + "\r\n";
    return text + "\r\n";
}

}
