#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the outward services say about this build and machine, and where the maker's service lives.
// Nothing here names the user or their data.
namespace nudgerly::WireValues {

// The platform of the install event.
inline constexpr std::string_view platform = "linux";
// Where a feedback report comes from.
inline constexpr std::string_view channel = "linux_app";

// The maker's service. A reserved name that can never resolve, until the maker gives us its host: a
// build without configured addresses sends nothing anywhere.
inline constexpr std::string_view serviceHost = "nudgerly-service.invalid";

// The machine's architecture as the kernel names it ("x86_64", "aarch64"); "unknown" if it will not say.
std::string architecture();

// "Debian GNU/Linux 12 (bookworm), kernel 6.1.0-18-amd64": the distribution's pretty name and the
// kernel release. Read once for the process from /etc/os-release, else /usr/lib/os-release.
const std::string& operatingSystemVersion();

// The same from the first of `osReleaseFiles` that can be read (later ones are only fallbacks). The
// name is "Linux" when no file can be read or the file names nothing.
std::string operatingSystemVersion(const std::vector<std::filesystem::path>& osReleaseFiles);

// The PRETTY_NAME value of an os-release text, unquoted and made valid UTF-8; absent when the text
// has none (or an empty one).
std::optional<std::string> prettyName(std::string_view osRelease);

}  // namespace nudgerly::WireValues
