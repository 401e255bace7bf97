#pragma once

#include <QPixmap>

// The window's pictures, drawn by the program itself.
namespace mosscatch::artwork {

// 161 x 86: the product logo of the top-left corner.
QPixmap logo();
// 73 x 25: the folder picture at the end of the save-folder box.
QPixmap folderImage();
// 481 x 173: the banner shown in the connection panel until a harvest begins.
QPixmap banner();

}
