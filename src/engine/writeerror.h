#pragma once

#include <QMetaType>
#include <QString>

namespace mosscatch {

// Why an image could not be written: the system's error number and the folder
// it was to go into.
struct WriteError
{
    QString folder;
    int code = 0;

    // The system's own words, "No space left on device".
    QString reason() const;
    // A refusal of this one name (too long, characters the file system
    // refuses, a folder or anything but a file already under it); any other
    // failure holds for every image the run would write.
    bool concernsTheName() const;
    // The disk or the user's share of it is full.
    bool isLackOfRoom() const;
};

}

Q_DECLARE_METATYPE(mosscatch::WriteError)
