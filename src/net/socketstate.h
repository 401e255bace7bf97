#pragma once

namespace mosscatch {

// The connection states the engine relies on. The numbers are the ones the
// rows have always shown: 7 open, 8 closed by the peer, 9 failed.
enum class SocketState : int {
    Closed = 0,
    ResolvingHost = 4,
    Connecting = 6,
    Connected = 7,
    Closing = 8,
    Error = 9,
};

}
