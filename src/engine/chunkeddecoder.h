#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace mosscatch {

// Decodes a chunked body (Transfer-Encoding: chunked) as it arrives, in pieces
// of any size: the outcome never depends on where the pieces were cut. Holds
// at most one size or trailer line, so its memory stays bounded.
class ChunkedDecoder
{
public:
    enum class Result { More, Done, Malformed };

    // Appends the data bytes found in input to out. Done once the last chunk
    // and the trailer's empty line are in; bytes after that are ignored.
    Result feed(QByteArrayView input, QByteArray &out);
    // The zero-size last chunk was read (only its trailer may be missing).
    bool lastChunkSeen() const { return m_state == State::Trailer || m_state == State::Done; }
    // Bytes fed after the body's end: on a kept connection, a peer out of step.
    qint64 bytesAfterEnd() const { return m_bytesAfterEnd; }

private:
    enum class State { Size, Data, DataEnd, Trailer, Done };
    static constexpr qsizetype MaxLine = 4096;
    static constexpr int MaxTrailerLines = 64;

    bool endLine();

    State m_state = State::Size;
    QByteArray m_line;
    qint64 m_remaining = 0;
    int m_trailerLines = 0;
    qint64 m_bytesAfterEnd = 0;
};

}
