#include "engine/chunkeddecoder.h"

#include <algorithm>

namespace mosscatch {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}

ChunkedDecoder::Result ChunkedDecoder::feed(QByteArrayView input, QByteArray &out)
{
    qsizetype i = 0;
    const qsizetype n = input.size();
    while (i < n && m_state != State::Done) {
        if (m_state == State::Data) {
            const qsizetype take = qsizetype(std::min<qint64>(m_remaining, n - i));
            out.append(input.data() + i, take);
            i += take;
            m_remaining -= take;
            if (m_remaining == 0)
                m_state = State::DataEnd;
            continue;
        }
        const char c = input[i++];
        if (m_state == State::DataEnd) {
            // The data of a chunk is followed by CR LF (a bare LF is taken too).
            if (c == '\r' && m_line.isEmpty()) {
                m_line.append(c);
                continue;
            }
            if (c != '\n')
                return Result::Malformed;
            m_line.clear();
            m_state = State::Size;
            continue;
        }
        if (c != '\n') {
            if (m_line.size() >= MaxLine)
                return Result::Malformed;
            m_line.append(c);
            continue;
        }
        if (!endLine())
            return Result::Malformed;
    }
    if (m_state == State::Done)
        m_bytesAfterEnd += n - i;
    return m_state == State::Done ? Result::Done : Result::More;
}

// A whole size line or trailer line is in m_line (without its LF).
bool ChunkedDecoder::endLine()
{
    QByteArray line = m_line;
    m_line.clear();
    if (line.endsWith('\r'))
        line.chop(1);
    if (m_state == State::Trailer) {
        if (line.isEmpty())
            m_state = State::Done;
        return ++m_trailerLines <= MaxTrailerLines;
    }
    // Size line: hexadecimal digits, then optional blanks and ";extensions".
    qsizetype i = 0;
    qint64 size = 0;
    for (; i < line.size() && hexValue(line[i]) >= 0; ++i) {
        if (i >= 15)
            return false;
        size = size * 16 + hexValue(line[i]);
    }
    if (i == 0)
        return false;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    if (i < line.size() && line[i] != ';')
        return false;
    m_remaining = size;
    m_state = size == 0 ? State::Trailer : State::Data;
    return true;
}

}
