#include "ui/shellhelpers.h"

#include <QDesktopServices>
#include <QLineEdit>
#include <QUrl>

namespace mosscatch {

namespace {

bool isWebAddress(const QString &target)
{
    return target.startsWith(QLatin1String("www."), Qt::CaseInsensitive)
           || target.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
           || target.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

QUrl urlFor(const QString &target)
{
    if (!isWebAddress(target))
        return QUrl::fromLocalFile(target);
    if (target.contains(QLatin1String("://")))
        return QUrl(target);
    return QUrl(QStringLiteral("http://") + target);
}

}

void openInExplorer(const QString &target)
{
    QDesktopServices::openUrl(urlFor(target));
}

void selectAllText(QLineEdit *box)
{
    if (box)
        box->selectAll();
}

}
