#include "sources/gmail/mime/MimeHeader.h"

#include <vector>

#include "core/Text.h"

namespace nudgerly::MimeHeader {
namespace {

// The header split at semicolons outside quoted strings; the first piece is the value itself.
std::vector<std::string_view> pieces(std::string_view header) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (quoted && header[i] == '\\') {
            ++i;
        } else if (header[i] == '"') {
            quoted = !quoted;
        } else if (header[i] == ';' && !quoted) {
            out.push_back(header.substr(start, i - start));
            start = i + 1;
        }
    }
    out.push_back(header.substr(std::min(start, header.size())));
    return out;
}

std::string unquoted(std::string_view value) {
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') {
        return std::string(value);
    }
    std::string out;
    for (std::size_t i = 1; i + 1 < value.size(); ++i) {
        if (value[i] == '\\' && i + 2 < value.size()) {
            ++i;
        }
        out += value[i];
    }
    return out;
}

// Calls `visit(name, value)` for every parameter with a name, until it returns true.
template <typename Visit>
bool anyParameter(std::string_view header, Visit visit) {
    const auto all = pieces(header);
    for (std::size_t i = 1; i < all.size(); ++i) {
        const std::size_t equals = all[i].find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        if (visit(text::trimmedAscii(all[i].substr(0, equals)), text::trimmedAscii(all[i].substr(equals + 1)))) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string value(std::string_view header) {
    return text::lowercased(text::trimmedAscii(pieces(header).front()));
}

std::optional<std::string> parameter(std::string_view header, std::string_view name) {
    std::optional<std::string> found;
    anyParameter(header, [&](std::string_view each, std::string_view value) {
        if (!text::equalsIgnoringAsciiCase(each, name)) {
            return false;
        }
        if (std::string text = unquoted(value); !text.empty()) {
            found = std::move(text);
        }
        return true;
    });
    return found;
}

bool hasParameter(std::string_view header, std::string_view name) {
    return anyParameter(header, [&](std::string_view each, std::string_view) {
        return text::equalsIgnoringAsciiCase(each.substr(0, each.find('*')), name);
    });
}

}  // namespace nudgerly::MimeHeader
