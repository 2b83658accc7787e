#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/net/HttpClient.h"
#include "platform/system/AppInfo.h"

// How the outward services reach the maker's service: which address they post to and what a post
// looks like.
namespace nudgerly::ServiceRequest {

// The service's answers are a few small JSON members; a larger answer is not one of them.
inline constexpr std::size_t maxAnswerBytes = 64 * 1024;

// Whether a configured address may be posted to: https with a host and no credentials, or plain http
// to this machine (a local test service). Anything else could send a report somewhere unintended.
bool isAllowedEndpoint(std::string_view address);

// The address under `infoKey` in the information dictionary when it is a string and an allowed
// endpoint; otherwise the built-in https address of the maker's service with `path`.
std::string endpoint(const AppInfo& info, std::string_view infoKey, std::string_view path);

// A POST of `body` as compact JSON that accepts JSON back, with the answer capped at maxAnswerBytes.
HttpRequest jsonPost(const std::string& endpoint, const nlohmann::json& body, std::chrono::milliseconds timeout);

}  // namespace nudgerly::ServiceRequest
