#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/net/HttpClient.h"

// What a download reads from the headers of an answer. The server's words are not trusted: a value
// that does not read cleanly is absent.
namespace nudgerly::DownloadResponseHeaders {

// "Content-Range: bytes 100-199/200" (or ".../*" when the whole size is not known).
struct ContentRange {
    int64_t start = 0;
    std::optional<int64_t> total;

    friend bool operator==(const ContentRange&, const ContentRange&) = default;
};

// A count of bytes: decimal digits only, within a signed 64-bit value.
std::optional<int64_t> byteCount(std::string_view text);
std::optional<ContentRange> contentRange(std::string_view text);

// The whole file's size by a partial answer: the range's total, else its start plus the length of the
// body; -1 when neither says (a sum past the largest count says nothing either).
int64_t expectedBytes(const ContentRange& range, std::optional<int64_t> contentLength);

// What lets a later request ask for "the rest of this same file": a strong entity tag, else the
// modification date. Empty when the answer carries neither.
std::string validator(const HttpResponse& response);

// The absolute address of a Location header, resolved against the address that answered; absent when
// it cannot be read as one.
std::optional<std::string> resolveLocation(const std::string& base, const std::string& location);

}  // namespace nudgerly::DownloadResponseHeaders
