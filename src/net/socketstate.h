#pragma once

namespace mosscatch {

// The connection states the engine relies on; the numbers are part of the
// contract (0 and 8 are free, everything else busy).
enum class SocketState : int {
    Closed = 0,
    Open = 1,
    Listening = 2,
    ConnectionPending = 3,
    ResolvingHost = 4,
    HostResolved = 5,
    Connecting = 6,
    Connected = 7,
    Closing = 8,
    Error = 9,
};

}
