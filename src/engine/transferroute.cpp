#include "engine/transferroute.h"

#include "common/text.h"

namespace mosscatch {

namespace {

QString destinationFolder(const QByteArray &path, const QString &keywordFolder)
{
    // An empty keyword's folder is the save folder itself, which ends in "/".
    QString base = keywordFolder;
    if (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    if (path.contains("_t."))
        return base + QStringLiteral("/thumbnails/");
    if (path.contains("_b.") || path.contains("_o.") || path.contains('*'))
        return base + QStringLiteral("/largest/");
    return base + QLatin1Char('/');
}

}

TransferRoute TransferRoute::of(const QByteArray &address, const QString &keywordFolder)
{
    TransferRoute route;
    route.target = ConnectionTarget::fromAddress(address, &route.path);
    route.path.replace("_m.", "_t.");
    route.folder = destinationFolder(route.path, keywordFolder);
    route.path.replace("*", "");
    route.fileName = urlFileName(route.path);
    return route;
}

bool TransferRoute::namesNoFile() const
{
    return path.contains(".jpg") && (fileName.isEmpty() || fileName == "." || fileName == "..");
}

}
