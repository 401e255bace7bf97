#pragma once

#include <QString>

// File-system helpers; those that only act swallow their own failures.
namespace mosscatch {

// Creates the one folder named (not its missing parents); every failure is ignored.
void makeFolder(const QString &path);

// True when the path names a file whose length can be read (a folder is not a file).
bool fileExists(const QString &path);

}
