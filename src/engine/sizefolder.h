#pragma once

#include <QMetaType>
#include <QString>

namespace mosscatch {

// The folder an image is saved in tells its size: thumbnails/, largest/, or
// the keyword folder itself for standard size.
enum class SizeFolder { Thumbnail, Standard, Largest };

// Judged by the image's own folder, so a keyword named "largest" still keeps
// its standard images apart from its largest ones.
SizeFolder sizeFolderOf(const QString &imagePath, const QString &keywordFolder);
QString sizeFolderName(SizeFolder folder);

}

Q_DECLARE_METATYPE(mosscatch::SizeFolder)
