#include <functional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "chatdb/TypedStreamWriter.h"
#include "core/Text.h"
#include "platform/formats/TypedStreamReader.h"

namespace nudgerly {
namespace {

using namespace std::literals;
using test::TypedStreamWriter;

std::string fromHex(std::string_view hex) {
    std::string bytes;
    for (std::size_t index = 0; index + 1 < hex.size(); index += 2) {
        bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(index, 2)), nullptr, 16)));
    }
    return bytes;
}

// "Hello" with one attribute run, byte for byte as Messages stores a body: the header, the attributed
// string and its class chain, the string, then the run ("iI") with its attribute dictionary holding a
// message part number.
const std::string helloBody = fromHex(
    "040B73747265616D747970656481E803840140848484124E5341747472696275746564537472696E67008484084E534F"
    "626A656374008592848484084E53537472696E67019484012B0548656C6C6F86840269490105928484840C4E53446963"
    "74696F6E617279009484016901928496961D5F5F6B494D4D657373616765506172744174747269627574654E616D6586"
    "92848484084E534E756D626572008484074E5356616C7565009484012A84999900868686");

std::optional<std::string> rootText(const std::string& bytes) {
    return TypedStreamReader::rootText(bytes);
}

// Starts a stream whose root is an attributed string, for values written in front of its string.
TypedStreamWriter attributedStringWriter() {
    TypedStreamWriter writer;
    writer.encoding("@");
    writer.beginObject(test::attributedStringClasses());
    return writer;
}

void writeString(TypedStreamWriter& writer, std::string_view text) {
    writer.encoding("@");
    writer.beginObject(test::stringClasses());
    writer.encoding("+").unsharedString(text).endObject();
}

TEST(TypedStreamReaderTests, ReadsABodyAsMessagesStoresIt) {
    EXPECT_EQ(rootText(helloBody), "Hello");
    // The test writer lays out bodies the same way, so what it builds stands for real bodies.
    EXPECT_EQ(test::archivedAttributedString({.text = "Hello"}), helloBody);
}

TEST(TypedStreamReaderTests, DecodesTextsOfEveryLengthExactly) {
    const std::string emoji =
        "Caf\u00E9 \U0001F469\u200D\U0001F469\u200D\U0001F467 na\u0303o \u4F60\u597D \U0001F44D\U0001F3FD";
    std::vector<std::string> texts = {"", "a", std::string(127, 'x'), std::string(128, 'y'), emoji};
    texts.push_back(std::string(65'535, 'z'));  // the longest two-byte length
    texts.push_back(std::string(65'536, 'w'));  // four bytes from here
    std::string longText;
    while (longText.size() < 200'000) {
        longText += emoji + "\n";
    }
    texts.push_back(longText);

    for (const std::string& text : texts) {
        SCOPED_TRACE(text.size());
        EXPECT_EQ(rootText(test::archivedAttributedString({.text = text})), text);
        EXPECT_EQ(
            rootText(test::archivedAttributedString({.text = text, .mutableClasses = true, .runLengths = {3, 4, 5}})),
            text);
        EXPECT_EQ(rootText(test::archivedAttributedString({.text = text, .runLengths = {}})), text);
        EXPECT_EQ(rootText(test::archivedString(text)), text);
        EXPECT_EQ(rootText(test::archivedString(text, true)), text);
    }
}

TEST(TypedStreamReaderTests, WalksPastEveryKindOfValueInFrontOfTheString) {
    TypedStreamWriter writer = attributedStringWriter();
    writer.encoding("ci").integer(-5).integer(-110);
    writer.encoding("sSlL").integer(-300).unsignedInteger(65'000).integer(-70'000).unsignedInteger(4'000'000'000);
    writer.encoding("qQ").integer(127).unsignedInteger(128);
    writer.encoding("fd").floatValue(1.5f).doubleValue(-2.25);
    writer.encoding("f").floatValue(3);
    writer.encoding("**").cString("utf8").cString("utf8");  // the second is a reference
    writer.encoding("*").nil();
    writer.encoding("[4c]").raw("\x86\x85\x84\x92");  // bytes are raw here, not tags
    writer.encoding("[3i]").integer(1).integer(1000).integer(100'000);
    writer.encoding("{_NSRange=QQ}").unsignedInteger(0).unsignedInteger(5);
    writer.encoding("{?=[2{?=ii}]@}").integer(1).integer(2).integer(3).integer(4).nil();
    writer.encoding("[4000000000{?}]");  // elements without content take no bytes
    writer.encoding("#").classChain({"NSFont", "NSObject"});
    writer.encoding("#").classChain({"NSFont"});  // a reference to the class above
    writer.encoding("%:").sharedString("an atom").sharedString("aSelector:");
    writer.encoding("+").unsharedString("loose bytes");
    writer.encoding("@");
    const std::size_t dictionary = writer.beginObject({"NSDictionary", "NSObject"});
    writer.encoding("i").integer(0);
    writeString(writer, "a string inside another object");
    writer.endObject();
    writer.encoding("@").reference(dictionary);
    writer.encoding("@").nil();
    writeString(writer, "The words");

    EXPECT_EQ(rootText(writer.bytes()), "The words");
}

TEST(TypedStreamReaderTests, StopsAtTheString) {
    // Attribute runs after the characters are never read, so damage there does not matter.
    TypedStreamWriter attributed = attributedStringWriter();
    writeString(attributed, "kept");
    attributed.raw("\x84\x02\x69\x49\x01\xFF\xFF garbage");
    EXPECT_EQ(rootText(attributed.bytes()), "kept");

    TypedStreamWriter plain;
    plain.encoding("@");
    plain.beginObject(test::stringClasses(true));
    plain.encoding("+").unsharedString("plain");
    plain.raw("\x91");  // a tag that means nothing
    EXPECT_EQ(rootText(plain.bytes()), "plain");

    // Text that is not UTF-8 comes out as valid UTF-8.
    EXPECT_EQ(rootText(test::archivedString("caf\xE9 \xC3(")), "caf\uFFFD \uFFFD(");
}

TEST(TypedStreamReaderTests, ReadsOnlyAWindowInFrontOfTheCharacters) {
    // However long the characters, they are taken as they stand; the values before them are bounded.
    const std::string longText(3 * TypedStreamReader::longestPreamble, 'x');
    EXPECT_EQ(TypedStreamReader::rootCharacters(test::archivedAttributedString({.text = longText})), longText);
    const auto withValuesInFront = [](std::size_t count) {
        TypedStreamWriter writer = attributedStringWriter();
        writer.encoding("[" + std::to_string(count) + "c]").raw(std::string(count, 'c'));
        writeString(writer, "The words");
        return writer.bytes();
    };
    EXPECT_EQ(rootText(withValuesInFront(TypedStreamReader::longestPreamble - 200)), "The words");
    EXPECT_EQ(rootText(withValuesInFront(TypedStreamReader::longestPreamble)), std::nullopt);
}

TEST(TypedStreamReaderTests, GivesNothingForOtherRootsAndOtherStreams) {
    TypedStreamWriter number;
    number.encoding("@");
    number.beginObject({"NSNumber", "NSValue", "NSObject"});
    number.encoding("*").cString("i");
    number.encoding("i").integer(7).endObject();

    TypedStreamWriter dictionary;  // holds a string, but is not one
    dictionary.encoding("@");
    dictionary.beginObject({"NSDictionary", "NSObject"});
    dictionary.encoding("i").integer(1);
    writeString(dictionary, "key");
    writeString(dictionary, "value");
    dictionary.endObject();

    TypedStreamWriter nilRoot;
    nilRoot.encoding("@").nil();

    TypedStreamWriter integerRoot;
    integerRoot.encoding("i").integer(5);

    TypedStreamWriter withoutString = attributedStringWriter();
    withoutString.encoding("iI").integer(1).unsignedInteger(5).endObject();

    const std::string hello = test::archivedString("hello");
    std::string bigEndian = hello;
    bigEndian.replace(2, 11, "typedstream");
    std::string olderVersion = hello;
    olderVersion[0] = '\x03';

    for (const std::string& bytes :
         {number.bytes(), dictionary.bytes(), nilRoot.bytes(), integerRoot.bytes(), withoutString.bytes(), bigEndian,
          olderVersion, std::string(), std::string("streamtyped")}) {
        EXPECT_EQ(rootText(bytes), std::nullopt) << testing::PrintToString(bytes);
    }
}

TEST(TypedStreamReaderTests, RefusesReferencesThatNameNothingOrTheWrongKind) {
    // Each case writes a value in front of the string, once sound and once broken. Entries so far:
    // 0 the root, 1 its class, 2 NSObject.
    struct Case {
        const char* what;
        std::function<void(TypedStreamWriter&)> sound;
        std::function<void(TypedStreamWriter&)> broken;
    };
    const std::vector<Case> cases = {
        {"a class that is its own superclass",
         [](TypedStreamWriter& w) {
             w.encoding("@").raw(
                 "\x84\x84\x84\x03"
                 "Foo"
                 "\x00\x94\x86"sv);
         },
         [](TypedStreamWriter& w) {
             w.encoding("@").raw(
                 "\x84\x84\x84\x03"
                 "Foo"
                 "\x00\x96\x86"sv);
         }},
        {"an object whose class is the object itself",
         [](TypedStreamWriter& w) { w.encoding("@").raw("\x84\x94\x86"); },
         [](TypedStreamWriter& w) { w.encoding("@").raw("\x84\x95\x86"); }},
        {"an encoding that refers to a shared string not yet written", [](TypedStreamWriter& w) { w.raw("\x92\x85"); },
         [](TypedStreamWriter& w) { w.raw("\xBA\x85"); }},
        {"an object value beyond the entries", [](TypedStreamWriter& w) { w.encoding("@").reference(0); },
         [](TypedStreamWriter& w) { w.encoding("@").reference(40); }},
        {"an object value that names a class", [](TypedStreamWriter& w) { w.encoding("@").reference(0); },
         [](TypedStreamWriter& w) { w.encoding("@").reference(1); }},
        {"a class value that names an object", [](TypedStreamWriter& w) { w.encoding("#").reference(1); },
         [](TypedStreamWriter& w) { w.encoding("#").reference(0); }},
        {"a C string value that names a class",
         [](TypedStreamWriter& w) { w.encoding("*").cString("x").encoding("*").reference(3); },
         [](TypedStreamWriter& w) { w.encoding("*").cString("x").encoding("*").reference(1); }},
        {"a negative length",
         [](TypedStreamWriter& w) {
             w.encoding("+").raw(
                 "\x03"
                 "abc");
         },
         [](TypedStreamWriter& w) {
             w.encoding("+").raw(
                 "\xF0"
                 "abc");
         }},
        {"a type the stream cannot hold", [](TypedStreamWriter& w) { w.encoding("i").integer(1); },
         [](TypedStreamWriter& w) { w.encoding("^i").integer(1); }},
        {"a struct that never closes", [](TypedStreamWriter& w) { w.encoding("{?=ii}").integer(1).integer(2); },
         [](TypedStreamWriter& w) { w.encoding("{?=ii").integer(1).integer(2); }},
        {"an array without a count", [](TypedStreamWriter& w) { w.encoding("[1i]").integer(1); },
         [](TypedStreamWriter& w) { w.encoding("[i]").integer(1); }},
    };
    for (const Case& item : cases) {
        for (const bool broken : {false, true}) {
            TypedStreamWriter writer = attributedStringWriter();
            (broken ? item.broken : item.sound)(writer);
            writeString(writer, "text");
            writer.endObject();
            EXPECT_EQ(rootText(writer.bytes()), broken ? std::nullopt : std::optional<std::string>("text"))
                << item.what << (broken ? " (broken)" : " (sound)");
        }
    }
}

TEST(TypedStreamReaderTests, LimitsNestingAndCounts) {
    TypedStreamWriter nested = attributedStringWriter();
    for (int depth = 0; depth < 100'000; ++depth) {
        nested.encoding("@");
        nested.beginObject({"NSArray", "NSObject"});
    }
    EXPECT_EQ(rootText(nested.bytes()), std::nullopt);

    std::string deepStruct;
    for (int depth = 0; depth < 100'000; ++depth) {
        deepStruct += "{a=";
    }
    EXPECT_EQ(rootText(attributedStringWriter().encoding(deepStruct).bytes()), std::nullopt);

    for (const char* encoding : {"[4294967295i]", "[99999999999999999999999i]", "[1000[1000[1000i]]]"}) {
        TypedStreamWriter writer = attributedStringWriter();
        writer.encoding(encoding).integer(1).integer(2);
        writeString(writer, "never reached");
        EXPECT_EQ(rootText(writer.bytes()), std::nullopt) << encoding;
    }
}

TEST(TypedStreamReaderTests, DamagedBodiesGiveValidTextOrNothing) {
    TypedStreamWriter mixed = attributedStringWriter();
    mixed.encoding("{?=if*}").integer(1).floatValue(0.5f).cString("x");
    mixed.encoding("[2d]").doubleValue(1.25).doubleValue(7);
    writeString(mixed, "mixed \U0001F600 values");
    mixed.encoding("iI").integer(1).unsignedInteger(10).endObject();

    const std::vector<std::string> bodies = {
        helloBody,
        test::archivedAttributedString({.text = "Long enough \u00E9\U0001F44B " + std::string(200, 'q'),
                                        .mutableClasses = true,
                                        .runLengths = {4, 5, 6}}),
        test::archivedString("plain \u2603"),
        mixed.bytes(),
    };

    const auto check = [](const std::string& bytes) {
        const auto text = TypedStreamReader::rootText(bytes);
        ASSERT_TRUE(!text || text::isValidUtf8(*text)) << testing::PrintToString(bytes);
    };
    for (const std::string& body : bodies) {
        for (std::size_t length = 0; length <= body.size(); ++length) {
            check(body.substr(0, length));
        }
    }

    std::mt19937 random(20'240'611);
    for (int round = 0; round < 10'000; ++round) {
        std::string bytes = bodies[static_cast<std::size_t>(round) % bodies.size()];
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int edit = 0; edit < edits; ++edit) {
            const std::size_t at = random() % bytes.size();
            switch (random() % 3) {
                case 0: bytes[at] = static_cast<char>(random()); break;
                case 1: bytes.insert(at, 1, static_cast<char>(random())); break;
                default: bytes.erase(at, 1); break;
            }
        }
        check(bytes);
    }
}

}  // namespace
}  // namespace nudgerly
