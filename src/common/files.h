#pragma once

#include <QByteArray>
#include <QString>

// File-system helpers; those that only act swallow their own failures.
namespace mosscatch {

// Creates the one folder named (not its missing parents); every failure is ignored.
void makeFolder(const QString &path);

// True when the path names a file whose length can be read (a folder is not a file).
bool fileExists(const QString &path);

// Appends the bytes at the end of the file, creating it when missing.
bool appendToFile(const QString &path, const QByteArray &bytes);

// Deletes a file at once; never a folder; every failure is ignored.
void deleteFile(const QString &path);

}
