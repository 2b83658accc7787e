#include "services/WireValues.h"

#include <fstream>

#include <sys/utsname.h>

#include "core/Text.h"

namespace nudgerly::WireValues {
namespace {

// os-release is a few hundred bytes; anything past this is not an os-release file.
constexpr std::streamsize maxOsReleaseBytes = 64 * 1024;

std::optional<std::string> readStart(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(maxOsReleaseBytes), '\0');
    stream.read(bytes.data(), maxOsReleaseBytes);
    if (stream.bad()) {
        return std::nullopt;
    }
    bytes.resize(static_cast<std::size_t>(stream.gcount()));
    return bytes;
}

// A shell-style assignment value: double quotes (where a backslash escapes the next character),
// single quotes (taken literally) or bare text (where a backslash escapes the next character).
std::string unquoted(std::string_view value) {
    std::string out;
    char quote = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (quote == '\'') {
            if (c == '\'') {
                quote = 0;
            } else {
                out += c;
            }
        } else if (c == '\\' && i + 1 < value.size()) {
            out += value[++i];
        } else if (quote == '"' && c == '"') {
            quote = 0;
        } else if (quote == 0 && (c == '"' || c == '\'')) {
            quote = c;
        } else {
            out += c;
        }
    }
    return out;
}

std::string kernelRelease() {
    utsname names{};
    return ::uname(&names) == 0 ? std::string(names.release) : std::string();
}

}  // namespace

std::string architecture() {
    utsname names{};
    if (::uname(&names) != 0 || names.machine[0] == '\0') {
        return "unknown";
    }
    return names.machine;
}

std::optional<std::string> prettyName(std::string_view osRelease) {
    std::optional<std::string> name;
    while (!osRelease.empty()) {
        const auto end = osRelease.find('\n');
        std::string_view line = osRelease.substr(0, end);
        osRelease = end == std::string_view::npos ? std::string_view() : osRelease.substr(end + 1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
            line.remove_prefix(1);
        }
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
            line.remove_suffix(1);
        }
        constexpr std::string_view key = "PRETTY_NAME=";
        if (line.starts_with(key)) {
            // Like the shell that may source the file, the last assignment wins.
            name = unquoted(line.substr(key.size()));
        }
    }
    if (!name) {
        return std::nullopt;
    }
    std::string valid = text::trimmed(*name);
    if (valid.empty()) {
        return std::nullopt;
    }
    return valid;
}

std::string operatingSystemVersion(const std::vector<std::filesystem::path>& osReleaseFiles) {
    std::string name = "Linux";
    for (const auto& file : osReleaseFiles) {
        if (const auto bytes = readStart(file)) {
            name = prettyName(*bytes).value_or("Linux");
            break;
        }
    }
    const std::string kernel = kernelRelease();
    return kernel.empty() ? name : name + ", kernel " + text::makeValidUtf8(kernel);
}

const std::string& operatingSystemVersion() {
    static const std::string version = operatingSystemVersion({"/etc/os-release", "/usr/lib/os-release"});
    return version;
}

}  // namespace nudgerly::WireValues
