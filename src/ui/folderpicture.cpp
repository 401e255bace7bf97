#include "ui/folderpicture.h"

#include "ui/artwork.h"

#include <QPainter>
#include <QStyleOptionFocusRect>

namespace mosscatch {

FolderPicture::FolderPicture(QWidget *parent)
    : QAbstractButton(parent), m_picture(artwork::folderImage())
{
    setObjectName(QStringLiteral("Picture6"));
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(QStringLiteral("Open the save folder"));
    setToolTip(accessibleName());
}

void FolderPicture::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

}
