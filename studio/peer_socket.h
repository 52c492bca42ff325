// Telling, from inside a request handler, whether the client has gone: the HTTP library does not
// hand the connection's socket to handlers, so it is found by the connection's two ports.
#pragma once

namespace lwstudio {

// The socket of this process connected from `remotePort` to `localPort` (loopback), or -1.
int FindConnectionSocket(int localPort, int remotePort);

// True when the peer has closed its end of `socket` or the connection failed. Never blocks.
bool PeerHasClosed(int socket);

}  // namespace lwstudio
