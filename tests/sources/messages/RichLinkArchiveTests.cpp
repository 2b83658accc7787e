#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "chatdb/KeyedArchiveWriter.h"
#include "core/Files.h"
#include "sources/messages/MessagePayloads.h"

namespace nudgerly {
namespace {

using test::ArchivedRichLink;
using test::ArchivedUrl;
using test::KeyedArchiveWriter;

std::optional<MessageLinkPreview> preview(const std::string& payload) {
    return MessagePayloads::linkPreview(MessagePayloads::urlBalloonProvider, payload);
}

std::optional<MessageLinkPreview> preview(const ArchivedRichLink& link) {
    return preview(test::richLinkArchive(link));
}

// The preview's address, domain and title, or "none".
std::string summary(const std::optional<MessageLinkPreview>& preview) {
    if (!preview) {
        return "none";
    }
    return preview->url + " | " + preview->domain + " | " + preview->title.value_or("(no title)");
}

TEST(RichLinkArchiveTests, ReadsAPayloadWrittenByAnotherPropertyListWriter) {
    // Written once by data/make_rich_link_payload.py with Python's plistlib, not libplist: a RichLink
    // root, its LPLinkMetadata with both URLs as NSURL objects, a padded non-ASCII title, and image
    // substitutes and other metadata the reader has to step over.
    const std::string payload = readFile(NUDGERLY_MESSAGES_TEST_DATA "/rich-link-payload.bplist");
    EXPECT_EQ(preview(payload), (MessageLinkPreview{
                                    .title = "Tides \u2014 a long read \U0001F30A",
                                    .domain = "example.org",
                                    .url = "https://www.example.org/tides/2024?ref=share",
                                }));

    // Only the URL balloon, compared exactly, carries a preview.
    EXPECT_EQ(MessagePayloads::linkPreview("com.apple.messages.urlballoonprovider", payload), std::nullopt);
    EXPECT_EQ(MessagePayloads::linkPreview("", payload), std::nullopt);
    EXPECT_EQ(MessagePayloads::linkPreview(MessagePayloads::urlBalloonProvider, ""), std::nullopt);
}

TEST(RichLinkArchiveTests, TakesTheAddressFromTheUrlOrElseTheOriginalUrl) {
    const ArchivedUrl current{.relative = "https://news.example.com/today"};
    const ArchivedUrl original{.relative = "http://www.original.example/story"};
    EXPECT_EQ(summary(preview({.url = current, .originalURL = original, .title = "News"})),
              "https://news.example.com/today | news.example.com | News");
    EXPECT_EQ(summary(preview({.originalURL = original})),
              "http://www.original.example/story | original.example | (no title)");

    // Plain strings in place of URL objects.
    EXPECT_EQ(summary(preview({.url = ArchivedUrl{.relative = "https://plain.example/x", .plainString = true}})),
              "https://plain.example/x | plain.example | (no title)");

    // A relative URL is resolved against its base, as a browser resolves a link.
    EXPECT_EQ(summary(preview({.url = ArchivedUrl{.relative = "../b/c?q=1#top", .base = "https://example.com/a/x/y"}})),
              "https://example.com/a/b/c?q=1#top | example.com | (no title)");
    EXPECT_EQ(summary(preview({.url = ArchivedUrl{.relative = "//cdn.example.net/i", .base = "https://example.com/"}})),
              "https://cdn.example.net/i | cdn.example.net | (no title)");

    // A base that is itself relative to a base.
    KeyedArchiveWriter writer;
    const uint64_t root = writer.addInstance("RichLink");
    const uint64_t metadata = writer.addInstance("LPLinkMetadata");
    writer.setReference(root, "richLinkMetadata", metadata);
    const uint64_t outer = test::addUrl(writer, "https://example.com/one/two");
    const uint64_t inner = test::addUrl(writer, "three/", outer);
    writer.setReference(metadata, "URL", test::addUrl(writer, "four", inner));
    EXPECT_EQ(summary(preview(writer.archive(root))), "https://example.com/one/three/four | example.com | (no title)");
}

TEST(RichLinkArchiveTests, TrimsTheTitleAndOnlyALeadingWwwDotLeavesTheDomain) {
    const auto link = [](std::string address, std::optional<std::string> title = std::nullopt) {
        return preview({.url = ArchivedUrl{.relative = std::move(address)}, .title = std::move(title)});
    };
    EXPECT_EQ(link("https://www.example.com/", " \n\tPadded\u00A0title \n")->title, "Padded\u00A0title");
    EXPECT_EQ(link("https://www.example.com/", " \n\t ")->title, std::nullopt);
    EXPECT_EQ(link("https://www.example.com/", "")->title, std::nullopt);

    EXPECT_EQ(link("https://www.example.com/")->domain, "example.com");
    EXPECT_EQ(link("https://wwwexample.com/")->domain, "wwwexample.com");
    EXPECT_EQ(link("https://shop.www.example.com/")->domain, "shop.www.example.com");
    EXPECT_EQ(link("https://WWW.example.com/")->domain, "WWW.example.com");
    EXPECT_EQ(link("https://www.example.com:8443/x")->url, "https://www.example.com:8443/x");
}

TEST(RichLinkArchiveTests, ATitleWithANulInsideIsReadWithoutAborting) {
    // A non-ASCII string is stored as UTF-16, where libplist keeps a NUL inside (its copying getter
    // then aborts the program). libplist cannot write such a string, so the bytes are patched.
    std::string archive =
        test::richLinkArchive({.url = ArchivedUrl{.relative = "https://example.com/"}, .title = "T\u00EF#le"});
    const std::string marked("\x00\xEF\x00#", 4);
    const auto at = archive.find(marked);
    ASSERT_NE(at, std::string::npos);
    archive[at + 3] = '\0';

    const auto titled = preview(archive);
    ASSERT_TRUE(titled.has_value());
    EXPECT_EQ(titled->title, std::string("T\u00EF\0le", 6));
}

TEST(RichLinkArchiveTests, GivesNoPreviewWithoutAWebAddress) {
    for (const char* address :
         {"mailto:someone@example.com", "tel:+15551234", "file:///etc/passwd", "ftp://files.example.com/a",
          "javascript://example.com/%0Aalert(1)", "https:///nohost", "not a url", ""}) {
        EXPECT_EQ(preview({.url = ArchivedUrl{.relative = address}, .title = "T"}), std::nullopt) << address;
    }
    // A URL that is present but unusable does not fall back on the original URL.
    EXPECT_EQ(preview({.url = ArchivedUrl{.relative = "mailto:a@example.com"},
                       .originalURL = ArchivedUrl{.relative = "https://example.com/"}}),
              std::nullopt);
    EXPECT_EQ(preview(ArchivedRichLink{.title = "No address at all"}), std::nullopt);
}

TEST(RichLinkArchiveTests, GivesNoPreviewForOtherClasses) {
    const ArchivedUrl url{.relative = "https://example.com/"};
    EXPECT_EQ(preview({.url = url, .rootClass = "LPLinkMetadata"}), std::nullopt);
    EXPECT_EQ(preview({.url = url, .rootClass = "RichLinkImageAttachmentSubstitute"}), std::nullopt);
    EXPECT_EQ(preview({.url = url, .metadataClass = "NSDictionary"}), std::nullopt);
    EXPECT_NE(preview({.url = url}), std::nullopt);

    // The URL field holding an object that is neither a URL nor a string.
    KeyedArchiveWriter writer;
    const uint64_t root = writer.addInstance("RichLink");
    const uint64_t metadata = writer.addInstance("LPLinkMetadata");
    writer.setReference(root, "richLinkMetadata", metadata);
    writer.setReference(metadata, "URL", writer.addInstance("NSDictionary"));
    EXPECT_EQ(preview(writer.archive(root)), std::nullopt);

    for (const std::string& payload :
         {std::string("not a property list"), std::string("bplist00"), std::string(64, '\0')}) {
        EXPECT_EQ(preview(payload), std::nullopt);
    }
}

TEST(RichLinkArchiveTests, LoopsAndReferencesOutOfRangeGiveNoPreview) {
    // Each case starts from a sound archive and breaks one reference.
    struct Built {
        KeyedArchiveWriter writer;
        uint64_t root = 0;
        uint64_t metadata = 0;
        uint64_t url = 0;
    };
    const auto sound = [] {
        Built built;
        built.root = built.writer.addInstance("RichLink");
        built.metadata = built.writer.addInstance("LPLinkMetadata");
        built.writer.setReference(built.root, "richLinkMetadata", built.metadata);
        built.url = test::addUrl(built.writer, "page", test::addUrl(built.writer, "https://example.com/"));
        built.writer.setReference(built.metadata, "URL", built.url);
        built.writer.setReference(built.metadata, "title", built.writer.addString("Title"));
        return built;
    };
    {
        Built built = sound();
        EXPECT_EQ(summary(preview(built.writer.archive(built.root))), "https://example.com/page | example.com | Title");
    }

    std::vector<std::pair<const char*, std::function<void(Built&)>>> breaks = {
        {"a URL whose base is itself", [](Built& b) { b.writer.setReference(b.url, "NS.base", b.url); }},
        {"two URLs that are each other's base",
         [](Built& b) {
             const uint64_t other = test::addUrl(b.writer, "x", b.url);
             b.writer.setReference(b.url, "NS.base", other);
         }},
        {"a base beyond the objects", [](Built& b) { b.writer.setReference(b.url, "NS.base", 999); }},
        {"a relative part beyond the objects", [](Built& b) { b.writer.setReference(b.url, "NS.relative", 1u << 31); }},
        {"a URL beyond the objects", [](Built& b) { b.writer.setReference(b.metadata, "URL", 4'000'000'000ULL); }},
        {"a title beyond the objects", [](Built& b) { b.writer.setReference(b.metadata, "title", 77); }},
        {"metadata beyond the objects", [](Built& b) { b.writer.setReference(b.root, "richLinkMetadata", 12345); }},
        {"metadata that is the root itself",
         [](Built& b) { b.writer.setReference(b.root, "richLinkMetadata", b.root); }},
        {"a class reference beyond the objects", [](Built& b) { b.writer.setReference(b.metadata, "$class", 500); }},
        {"a class reference to the object itself", [](Built& b) { b.writer.setReference(b.root, "$class", b.root); }},
    };
    for (auto& [what, breakIt] : breaks) {
        Built built = sound();
        breakIt(built);
        EXPECT_EQ(preview(built.writer.archive(built.root)), std::nullopt) << what;
    }
    Built built = sound();
    EXPECT_EQ(preview(built.writer.archive(400)), std::nullopt) << "a root beyond the objects";
}

}  // namespace
}  // namespace nudgerly
