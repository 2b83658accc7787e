#include <string>

#include <gtest/gtest.h>

#include "core/JsonCoding.h"
#include "sources/gmail/FromHeader.h"
#include "sources/gmail/GmailBodies.h"
#include "sources/gmail/MailCharset.h"
#include "support/GmailFixtures.h"

namespace nudgerly {
namespace {

namespace Fixtures = test::GmailFixtures;

GmailPayload payload(const nlohmann::json& json) {
    return GmailPayload::fromJson(json);
}

GmailPayload rawPart(const std::string& mimeType, const std::string& data, const std::string& contentType = "") {
    nlohmann::json json = Fixtures::part(mimeType, "", contentType);
    json["body"]["data"] = data;
    return payload(json);
}

TEST(GmailBodiesTests, BodyDataIsUnpaddedBase64Url) {
    EXPECT_EQ(GmailBodies::decodedData(rawPart("text/plain", "SGk")), "Hi");
    EXPECT_EQ(GmailBodies::decodedData(rawPart("text/plain", "SGk=")), "Hi");
    EXPECT_EQ(GmailBodies::decodedData(rawPart("text/plain", "SG*k")), std::nullopt);
    EXPECT_EQ(GmailBodies::decodedData(rawPart("text/plain", "SGk.")), std::nullopt);
    EXPECT_EQ(GmailBodies::decodedData(rawPart("text/plain", "SGkhI")), std::nullopt);  // one character too many
    // "-" and "_" stand for "+" and "/": the bytes FB FF decode to "\u00FB\u00FF" in Latin-1.
    EXPECT_EQ(GmailBodies::decodedData(rawPart("text/plain", "-_8", "text/plain; charset=ISO-8859-1")),
              "\u00FB\u00FF");
    EXPECT_EQ(GmailBodies::decodedData(payload(parseJson(R"({"headers":[],"body":{"size":0}})"))), std::nullopt);
}

TEST(GmailBodiesTests, PartsInOtherCharacterSetsAreConverted) {
    const auto text = [](const std::string& bytes, const std::string& contentType) {
        return GmailBodies::decodedData(payload(Fixtures::part("text/plain", bytes, contentType)));
    };
    EXPECT_EQ(text("caf\xE9 cr\xE8me", "text/plain; charset=\"ISO-8859-1\""), "caf\u00E9 cr\u00E8me");
    EXPECT_EQ(text("\x93quoted\x94 \x80" "5", "text/plain; format=flowed; CHARSET=windows-1252"),
              "\u201Cquoted\u201D \u20AC5");
    EXPECT_EQ(text("\xA4", "text/plain; charset=iso-8859-15"), "\u20AC");
    EXPECT_EQ(text(std::string("H\0i\0", 4), "text/plain; charset=utf-16le"), "Hi");
    // UTF-8 behaves as before: valid bytes are taken whatever the label, invalid ones skip the part.
    EXPECT_EQ(text("caf\xC3\xA9", "text/plain; charset=iso-8859-1"), "caf\u00E9");
    EXPECT_EQ(text("caf\xE9", "text/plain; charset=utf-8"), std::nullopt);
    EXPECT_EQ(text("caf\xE9", "text/plain"), std::nullopt);
    EXPECT_EQ(text("caf\xE9", ""), std::nullopt);
    EXPECT_EQ(text("caf\xE9", "text/plain; charset=x-no-such-set"), std::nullopt);
    EXPECT_EQ(text("\x81\x20", "text/plain; charset=shift_jis"), std::nullopt);  // not valid there either

    EXPECT_EQ(MailCharset::charsetParameter("text/html;charset=us-ascii"), "us-ascii");
    EXPECT_EQ(MailCharset::charsetParameter("text/html; name=\"a;b\"; charset = \"Big5\" "), "Big5");
    EXPECT_EQ(MailCharset::charsetParameter("text/html; charset="), std::nullopt);
    EXPECT_EQ(MailCharset::charsetParameter("text/html"), std::nullopt);
}

TEST(GmailBodiesTests, PlainTextForClassificationAndHtmlForDisplay) {
    const auto alternative = payload(Fixtures::multipart(
        "multipart/alternative",
        {Fixtures::part("text/plain", "Plain words"), Fixtures::part("text/html", "<p>Rich</p><p>words</p>")}));
    EXPECT_EQ(GmailBodies::classificationBody(alternative), (GmailBodyContent{"Plain words", false}));
    EXPECT_EQ(GmailBodies::preferredBody(alternative), (GmailBodyContent{"<p>Rich</p><p>words</p>", true}));

    const auto nested = payload(Fixtures::multipart(
        "multipart/mixed",
        {Fixtures::part("image/png", "\x89PNG"),
         Fixtures::multipart("multipart/related", {Fixtures::multipart("multipart/alternative",
                                                                       {Fixtures::part("TEXT/PLAIN", "deep")})})}));
    EXPECT_EQ(GmailBodies::bodyText(nested, "text/plain"), "deep");
    EXPECT_EQ(GmailBodies::preferredBody(nested), (GmailBodyContent{"deep", false}));

    // A part whose data does not decode is passed over for the next one.
    const auto skipping = payload(Fixtures::multipart(
        "multipart/mixed", {Fixtures::part("text/plain", "\xFF\xFE"), Fixtures::part("text/plain", "second")}));
    EXPECT_EQ(GmailBodies::bodyText(skipping, "text/plain"), "second");

    // Neither type anywhere: the payload's own data, HTML only when the payload says so.
    EXPECT_EQ(GmailBodies::classificationBody(payload(Fixtures::part("text/calendar", "BEGIN:VEVENT"))),
              (GmailBodyContent{"BEGIN:VEVENT", false}));
    EXPECT_EQ(GmailBodies::classificationBody(payload(Fixtures::multipart("multipart/mixed", {}))), std::nullopt);
}

TEST(GmailBodiesTests, DisplayTextFallsBackToTheClassificationTextAndTheSnippet) {
    const auto message = [](nlohmann::json payload, const std::string& snippet) {
        return GmailMessage::fromJson(Fixtures::message({.snippet = snippet, .payload = std::move(payload)}));
    };
    EXPECT_EQ(GmailBodies::displayBodyText(message(Fixtures::part("text/html", "<p>One</p><p>Two</p>"), "")),
              "One\n\nTwo");
    EXPECT_EQ(GmailBodies::displayBodyText(message(Fixtures::part("text/plain", " a \r\n\r\n\r\n b "), "")), "a\n\nb");
    // Rendering leaves nothing: the classification text of the same body, even when empty.
    EXPECT_EQ(GmailBodies::displayBodyText(message(Fixtures::part("text/html", "<img src=x>&nbsp;"), "snip")), "");
    EXPECT_EQ(GmailBodies::displayBodyText(message(Fixtures::multipart("multipart/mixed", {}), " a&amp;b &nbsp; c ")),
              "a&b c");
}

TEST(FromHeaderTests, NamesAndAddresses) {
    EXPECT_EQ(FromHeader::displayName("\"Ada Lovelace\" <Ada.Lovelace@Example.COM>"), "Ada Lovelace");
    EXPECT_EQ(FromHeader::emailAddress("\"Ada Lovelace\" <Ada.Lovelace@Example.COM>"), "ada.lovelace@example.com");
    // A bare address has nothing to remove, so it is its own display name.
    EXPECT_EQ(FromHeader::displayName("Bob@Example.com"), "Bob@Example.com");
    EXPECT_EQ(FromHeader::emailAddress("Bob@Example.com"), "bob@example.com");
    EXPECT_EQ(FromHeader::emailAddress("mail from x+tag@sub.example.org, not <>"), "x+tag@sub.example.org");
    EXPECT_EQ(FromHeader::emailAddress("<not an address>"), "not an address");
    EXPECT_EQ(FromHeader::emailAddress("Nobody"), "");
    EXPECT_EQ(FromHeader::displayName(" \"\" <a@b.c> "), "");
    EXPECT_EQ(FromHeader::displayName("'Quoted' <a@b.c>"), "'Quoted'");
    EXPECT_EQ(FromHeader::emailAddress("\u00C9MILE <\u00C9mile@Exemple.fr>"), "\u00E9mile@exemple.fr");
    // Hostile headers end promptly with no address.
    EXPECT_EQ(FromHeader::emailAddress(std::string(300'000, 'a')), "");
    EXPECT_EQ(FromHeader::emailAddress(std::string(300'000, '<')), "");
}

}  // namespace
}  // namespace nudgerly
