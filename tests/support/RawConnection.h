#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/UniqueFd.h"

namespace nudgerly::test {

// A plain TCP connection to a port of 127.0.0.1, for speaking to a server byte by byte.
class RawConnection {
public:
    // Throws std::runtime_error when the connection cannot be made.
    explicit RawConnection(uint16_t port);

    // False when the bytes could not all be sent.
    bool send(std::string_view bytes);
    // Ends the sending side, as a client does that has nothing more to say.
    void finishSending();
    // What the server sends until it closes the connection or `timeout` passes.
    std::string receiveAll(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // True when the server closes the connection within `timeout` (whatever it sent before).
    bool closedWithin(std::chrono::milliseconds timeout);

private:
    // Appends what arrives to `received`; true when the server closed within `timeout`.
    bool readUntilClosed(std::chrono::milliseconds timeout, std::string& received);

    UniqueFd fd_;
};

// Connects, sends `request` whole and returns everything the server answers.
std::string rawExchange(uint16_t port, std::string_view request);

}  // namespace nudgerly::test
