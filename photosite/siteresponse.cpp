#include "photosite/siteresponse.h"

namespace mosscatch {

QByteArray SiteResponse::header(const QByteArray &contentLength) const
{
    QByteArray text = version + ' ' + QByteArray::number(status) + ' ' + reason + "\r\n";
    for (const auto &[name, value] : fields)
        text += name + ": " + value + "\r\n";
    if (!contentLength.isEmpty())
        text += "Content-Length: " + contentLength + "\r\n";
    return text + "\r\n";
}

QByteArray SiteResponse::connection() const
{
    for (const auto &[name, value] : fields) {
        if (name == "Connection")
            return value;
    }
    return {};
}

void SiteResponse::setConnection(const QByteArray &value)
{
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (fields.at(i).first != "Connection")
            continue;
        if (value.isEmpty())
            fields.removeAt(i);
        else
            fields[i].second = value;
        return;
    }
    // Where the site's answers have it: after Date and Server.
    if (!value.isEmpty())
        fields.insert(qMin<qsizetype>(2, fields.size()), {"Connection", value});
}

}
