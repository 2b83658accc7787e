#pragma once

namespace nudgerly {

// True when nothing listens on TCP port `port` of 127.0.0.1 (or on every address), so that a server
// started there is the only one that can answer on it. Sockets merely waiting out a closed
// connection do not count. The answer can be stale by the time a server binds; a server that then
// fails to bind simply exits.
bool isLoopbackPortFree(int port);

}  // namespace nudgerly
