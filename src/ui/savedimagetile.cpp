#include "ui/savedimagetile.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QLocale>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QUrl>

namespace mosscatch {

SavedImageTile::SavedImageTile(quint64 id, const QString &path, SizeFolder folder, QWidget *parent)
    : QAbstractButton(parent), m_id(id), m_path(path), m_folder(folder)
{
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(QFileInfo(path).fileName());
    describe(-1);
    connect(this, &QAbstractButton::clicked, this,
            [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(m_path)); });
}

void SavedImageTile::setPreview(const QPixmap &preview, qint64 bytes)
{
    m_preview = preview;
    describe(bytes);
    update();
}

int SavedImageTile::widthAt(int height) const
{
    if (m_preview.isNull() || m_preview.height() == 0)
        return height / 2;
    return qMax(1, m_preview.width() * height / m_preview.height());
}

void SavedImageTile::describe(qint64 bytes)
{
    QString text = QFileInfo(m_path).fileName() + QLatin1Char('\n') + sizeFolderName(m_folder);
    if (bytes >= 0)
        text += QStringLiteral(", %1 bytes").arg(QLocale().toString(bytes));
    setToolTip(text);
    setAccessibleDescription(text);
}

void SavedImageTile::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_preview.isNull())
        painter.fillRect(rect(), palette().color(QPalette::Midlight));
    else
        painter.drawPixmap(rect(), m_preview);
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

}
