#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include <nlohmann/json.hpp>

#include "sources/gmail/oauth/OAuthClient.h"

namespace nudgerly {

// A client file in the layouts the identity provider hands out: a desktop client under "installed",
// a web client under "web", or the client record itself at the top level.
struct OAuthClientFile {
    // Shipped with the program, in its resource folder; wins over the user's file.
    static constexpr std::string_view resourceFileName = "GoogleOAuth.json";
    // Placed by the user in the data folder.
    static constexpr std::string_view dataFileName = "google-oauth-client.json";

    std::optional<OAuthClient> installed;
    std::optional<OAuthClient> web;
    std::optional<OAuthClient> direct;

    // Never fails: a top level that holds no client gives a file with no members.
    static OAuthClientFile fromJson(const nlohmann::json& value);

    // "installed", else "web", else the bare record.
    std::optional<OAuthClient> client() const;

    // The client of the first file that yields one: the resource folder's file, then the data
    // folder's. Unreadable files, invalid JSON and incomplete records count as files without a client;
    // nothing is thrown.
    static std::optional<OAuthClient> loadClient(const std::optional<std::filesystem::path>& resourceFolder,
                                                 const std::filesystem::path& dataFolder);

    friend bool operator==(const OAuthClientFile&, const OAuthClientFile&) = default;
};

}  // namespace nudgerly
