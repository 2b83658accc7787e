#pragma once

#include <string_view>

#include "localmodel/LocalModelError.h"

// How an answer of the local model server other than 200 is reported.
namespace nudgerly::LocalModelHTTPResponsePolicy {

// 500 and above: the server is unavailable. 400 whose error type says the prompt exceeds the
// context: the conversation is too large. Anything else: a bad response.
LocalModelError error(int statusCode, std::string_view body);

}  // namespace nudgerly::LocalModelHTTPResponsePolicy
