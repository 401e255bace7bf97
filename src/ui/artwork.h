#pragma once

#include <QPixmap>

class QPainter;

// The window's pictures, drawn by the program itself.
namespace mosscatch::artwork {

// 161 x 86: the product logo of the top-left corner.
QPixmap logo();
// The program's icon, the logo's moss on its sky, in a square of the given side.
void drawIcon(QPainter &painter, qreal side);
// 73 x 25: the folder picture at the end of the save-folder box.
QPixmap folderImage();
// 481 x 173: the banner shown in the connection panel until a harvest begins.
QPixmap banner();

}
