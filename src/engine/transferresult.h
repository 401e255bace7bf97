#pragma once

#include "engine/writeerror.h"

#include <QByteArray>
#include <QString>

namespace mosscatch {

// What became of an address, said once when its transfer ends.
struct TransferResult
{
    enum class Outcome {
        Saved, // the image is under its name: savedPath
        PageTaken, // the page went to the scraper
        GivenUp, // reason says why, where a connection told
        CertificateRejected, // given up at once: reason says why
        AlreadyOnDisk, // another image took the name first; savedPath names it
        NameRefused, // the file system refuses the image's name: reason says why
        NotWritten, // the image could not be written: writeError
    };

    Outcome outcome = Outcome::GivenUp;
    // The address as last requested, after any redirect.
    QByteArray url;
    // The address as it was queued.
    QByteArray queuedAs;
    QByteArray host;
    QString reason;
    QString savedPath;
    WriteError writeError;
};

}
