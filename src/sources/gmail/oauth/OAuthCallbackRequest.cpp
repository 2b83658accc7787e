#include "sources/gmail/oauth/OAuthCallbackRequest.h"

#include <array>
#include <vector>

#include "core/Text.h"

namespace nudgerly::OAuthCallbackRequest {
namespace {

// Every line break a text may use: LF, VT, FF, CR (and so CR LF), NEL, LINE and PARAGRAPH SEPARATOR.
constexpr std::array lineBreaks{std::string_view("\n"),          std::string_view("\v"),
                                std::string_view("\f"),          std::string_view("\r"),
                                std::string_view("\xC2\x85"),    std::string_view("\xE2\x80\xA8"),
                                std::string_view("\xE2\x80\xA9")};

std::size_t lineBreakAt(std::string_view text, std::size_t index) {
    for (const auto lineBreak : lineBreaks) {
        if (text.substr(index).starts_with(lineBreak)) {
            return lineBreak.size();
        }
    }
    return 0;
}

struct Line {
    std::string_view text;
    bool ended = false;  // by a line break, not by the end of the text
};

// The first line that is not empty; absent when there is none.
std::optional<Line> firstLine(std::string_view text) {
    std::size_t start = 0;
    for (std::size_t index = 0; index <= text.size(); ++index) {
        const std::size_t breakLength = index < text.size() ? lineBreakAt(text, index) : 1;
        if (breakLength == 0) {
            continue;
        }
        if (index > start) {
            return Line{.text = text.substr(start, index - start), .ended = index < text.size()};
        }
        index += breakLength - 1;
        start = index + 1;
    }
    return std::nullopt;
}

std::vector<std::string_view> blankSeparatedParts(std::string_view line) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t index = 0; index <= line.size(); ++index) {
        if (index == line.size() || line[index] == ' ' || line[index] == '\t') {
            if (index > start) {
                parts.push_back(line.substr(start, index - start));
            }
            start = index + 1;
        }
    }
    return parts;
}

}  // namespace

bool hasCompleteHead(std::string_view bytes) {
    return bytes.find("\r\n\r\n") != std::string_view::npos || bytes.find("\n\n") != std::string_view::npos;
}

bool hasRequestLine(std::string_view bytes) {
    const auto line = firstLine(bytes);
    return line && line->ended;
}

std::optional<Url> callbackAddress(std::string_view request) {
    if (!text::isValidUtf8(request)) {
        return std::nullopt;
    }
    const auto line = firstLine(request);
    if (!line) {
        return std::nullopt;
    }
    const auto parts = blankSeparatedParts(line->text);
    if (parts.size() != 3 || parts[0] != "GET" || !parts[2].starts_with("HTTP/")) {
        return std::nullopt;
    }
    auto address = Url::parse("http://127.0.0.1" + std::string(parts[1]));
    if (!address || address->path() != callbackPath) {
        return std::nullopt;
    }
    return address;
}

std::string response(std::string_view status, std::string_view body) {
    std::string text = "HTTP/1.1 ";
    text += status;
    text += "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: ";
    text += std::to_string(body.size());
    text += "\r\nConnection: close\r\n\r\n";
    text += body;
    return text;
}

std::string notFound() {
    return response("404 Not Found", "Not Found");
}

}  // namespace nudgerly::OAuthCallbackRequest
