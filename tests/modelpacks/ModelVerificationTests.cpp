#include <filesystem>
#include <set>
#include <stop_token>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/CancelledError.h"
#include "core/Files.h"
#include "core/Sha256.h"
#include "files/TempDir.h"
#include "modelpacks/ModelDownloadError.h"
#include "modelpacks/ModelVerification.h"
#include "modelpacks/ModelVerificationReceipt.h"
#include "platform/formats/PropertyList.h"
#include "support/BinaryPropertyList.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;
using namespace ModelVerification;

// A made-up pack for exactly these bytes.
ModelPack packFor(const std::string& contents) {
    ModelPack pack = ModelPack::nudgerlyDefault();
    pack.identifier = "test-pack";
    pack.filename = "model.gguf";
    pack.byteCount = static_cast<int64_t>(contents.size());
    pack.sha256 = Sha256::hexDigest(contents);
    return pack;
}

// Bytes that differ from chunk to chunk, a little more than one hashing piece.
std::string sampleContents() {
    std::string contents(chunkSize + 3, '\0');
    for (std::size_t i = 0; i < contents.size(); ++i) {
        contents[i] = static_cast<char>((i * 131) >> 7);
    }
    return contents;
}

void setModificationTime(const fs::path& path, time_t seconds, long nanoseconds) {
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

template <typename Call>
std::string failureOf(Call call) {
    try {
        call();
    } catch (const std::exception& error) {
        return message(error);
    }
    return "no error";
}

TEST(VerifyFileTests, ChecksTheSizeFirstAndThenTheDigest) {
    test::TempDir dir;
    SystemFileManager files;
    const std::string contents = sampleContents();
    const fs::path file = dir / "model.gguf";
    test::writeTestFile(file, contents);
    ModelPack pack = packFor(contents);

    EXPECT_NO_THROW(verifyFile(file, pack, files));
    pack.sha256 = Sha256::hexDigest(contents);
    for (char& c : pack.sha256) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    EXPECT_NO_THROW(verifyFile(file, pack, files));

    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(verifyFile(file, pack, files, stop.get_token()), CancelledError);

    // One byte short: the sizes are named, and no hashing starts (a stop request would have ended it).
    test::writeTestFile(file, contents.substr(1));
    EXPECT_EQ(failureOf([&] { verifyFile(file, pack, files, stop.get_token()); }),
              "The model download was incomplete (expected 4194307 bytes, received 4194306).");

    std::string flipped = contents;
    flipped[chunkSize + 1] ^= 0x01;
    test::writeTestFile(file, flipped);
    EXPECT_EQ(failureOf([&] { verifyFile(file, pack, files); }),
              "The downloaded model failed its security verification.");

    EXPECT_EQ(failureOf([&] { verifyFile(dir / "absent.gguf", pack, files); }),
              "The downloaded model file could not be read.");
}

TEST(ReceiptTests, RecordsTheInstallAndNoticesEveryChange) {
    test::TempDir dir;
    SystemFileManager files;
    const fs::path model = dir / "model.gguf";
    const fs::path receipt = dir / std::string(receiptFileName);
    test::writeTestFile(model, "weights");
    ModelPack pack = packFor("weights");
    pack.sha256[0] = 'D';  // recorded lower-cased, compared ignoring case
    // Nanoseconds below the microsecond: a receipt compared to the full time would never match.
    setModificationTime(model, 1'760'000'000, 123'456'789);

    recordVerifiedFile(model, receipt, pack, files);
    const std::string bytes = readFile(receipt);
    EXPECT_TRUE(bytes.starts_with("bplist00"));
    const auto decoded = ModelVerificationReceipt::fromPropertyList(bytes);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->sha256[0], 'd');
    EXPECT_EQ(decoded->byteCount, 7);
    EXPECT_TRUE(hasVerifiedInstall(model, receipt, pack, files));

    ModelPack other = pack;
    other.identifier = "other-pack";
    EXPECT_FALSE(hasVerifiedInstall(model, receipt, other, files));
    other = pack;
    other.filename = "other.gguf";
    EXPECT_FALSE(hasVerifiedInstall(model, receipt, other, files));
    EXPECT_FALSE(hasVerifiedInstall(model, receipt, ModelPack::nudgerlyLarge(), files));

    // A touch a microsecond later invalidates the receipt; the original time makes it good again.
    setModificationTime(model, 1'760'000'000, 123'457'789);
    EXPECT_FALSE(hasVerifiedInstall(model, receipt, pack, files));
    setModificationTime(model, 1'760'000'000, 123'456'000);
    EXPECT_TRUE(hasVerifiedInstall(model, receipt, pack, files));
    setModificationTime(model, 1'760'000'001, 123'456'000);
    EXPECT_FALSE(hasVerifiedInstall(model, receipt, pack, files));

    test::writeTestFile(receipt, "not a property list");
    EXPECT_FALSE(hasVerifiedInstall(model, receipt, pack, files));
    EXPECT_FALSE(hasVerifiedInstall(dir / "absent.gguf", receipt, pack, files));

    pack.byteCount = 8;
    EXPECT_EQ(failureOf([&] { recordVerifiedFile(model, receipt, pack, files); }),
              "The verified model file could not be recorded.");
}

TEST(TemporaryDownloadNamesTests, CollectsOnlyBareTemporaryNamesFromAnyDepth) {
    const PropertyList::Node root(plist_new_dict());
    plist_dict_set_item(root.get(), "NSURLSessionResumeInfoTempFileName",
                        plist_new_string("CFNetworkDownload_ab12.tmp"));
    plist_dict_set_item(root.get(), "CFNetworkDownload_Key9.tmp", plist_new_uint(1));
    plist_t list = plist_new_array();
    plist_array_append_item(list, plist_new_string("/tmp/CFNetworkDownload_path1.tmp"));
    plist_array_append_item(list, plist_new_string("CFNetworkDownload_line2.tmp\n"));
    plist_array_append_item(list, plist_new_string("CFNetworkDownload_.tmp"));
    plist_array_append_item(list, plist_new_string("CFNetworkDownload_ab-12.tmp"));
    plist_t nested = plist_new_dict();
    plist_dict_set_item(nested, "name", plist_new_string("CFNetworkDownload_deep7.tmp"));
    plist_array_append_item(list, nested);
    plist_dict_set_item(root.get(), "list", list);
    const PropertyList::Node parsed = PropertyList::parse(PropertyList::toBinary(root.get()));

    std::set<std::string> names;
    collectTemporaryDownloadFileNames(parsed.get(), names);
    EXPECT_EQ(names, (std::set<std::string>{"CFNetworkDownload_ab12.tmp", "CFNetworkDownload_Key9.tmp",
                                            "CFNetworkDownload_deep7.tmp"}));
}

TEST(TemporaryDownloadNamesTests, SearchesAnyDepthWithoutRecursion) {
    // Deeper than any stack would bear one call per level; libplist itself frees it without trouble.
    const PropertyList::Node root(plist_new_dict());
    plist_t level = root.get();
    for (int depth = 0; depth < 100'000; ++depth) {
        plist_t inner = depth % 2 == 0 ? plist_new_array() : plist_new_dict();
        if (plist_get_node_type(level) == PLIST_DICT) {
            plist_dict_set_item(level, "next", inner);
        } else {
            plist_array_append_item(level, inner);
        }
        level = inner;
    }
    plist_dict_set_item(level, "CFNetworkDownload_bottom1.tmp", plist_new_string("CFNetworkDownload_bottom2.tmp"));

    std::set<std::string> names;
    collectTemporaryDownloadFileNames(root.get(), names);
    EXPECT_EQ(names, (std::set<std::string>{"CFNetworkDownload_bottom1.tmp", "CFNetworkDownload_bottom2.tmp"}));
}

TEST(ReceiptTests, ADamagedOrOversizedReceiptIsNoInstall) {
    test::TempDir dir;
    SystemFileManager files;
    const fs::path model = dir / "model.gguf";
    const fs::path receipt = dir / std::string(receiptFileName);
    test::writeTestFile(model, "weights");
    const ModelPack pack = packFor("weights");
    recordVerifiedFile(model, receipt, pack, files);
    ASSERT_TRUE(hasVerifiedInstall(model, receipt, pack, files));

    // The receipt written object by object, so that its identifier can be UTF-16 text holding NUL:
    // libplist's own string reader would end the program on it, at every launch.
    setModificationTime(model, 1'760'000'000, 0);
    const auto receiptWith = [&](bool nulInIdentifier) {
        test::BinaryPropertyList list;
        const std::u16string identifier(pack.identifier.begin(), pack.identifier.end());
        list.dictionary({{1, 2}, {3, 4}, {5, 6}, {7, 8}, {9, 10}});
        list.ascii("identifier");
        list.utf16(nulInIdentifier ? identifier + u'\0' : identifier);
        list.ascii("filename");
        list.ascii(pack.filename);
        list.ascii("byteCount");
        list.integer(7);
        list.ascii("sha256");
        list.ascii(pack.sha256);
        list.ascii("modificationDate");
        list.date(1'760'000'000.0 - 978'307'200.0);
        return list.bytes(0);
    };
    writeFileAtomically(receipt, receiptWith(false));
    EXPECT_TRUE(hasVerifiedInstall(model, receipt, pack, files));
    writeFileAtomically(receipt, receiptWith(true));
    EXPECT_FALSE(hasVerifiedInstall(model, receipt, pack, files));
    recordVerifiedFile(model, receipt, pack, files);
    const PropertyList::Node good = PropertyList::parse(readFile(receipt));

    // A valid receipt padded past the size any receipt has is not read.
    const PropertyList::Node padded(plist_copy(good.get()));
    const std::string padding(ModelVerificationReceipt::maximumSize, 'x');
    plist_dict_set_item(padded.get(), "padding", plist_new_data(padding.data(), padding.size()));
    writeFileAtomically(receipt, PropertyList::toBinary(padded.get()));
    EXPECT_FALSE(hasVerifiedInstall(model, receipt, pack, files));
}

TEST(ErrorMessageTests, ShowsSentencesNeverLibraryText) {
    EXPECT_EQ(message(ModelDownloadError::invalidManifest()), "The model manifest is invalid.");
    EXPECT_EQ(message(fs::filesystem_error("cannot remove", std::make_error_code(std::errc::no_space_on_device))),
              "There isn't enough free space on the disk.");
    EXPECT_EQ(message(std::bad_alloc()), "The operation couldn't be completed.");
}

}  // namespace
}  // namespace nudgerly
