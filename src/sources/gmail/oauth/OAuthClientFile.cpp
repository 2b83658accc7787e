#include "sources/gmail/oauth/OAuthClientFile.h"

#include <cstddef>

#include "core/Files.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;

// A client file is a few hundred bytes; anything far larger is not one, and is not read whole.
constexpr std::size_t largestClientFile = 1 << 20;

struct Wrapper {
    std::optional<OAuthClient> installed;
    std::optional<OAuthClient> web;

    static Wrapper fromJson(const nlohmann::json& value) {
        const auto& object = Json::object(value);
        return {.installed = Json::optional<OAuthClient>(object, "installed"),
                .web = Json::optional<OAuthClient>(object, "web")};
    }
};

// The user's file is one of the program's own, never read through a link: a client from elsewhere
// would send the sign-in to addresses of someone else's choosing.
std::optional<OAuthClient> clientInFile(const fs::path& path, bool ownFile) {
    try {
        const std::string bytes = ownFile ? readOwnFile(path, largestClientFile) : readFile(path, largestClientFile);
        return OAuthClientFile::fromJson(parseJson(bytes)).client();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace

OAuthClientFile OAuthClientFile::fromJson(const nlohmann::json& value) {
    try {
        const Wrapper wrapper = Wrapper::fromJson(value);
        if (wrapper.installed || wrapper.web) {
            return {.installed = wrapper.installed, .web = wrapper.web};
        }
    } catch (const JsonDecodingError&) {
        // Not a wrapper; the top level may be the client itself.
    }
    try {
        return {.direct = OAuthClient::fromJson(value)};
    } catch (const JsonDecodingError&) {
        return {};
    }
}

std::optional<OAuthClient> OAuthClientFile::client() const {
    if (installed) {
        return installed;
    }
    if (web) {
        return web;
    }
    return direct;
}

std::optional<OAuthClient> OAuthClientFile::loadClient(const std::optional<fs::path>& resourceFolder,
                                                       const fs::path& dataFolder) {
    if (resourceFolder) {
        if (auto client = clientInFile(*resourceFolder / resourceFileName, false)) {
            return client;
        }
    }
    return clientInFile(dataFolder / dataFileName, true);
}

}  // namespace nudgerly
