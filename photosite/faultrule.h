#pragma once

#include <QByteArray>

namespace mosscatch {

// A misbehaviour the site shows for matching requests. Rules are tried in the
// order they were added; the first that matches (and has uses left) applies.
// Each applies to one answer, on whichever connection its request came. On a
// connection kept for further requests, an answer that can only end with the
// close says "Connection: close", as the site's HTTP/1.0 answers all do; only
// NoLengthKept leaves that out, since that is its point.
struct FaultRule
{
    enum class Match {
        ExactPath, // the origin-form path, query included, equals pattern
        PathPrefix, // the path starts with pattern
        Wildcard, // host + path matches pattern; "*" is any run of bytes, "?" one byte
    };

    enum class Kind {
        Stall, // read the request, never answer
        Trickle, // header at once, then the body chunkBytes every intervalMs
        CloseEarly, // header and the first `bytes` body bytes (half when 0), then close
        NoContentLength, // whole body, no Content-Length field, then close
        ContentLengthLarger, // announces the body size + `bytes` (1000 when 0)
        ContentLengthSmaller, // announces the body size - `bytes` (half when 0), sends it all
        ContentLengthGarbage, // "Content-Length: " + text (default "banana")
        SplitHeader, // the response in two writes, split at byte `bytes` (mid-header when 0),
                     // intervalMs apart
        NotFound, // 404 with an HTML body
        ServerError, // 500 with an HTML body
        Redirect, // 302 with "location: " + text
        RedirectLoop, // 302 with "location: " + the request's own path
        RedirectCapitalLocation, // 302 with "Location: " + text
        EndlessBody, // header without a length, then chunkBytes of "x" every intervalMs until the
                     // peer leaves
        MissingHtmlEnd, // the normal page with its "</html>" taken out
        UpperCaseHtmlEnd, // the normal page ending "</HTML>"
        HugePage, // the normal page padded to `bytes` (8 MiB when 0) before "</html>"
        PhotoImageAddress, // the normal page with its "photo-div" image address replaced by text
        Unavailable, // 503 with an HTML body
        LinkFarm, // the normal page with `bytes` (50 when 0) more blocks, each linking a further
                  // photo page
        ContainerBomb, // the normal page with `bytes` (250,000 when 0) more blocks, all linking its
                       // first photo
        NotFoundSplit, // the 404 of NotFound in two writes, split at byte `bytes` (mid-header when
                       // 0)
        HeaderByteByByte, // the header one byte per write, intervalMs apart, then the body at once
        ResetNoLength, // header without a length, the first `bytes` body bytes (half when 0), then
                       // a reset (RST)
        CloseEarlyNoLength, // header without a length, the first `bytes` body bytes (half when 0),
                            // then close
        CutNoLength, // as CloseEarlyNoLength, but the TCP connection ends without a TLS
                     // close_notify
        Chunked, // "Transfer-Encoding: chunked", the body in chunks of chunkBytes, then close
        GzipEncoded, // "Content-Encoding: gzip" over a compressed body
        PartialContent, // 206 with the first `bytes` body bytes (half when 0) and their
                        // Content-Range
        DuplicateLength, // the right Content-Length line twice
        ContradictingLengths, // the right Content-Length line, then one announcing `bytes` (half
                              // when 0)
        LengthInOtherField, // "X-Original-Content-Length: " + `bytes` (12 when 0) before the right
                            // length
        TooManyRequests, // 429 with an HTML body and "Retry-After: " + text (no such field when
                         // text is empty)
        RepeatedPhotos, // the normal results page with the blocks of the search's page 1 once
                        // more: its photos twice on page 1, and again on every other page
        CloseWhenReused, // on a connection's second or later request, close without a byte of
                         // answer (the first request is served normally and uses nothing up)
        ConnectionClose, // the normal answer with "Connection: close", then close
        NoLengthKept, // on a kept connection: whole body, neither Content-Length nor
                      // "Connection: close", then close (elsewhere as NoContentLength)
        ExtraBytes, // the normal answer followed, in the same write, by text (default "HTTP/1.1
                    // 200 OK\r\n\r\nextra"); the connection stays as the request asked
        StallWhenReused, // as Stall, on a connection's second or later request only (the first
                         // is served normally and uses nothing up)
        OtherImage, // the normal answer to text ("host/path"), an image at an address of any
                    // name
    };

    Match match = Match::ExactPath;
    QByteArray pattern;
    Kind kind = Kind::Stall;
    int times = -1; // serve normally after this many uses; -1 applies forever
    qint64 bytes = 0;
    int chunkBytes = 16;
    int intervalMs = 50;
    QByteArray text;

    static FaultRule exactPath(const QByteArray &path, Kind kind, int times = -1);
    static FaultRule pathPrefix(const QByteArray &prefix, Kind kind, int times = -1);
    static FaultRule wildcard(const QByteArray &hostAndPath, Kind kind, int times = -1);

    // reused: the request is not the first on its connection.
    bool matches(const QByteArray &host, const QByteArray &path, bool reused) const;
    static bool wildcardMatch(const QByteArray &pattern, const QByteArray &text);
};

}
