#pragma once

#include "photosite/photo.h"
#include "photosite/photocatalog.h"

#include <QByteArray>
#include <QMap>
#include <QString>

namespace mosscatch {

// Every file under folder, hidden ones included, relative to it, with its bytes.
QMap<QString, QByteArray> filesUnder(const QString &folder);

// The files a harvest of keyword saves from photos with the sizes ticked ("t", "s", "l"),
// each with the address it holds.
QMap<QString, QByteArray> imageAddresses(const QByteArray &keyword, const QList<Photo> &photos,
                                         const QString &ticked = QStringLiteral("tsl"));

// The same files, each with the bytes the site serves at its address.
QMap<QString, QByteArray> servedBytes(const PhotoCatalog &catalog,
                                      QMap<QString, QByteArray> addresses);

// Whether the saved files are exactly the expected ones, byte for byte; warns of the
// first difference.
bool sameFiles(const QMap<QString, QByteArray> &saved, const QMap<QString, QByteArray> &expected);

}
