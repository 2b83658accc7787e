#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "platform/formats/PropertyList.h"
#include "platform/net/DownloadResumeData.h"
#include "support/BinaryPropertyList.h"

namespace nudgerly {
namespace {

using namespace std::string_literals;
using test::BinaryPropertyList;

// A list of `depth` arrays, each holding the next; the innermost is empty.
std::string nestedArrays(std::size_t depth) {
    BinaryPropertyList list;
    for (std::size_t level = 1; level < depth; ++level) {
        list.array({level});
    }
    list.array({});
    return list.bytes(0);
}

std::string xmlList(std::string_view body) {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">)" +
           std::string(body) + "</plist>\n";
}

std::string nestedXmlArrays(std::size_t depth) {
    std::string body;
    for (std::size_t i = 0; i < depth; ++i) {
        body += "<array>";
    }
    for (std::size_t i = 0; i < depth; ++i) {
        body += "</array>";
    }
    return xmlList(body);
}

TEST(PropertyListLimitsTests, TextHoldingNulReadsWholeAndNulKeysAreRefused) {
    BinaryPropertyList value;
    value.utf16(u"a\0b"s);
    const auto parsed = PropertyList::parse(value.bytes(0));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(PropertyList::stringValue(parsed.get()), "a\0b"s);
    BinaryPropertyList latin1;
    latin1.ascii("caf\xE9");
    EXPECT_EQ(PropertyList::stringValue(PropertyList::parse(latin1.bytes(0)).get()), "caf\uFFFD");

    for (const bool wide : {true, false}) {
        BinaryPropertyList keyed;
        const auto key = wide ? keyed.utf16(u"Temporary\0Name"s) : keyed.ascii("Temporary\0Name"s);
        keyed.dictionary({{key, keyed.ascii("CFNetworkDownload_ab12.tmp")}});
        EXPECT_FALSE(PropertyList::parse(keyed.bytes(keyed.count() - 1))) << wide;
    }
    BinaryPropertyList numberKey;
    numberKey.dictionary({{1, 1}});
    numberKey.integer(7);
    EXPECT_FALSE(PropertyList::parse(numberKey.bytes(0)));

    EXPECT_FALSE(PropertyList::parse(xmlList("<string>a\0b</string>"s)));
    EXPECT_FALSE(PropertyList::parse(xmlList("<dict><key>k\0y</key><string>v</string></dict>"s)));
    for (const char* reference : {"&#0;", "&#x0;", "&#000;", "&#X00;"}) {
        EXPECT_FALSE(PropertyList::parse(xmlList("<dict><key>k" + std::string(reference) + "y</key><true/></dict>")))
            << reference;
    }
    const auto xml = PropertyList::parse(xmlList("<dict><key>k&#65;&amp;</key><string>&#10;</string></dict>"));
    ASSERT_TRUE(xml);
    std::vector<std::string> keys;
    PropertyList::forEachEntry(xml.get(), [&](const std::string& key, plist_t) { keys.push_back(key); });
    EXPECT_EQ(keys, std::vector<std::string>{"kA&"});

    // Resume data whose key holds NUL decodes as none instead of ending the program.
    BinaryPropertyList resume;
    resume.dictionary({{1, 2}});
    resume.utf16(u"Original\0URL"s);
    resume.ascii("https://example.com/model.gguf");
    EXPECT_EQ(DownloadResumeData::decode(resume.bytes(0)), std::nullopt);
    // Nor does a validator that would end its request header early.
    const DownloadResumeData good{"https://example.com/m.gguf", "https://example.com/m.gguf",
                                  "CFNetworkDownload_ab12.tmp", "\"etag\""};
    EXPECT_EQ(DownloadResumeData::decode(good.encoded()), good);
    DownloadResumeData injected = good;
    injected.validator = "\"etag\"\r\nRange: bytes=0-";
    EXPECT_EQ(DownloadResumeData::decode(injected.encoded()), std::nullopt);
}

TEST(PropertyListLimitsTests, DeepExpandingCyclicOrBrokenListsAreRefusedBeforeParsing) {
    const PropertyListLimits limits;
    EXPECT_TRUE(PropertyList::parse(nestedArrays(limits.maxDepth)));
    EXPECT_FALSE(PropertyList::parse(nestedArrays(limits.maxDepth + 1)));
    EXPECT_FALSE(PropertyList::parse(nestedArrays(100'000)));
    EXPECT_TRUE(PropertyList::parse(nestedXmlArrays(limits.maxDepth)));
    EXPECT_FALSE(PropertyList::parse(nestedXmlArrays(limits.maxDepth + 1)));
    EXPECT_FALSE(PropertyList::parse(nestedXmlArrays(100'000)));
    // Comments and self-closed containers do not count as levels.
    EXPECT_TRUE(PropertyList::parse(xmlList("<array><!-- <array><array> --><array/><dict/></array>")));
    EXPECT_TRUE(fitsPropertyListLimits(xmlList("<array><array></array></array>"), {.maxDepth = 2}));
    EXPECT_FALSE(fitsPropertyListLimits(xmlList("<array><array ></array></array>"), {.maxDepth = 1}));

    // Each array holds the next one twice: 41 small objects that libplist would copy into 2^41 - 1 nodes.
    BinaryPropertyList doubling;
    for (std::size_t level = 1; level <= 40; ++level) {
        doubling.array({level, level});
    }
    doubling.integer(1);
    EXPECT_FALSE(PropertyList::parse(doubling.bytes(0)));
    EXPECT_TRUE(fitsPropertyListLimits(doubling.bytes(35), {.maxNodes = 63}));
    EXPECT_FALSE(fitsPropertyListLimits(doubling.bytes(35), {.maxNodes = 62}));

    BinaryPropertyList cycle;
    cycle.array({0});
    EXPECT_FALSE(PropertyList::parse(cycle.bytes(0)));

    BinaryPropertyList dangling;
    dangling.array({5});
    EXPECT_FALSE(PropertyList::parse(dangling.bytes(0)));
    std::string truncated = nestedArrays(3);
    EXPECT_FALSE(PropertyList::parse(truncated.substr(0, truncated.size() - 1)));
    truncated[truncated.size() - 9] = '\x7F';  // the offset table lies past the end
    EXPECT_FALSE(PropertyList::parse(truncated));

    EXPECT_TRUE(fitsPropertyListLimits(nestedArrays(3), {.maxBytes = nestedArrays(3).size()}));
    EXPECT_FALSE(fitsPropertyListLimits(nestedArrays(3), {.maxBytes = nestedArrays(3).size() - 1}));
}

}  // namespace
}  // namespace nudgerly
