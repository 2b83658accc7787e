#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/formats/Url.h"

// The requests the loopback callback server reads and the answers it writes.
namespace nudgerly::OAuthCallbackRequest {

// The most a request may hold before its head ends; a longer one is answered "404 Not Found".
inline constexpr std::size_t requestLimit = 32768;
inline constexpr std::string_view callbackPath = "/oauth/callback";

inline constexpr std::string_view successPage =
    "<html><body style='font:16px -apple-system;padding:48px'><h2>Gmail connected</h2>"
    "<p>You can close this window and return to Nudgerly.</p></body></html>";
inline constexpr std::string_view notCompletedPage =
    "<html><body style='font:16px -apple-system;padding:48px'><h2>Gmail authorization was not completed</h2>"
    "<p>You can close this window and return to Nudgerly.</p></body></html>";

// True once the bytes hold the end of a request head: CR LF CR LF, or else LF LF, anywhere.
bool hasCompleteHead(std::string_view bytes);

// True once the first non-empty line has ended with a line break: the request line is all there.
bool hasRequestLine(std::string_view bytes);

// The address a request asks for when it is a request for the callback: the bytes are UTF-8, the
// first non-empty line is "GET", a target and a version beginning "HTTP/" separated by blanks, and the
// target's path is exactly the callback path. Absent for anything else.
std::optional<Url> callbackAddress(std::string_view request);

// One HTTP/1.1 answer that closes the connection: `status` such as "200 OK", an HTML body.
std::string response(std::string_view status, std::string_view body);

// The answer to anything that is not a callback request.
std::string notFound();

}  // namespace nudgerly::OAuthCallbackRequest
