#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "platform/DownloadResumeData.h"
#include "platform/PropertyList.h"
#include "support/BinaryPropertyList.h"

namespace nudgerly {
namespace {

using namespace std::string_literals;
using test::BinaryPropertyList;

std::string xmlList(std::string_view body) {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">)" + std::string(body) + "</plist>\n";
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

}  // namespace
}  // namespace nudgerly
