#include <string>

#include <gtest/gtest.h>

#include "core/JsonCoding.h"
#include "files/TempDir.h"
#include "sources/gmail/oauth/OAuthClientFile.h"

namespace nudgerly {
namespace {

std::string client(const std::string& id) {
    return R"({"client_id":")" + id +
           R"(","project_id":"p","client_secret":"s","auth_uri":"https://auth.example/o","token_uri":"https://token.example/t"})";
}

OAuthClient expected(const std::string& id) {
    return {.clientID = id,
            .clientSecret = "s",
            .authURI = "https://auth.example/o",
            .tokenURI = "https://token.example/t"};
}

OAuthClientFile read(const std::string& json) {
    return OAuthClientFile::fromJson(parseJson(json));
}

TEST(OAuthClientFileTests, TheThreeLayouts) {
    const auto both = read(R"({"installed":)" + client("desktop") + R"(,"web":)" + client("web") + "}");
    EXPECT_EQ(both.client(), expected("desktop"));
    EXPECT_EQ(both.web, expected("web"));
    EXPECT_EQ(both.direct, std::nullopt);

    EXPECT_EQ(read(R"({"web":)" + client("web") + "}").client(), expected("web"));
    EXPECT_EQ(read(client("bare")), (OAuthClientFile{.direct = expected("bare")}));

    const auto empty = read(R"({"client_id":"","client_secret":"","auth_uri":"","token_uri":""})");
    EXPECT_EQ(empty.client(), OAuthClient{});
}

TEST(OAuthClientFileTests, AnIncompleteWrappedClientFallsBackToTheTopLevel) {
    const std::string incomplete = R"({"client_id":"x","client_secret":"s","auth_uri":"a"})";
    EXPECT_EQ(read(R"({"installed":)" + incomplete + "}"), OAuthClientFile{});
    // The bare reading still finds the four keys at the top level.
    const auto mixed = read(
        R"({"installed":)" + incomplete +
        R"(,"client_id":"top","client_secret":"s","auth_uri":"https://auth.example/o","token_uri":"https://token.example/t"})");
    EXPECT_EQ(mixed, (OAuthClientFile{.direct = expected("top")}));
    EXPECT_EQ(read(R"({"installed":null,"web":null})"), OAuthClientFile{});
    EXPECT_EQ(read(R"([1,2])"), OAuthClientFile{});
    EXPECT_EQ(read(R"({"client_id":5,"client_secret":"s","auth_uri":"a","token_uri":"t"})"), OAuthClientFile{});
}

TEST(OAuthClientFileTests, LoadClientPrefersTheShippedFileAndSkipsUnusableOnes) {
    test::TempDir root;
    const auto resources = root / "share";
    const auto data = root / "data";
    EXPECT_EQ(OAuthClientFile::loadClient(resources, data), std::nullopt);  // neither folder exists

    test::writeTestFile(data / "google-oauth-client.json", R"({"installed":)" + client("user") + "}");
    EXPECT_EQ(OAuthClientFile::loadClient(std::nullopt, data), expected("user"));
    EXPECT_EQ(OAuthClientFile::loadClient(resources, data), expected("user"));

    test::writeTestFile(resources / "GoogleOAuth.json", R"({"installed":)" + client("shipped") + "}");
    EXPECT_EQ(OAuthClientFile::loadClient(resources, data), expected("shipped"));

    // A shipped file without a client lets the user's file count.
    test::writeTestFile(resources / "GoogleOAuth.json", R"({"other":1})");
    EXPECT_EQ(OAuthClientFile::loadClient(resources, data), expected("user"));

    test::writeTestFile(data / "google-oauth-client.json", "this is not JSON");
    EXPECT_EQ(OAuthClientFile::loadClient(resources, data), std::nullopt);

    // A folder in the file's place is no client, and reading it does not throw.
    std::filesystem::remove(data / "google-oauth-client.json");
    std::filesystem::create_directories(data / "google-oauth-client.json");
    EXPECT_EQ(OAuthClientFile::loadClient(resources, data), std::nullopt);
}

TEST(OAuthClientFileTests, TheClientEncodesWithItsFourKeys) {
    EXPECT_EQ(
        expected("id").toJson(),
        parseJson(
            R"({"client_id":"id","client_secret":"s","auth_uri":"https://auth.example/o","token_uri":"https://token.example/t"})"));
    EXPECT_EQ(OAuthClient::fromJson(expected("id").toJson()), expected("id"));
}

}  // namespace
}  // namespace nudgerly
