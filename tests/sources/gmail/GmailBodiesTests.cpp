#include <string>

#include <gtest/gtest.h>

#include "core/JsonCoding.h"
#include "loopback/GmailFixtures.h"
#include "sources/gmail/GmailBodies.h"
#include "sources/gmail/GmailThreadConversion.h"
#include "sources/gmail/mime/FromHeader.h"
#include "sources/gmail/mime/MimeHeader.h"

namespace nudgerly {
namespace {

namespace Fixtures = test::GmailFixtures;

GmailPayload payload(const nlohmann::json& json) {
    return GmailPayload::fromJson(json);
}

// A part whose body data is given as written, not encoded.
nlohmann::json rawJsonPart(const std::string& mimeType, const std::string& data, const std::string& contentType = "") {
    nlohmann::json json = Fixtures::part(mimeType, "", contentType);
    json["body"]["data"] = data;
    return json;
}

GmailPayload rawPart(const std::string& mimeType, const std::string& data, const std::string& contentType = "") {
    return payload(rawJsonPart(mimeType, data, contentType));
}

TEST(GmailBodiesTests, BodyDataIsUnpaddedBase64Url) {
    EXPECT_EQ(GmailBodies::decodedData(rawPart("text/plain", "SGk")), "Hi");
    EXPECT_EQ(GmailBodies::decodedData(rawPart("text/plain", "SGk=")), "Hi");
    EXPECT_EQ(GmailBodies::decodedData(rawPart("text/plain", "SG*k")), std::nullopt);
    EXPECT_EQ(GmailBodies::decodedData(rawPart("text/plain", "SGk.")), std::nullopt);
    EXPECT_EQ(GmailBodies::decodedData(rawPart("text/plain", "SGkhI")), std::nullopt);  // one character too many
    // "-" and "_" stand for "+" and "/": the bytes FB FF decode to "\u00FB\u00FF" in Latin-1.
    EXPECT_EQ(GmailBodies::decodedData(rawPart("text/plain", "-_8", "text/plain; charset=ISO-8859-1")), "\u00FB\u00FF");
    EXPECT_EQ(GmailBodies::decodedData(payload(parseJson(R"({"headers":[],"body":{"size":0}})"))), std::nullopt);
}

TEST(GmailBodiesTests, DeclaredCharacterSetsAreReadFirstAndBadBytesBecomeReplacementCharacters) {
    struct Case {
        std::string contentType;
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        // Seven-bit bytes pass for UTF-8, so only the label tells them apart.
        {"text/plain; charset=ISO-2022-JP", "\x1b$B$9$_$^$;$s!#\x1b(B", "\u3059\u307F\u307E\u305B\u3093\u3002"},
        {"text/plain; charset=\"Shift_JIS\"", "\x97\x5c\x92\xe8\x82\xf0\x8a\x6d\x94\x46",
         "\u4E88\u5B9A\u3092\u78BA\u8A8D"},
        {"text/plain; charset=euc-kr", "\xbe\xc8\xb3\xe7\xc7\xcf\xbc\xbc\xbf\xe4", "\uC548\uB155\uD558\uC138\uC694"},
        {"text/html; charset=big5", "\xc1\xc2\xc1\xc2\xa7\x41", "\u8B1D\u8B1D\u4F60"},
        {"text/plain; charset=gb2312", "\xc4\xe3\xba\xc3\xca\xc0\xbd\xe7", "\u4F60\u597D\u4E16\u754C"},
        // Valid UTF-8 by accident ("\u043B\u043B"), and a GBK character that mailers send under this label.
        {"text/plain; charset=gb2312", "\xd0\xbb\xd0\xbb", "\u8C22\u8C22"},
        {"text/plain; charset=gb2312", "\xd6\xec\xe9\x46\xbb\xf9", "\u6731\u9555\u57FA"},
        {"text/plain; charset=EUC-KR", "\x8c\x63", "\uB620"},
        {"text/plain; charset=windows-1251", "\xcf\xf0\xe8\xe2\xe5\xf2, \xec\xe8\xf0",
         "\u041F\u0440\u0438\u0432\u0435\u0442, \u043C\u0438\u0440"},
        {"text/plain; charset=koi8-r", "\xf0\xd2\xc9\xd7\xc5\xd4, \xcd\xc9\xd2",
         "\u041F\u0440\u0438\u0432\u0435\u0442, \u043C\u0438\u0440"},
        // Latin-1 labels carry windows-1252 punctuation.
        {"text/plain; charset=\"ISO-8859-1\"",
         "\x93quoted\x94 \x80"
         "5 caf\xe9",
         "\u201Cquoted\u201D \u20AC"
         "5 caf\u00E9"},
        {"text/plain; format=flowed; CHARSET=windows-1252", "\x85\x96", "\u2026\u2013"},
        {"text/plain; charset=iso-8859-15", "\xA4", "\u20AC"},
        {"text/plain; charset=utf-16le", std::string("H\0i\0", 4), "Hi"},
        // Mislabelled UTF-8 still reads as UTF-8.
        {"text/plain; charset=iso-8859-1", "caf\xc3\xa9", "caf\u00E9"},
        {"text/plain; charset=iso-2022-jp", "caf\xc3\xa9", "caf\u00E9"},
        // A bad sequence costs itself, not the part.
        {"text/html; charset=utf-8", "Hello \xe2\x80 world", "Hello \uFFFD world"},
        {"text/plain", "caf\xe9", "caf\uFFFD"},
        {"text/plain; charset=us-ascii", "caf\xe9", "caf\uFFFD"},
        {"text/plain; charset=x-no-such-set", "caf\xe9", "caf\uFFFD"},
        {"text/plain; charset=shift_jis", "\x81\x20ok", "\uFFFD ok"},
        {"text/plain; charset=iso-2022-jp", "\x1b$B$9\x1b(B \xff", "\u3059 \uFFFD"},
    };
    for (const Case& each : cases) {
        EXPECT_EQ(GmailBodies::decodedData(payload(Fixtures::part("text/plain", each.bytes, each.contentType))),
                  each.text)
            << each.contentType;
    }

    EXPECT_EQ(MimeHeader::parameter("text/html;charset=us-ascii", "charset"), "us-ascii");
    EXPECT_EQ(MimeHeader::parameter("text/html; name=\"a;b\"; CHARSET = \"Big5\" ", "charset"), "Big5");
    EXPECT_EQ(MimeHeader::parameter("attachment; filename=\"a \\\"b\\\".txt\"", "filename"), "a \"b\".txt");
    EXPECT_EQ(MimeHeader::parameter("text/html; charset=", "charset"), std::nullopt);
    EXPECT_EQ(MimeHeader::parameter("text/html", "charset"), std::nullopt);
    EXPECT_EQ(MimeHeader::value(" Attachment ; filename=x"), "attachment");
}

TEST(GmailBodiesTests, PlainTextForClassificationAndHtmlForDisplay) {
    const auto alternative =
        payload(Fixtures::multipart("multipart/alternative", {Fixtures::part("text/plain", "Plain words"),
                                                              Fixtures::part("text/html", "<p>Rich</p><p>words</p>")}));
    EXPECT_EQ(GmailBodies::classificationBody(alternative), (GmailBodyContent{"Plain words", false}));
    EXPECT_EQ(GmailBodies::preferredBody(alternative), (GmailBodyContent{"<p>Rich</p><p>words</p>", true}));

    const auto nested = payload(Fixtures::multipart(
        "multipart/mixed",
        {Fixtures::part("image/png", "\x89PNG"),
         Fixtures::multipart("multipart/related",
                             {Fixtures::multipart("multipart/alternative", {Fixtures::part("TEXT/PLAIN", "deep")})})}));
    EXPECT_EQ(GmailBodies::classificationBody(nested), (GmailBodyContent{"deep", false}));
    EXPECT_EQ(GmailBodies::preferredBody(nested), (GmailBodyContent{"deep", false}));

    // A part whose data does not decode is passed over for the next one.
    const auto skipping = payload(Fixtures::multipart(
        "multipart/alternative", {rawJsonPart("text/plain", "SG*k"), Fixtures::part("text/plain", "second")}));
    EXPECT_EQ(GmailBodies::classificationBody(skipping), (GmailBodyContent{"second", false}));

    // Neither type anywhere: the payload's own data, HTML only when the payload says so.
    EXPECT_EQ(GmailBodies::classificationBody(payload(Fixtures::part("text/calendar", "BEGIN:VEVENT"))),
              (GmailBodyContent{"BEGIN:VEVENT", false}));
    EXPECT_EQ(GmailBodies::classificationBody(payload(Fixtures::multipart("multipart/mixed", {}))), std::nullopt);
}

nlohmann::json withHeader(nlohmann::json part, const std::string& name, const std::string& value) {
    part["headers"].push_back({{"name", name}, {"value", value}});
    return part;
}

TEST(GmailBodiesTests, MixedPartsJoinTheirInlineTextAndPlaceholdersGiveWayToHtml) {
    const auto alternative = [](const std::string& plain, const std::string& html) {
        return Fixtures::multipart("multipart/alternative",
                                   {Fixtures::part("text/plain", plain), Fixtures::part("text/html", html)});
    };
    struct Case {
        nlohmann::json payload;
        std::string text;
        std::string displayText;
    };
    const Case cases[] = {
        // A list footer after the body, in plain text beside an HTML body.
        {Fixtures::multipart("multipart/mixed", {alternative("Body text", "<p>Body <b>text</b></p>"),
                                                 Fixtures::part("text/plain", "-- \r\nList footer\r\n")}),
         "Body text -- List footer", "Body text\n\n--\nList footer"},
        // A body in two pieces around an image; attachments stay out.
        {Fixtures::multipart(
             "multipart/mixed",
             {Fixtures::part("text/plain", "Part one"),
              withHeader(Fixtures::part("image/png", "\x89PNG"), "Content-Disposition", "inline; filename=\"a.png\""),
              Fixtures::part("text/plain", "Part two"),
              withHeader(Fixtures::part("text/plain", "attached notes"), "Content-Disposition", "ATTACHMENT"),
              Fixtures::part("text/plain", "named file", "text/plain; name=\"log.txt\""),
              withHeader(Fixtures::part("text/html", "<p>inline file</p>"), "Content-Disposition",
                         "inline; filename*=UTF-8''r%C3%A9sum%C3%A9.html")}),
         "Part one Part two", "Part one\n\nPart two"},
        {Fixtures::multipart("multipart/mixed",
                             {Fixtures::part("text/html", "<p>First</p>"), Fixtures::part("text/html", "<div>Second")}),
         "First Second", "First\n\nSecond"},
        // Placeholders for readers without HTML.
        {alternative("This is an HTML email. Please use an HTML-capable email client to view it.",
                     "<p>Your invoice is ready</p>"),
         "Your invoice is ready", "Your invoice is ready"},
        {alternative("Having trouble? View this email in your browser: "
                     "https://news.example.com/v/8f2a1c9e7b3d4a5f6e7d8c9b0a1f2e3d"
                     "?utm_source=newsletter&utm_medium=email&utm_campaign=weekly-digest-2024",
                     "<p>Weekly digest</p>"),
         "Weekly digest", "Weekly digest"},
        {alternative("Your mail program does not support HTML.", "<p>Sale</p>"), "Sale", "Sale"},
        {alternative(" \r\n", "<p>Only in HTML</p>"), "Only in HTML", "Only in HTML"},
        // Short real mail keeps its plain text, and so does a placeholder whose HTML has no text.
        {alternative("Sure, the HTML looks fine to me.", "<p>Sure, the HTML looks fine!</p>"),
         "Sure, the HTML looks fine to me.", "Sure, the HTML looks fine!"},
        {alternative("Can you open the browser link I sent?", "<p>Can you open it?</p>"),
         "Can you open the browser link I sent?", "Can you open it?"},
        {alternative("This email requires an HTML-capable mail reader.", "<img src=cid:banner>"),
         "This email requires an HTML-capable mail reader.", "This email requires an HTML-capable mail reader."},
        {alternative(std::string(150, 'x') +
                         " Please view this message in a browser to see the pictures of the event we "
                         "held last week and everything else we wrote about it.",
                     "<p>Other</p>"),
         std::string(150, 'x') +
             " Please view this message in a browser to see the pictures of the event we held last week and "
             "everything else we wrote about it.",
         "Other"},
    };
    for (const Case& each : cases) {
        const auto message =
            GmailThreadConversion::message(GmailMessage::fromJson(Fixtures::message({.payload = each.payload})), "");
        ASSERT_TRUE(message) << each.text;
        EXPECT_EQ(message->text, each.text);
        EXPECT_EQ(message->displayText, each.displayText) << each.text;
    }
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
