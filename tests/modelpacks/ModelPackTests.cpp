#include <clocale>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "BuildSettings.h"
#include "core/JsonCoding.h"
#include "modelpacks/ModelCatalog.h"
#include "modelpacks/ModelDownloadError.h"
#include "modelpacks/ModelPack.h"
#include "modelpacks/ModelSelectionStore.h"
#include "platform/system/SettingsStore.h"

namespace nudgerly {
namespace {

const std::string hub = std::string("https://") + NUDGERLY_MODEL_HUB_HOST;

bool isValid(const ModelPack& pack) {
    try {
        pack.validate();
        return true;
    } catch (const ModelDownloadError& error) {
        EXPECT_EQ(error.kind(), ModelDownloadError::Kind::invalidManifest);
        EXPECT_STREQ(error.what(), "The model manifest is invalid.");
        return false;
    }
}

TEST(ModelPackTests, BuiltInPacksArePinnedAndLabelled) {
    const ModelPack& small = ModelPack::nudgerlyDefault();
    const ModelPack& large = ModelPack::nudgerlyLarge();
    EXPECT_EQ(small.sourceURL, hub +
                                   "/Qwen/Qwen3-4B-GGUF/resolve/bc640142c66e1fdd12af0bd68f40445458f3869b/"
                                   "Qwen3-4B-Q4_K_M.gguf?download=true");
    EXPECT_EQ(small.licenseURL, hub + "/Qwen/Qwen3-4B-GGUF/blob/bc640142c66e1fdd12af0bd68f40445458f3869b/LICENSE");
    EXPECT_EQ(large.sourceURL, hub +
                                   "/Qwen/Qwen3-8B-GGUF/resolve/212c964b8f97cb5edc203d411b767aaae707e653/"
                                   "Qwen3-8B-Q4_K_M.gguf?download=true");
    EXPECT_EQ(large.licenseURL, hub + "/Qwen/Qwen3-8B/blob/b968826d9c46dd6066d109eabc6255188de91218/LICENSE");
    EXPECT_TRUE(isValid(small));
    EXPECT_TRUE(isValid(large));

    EXPECT_EQ(small.pickerLabel(), "Qwen/Qwen3-4B-GGUF \u2014 Qwen3-4B-Q4_K_M.gguf \u2014 2.50 GB \u2014 Recommended");
    EXPECT_EQ(large.pickerLabel(), "Qwen/Qwen3-8B-GGUF \u2014 Qwen3-8B-Q4_K_M.gguf \u2014 5.03 GB");

    EXPECT_EQ(ModelPack::nudgerlyPacks(), (std::vector<ModelPack>{small, large}));
    EXPECT_EQ(ModelCatalog::nudgerly().defaultPack(), small);
}

TEST(ModelPackTests, ValidationRejectsEveryUnsafeField) {
    using Change = std::function<void(ModelPack&)>;
    const std::vector<std::pair<std::string, Change>> invalid = {
        {"empty identifier", [](ModelPack& p) { p.identifier = ""; }},
        {"dot identifier", [](ModelPack& p) { p.identifier = "."; }},
        {"dot-dot filename", [](ModelPack& p) { p.filename = ".."; }},
        {"slash in filename", [](ModelPack& p) { p.filename = "models/a.gguf"; }},
        {"space in identifier", [](ModelPack& p) { p.identifier = "my pack"; }},
        {"non-ASCII letter", [](ModelPack& p) { p.identifier = "pack\u00E9"; }},
        {"trailing newline in identifier", [](ModelPack& p) { p.identifier = "pack\n"; }},
        {"trailing newline in filename", [](ModelPack& p) { p.filename = "model.gguf\n"; }},
        {"repository without slash", [](ModelPack& p) { p.repository = "Qwen"; }},
        {"repository with two slashes", [](ModelPack& p) { p.repository = "Qwen/Qwen3/GGUF"; }},
        {"repository with trailing newline", [](ModelPack& p) { p.repository = "Qwen/Qwen3\n"; }},
        {"plain HTTP source", [](ModelPack& p) { p.sourceURL = "http://example.com/a.gguf"; }},
        {"source without host", [](ModelPack& p) { p.sourceURL = "https:///a.gguf"; }},
        {"source with user", [](ModelPack& p) { p.sourceURL = "https://me@example.com/a.gguf"; }},
        {"source with password", [](ModelPack& p) { p.sourceURL = "https://:secret@example.com/a.gguf"; }},
        {"source not a URL", [](ModelPack& p) { p.sourceURL = "not a url"; }},
        {"zero bytes", [](ModelPack& p) { p.byteCount = 0; }},
        {"negative bytes", [](ModelPack& p) { p.byteCount = -5; }},
        {"63 hex digits", [](ModelPack& p) { p.sha256.pop_back(); }},
        {"65 hex digits", [](ModelPack& p) { p.sha256 += "a"; }},
        {"non-hex digit", [](ModelPack& p) { p.sha256[10] = 'g'; }},
        {"digest with trailing newline", [](ModelPack& p) { p.sha256.back() = '\n'; }},
        {"plain HTTP licence", [](ModelPack& p) { p.licenseURL = "http://example.com/LICENSE"; }},
    };
    for (const auto& [name, change] : invalid) {
        ModelPack pack = ModelPack::nudgerlyDefault();
        change(pack);
        EXPECT_FALSE(isValid(pack)) << name;
    }

    ModelPack capitals = ModelPack::nudgerlyDefault();
    capitals.sha256 = "7485FE6F11AF29433BC51CAB58009521F205840F5B4AE3A32FA7F92E8534FDF5";
    capitals.sourceURL = "HTTPS://example.com/a.gguf";
    EXPECT_TRUE(isValid(capitals));
    EXPECT_TRUE(ModelPack::isSafePathComponent("Qwen3-4B_Q4.K.gguf"));
    EXPECT_FALSE(ModelPack::isSafePathComponent("abc\n"));
}

TEST(ModelPackTests, KeyedFormRoundTripsAndChecksAddresses) {
    const ModelPack& pack = ModelPack::nudgerlyLarge();
    const nlohmann::json coded = pack.toJson();
    EXPECT_EQ(coded.at("URL"), pack.sourceURL);
    EXPECT_EQ(coded.at("SHA256"), pack.sha256);
    EXPECT_EQ(coded.at("ByteCount"), 5027783488);
    EXPECT_EQ(coded.size(), 9u);
    EXPECT_EQ(ModelPack::fromJson(coded), pack);

    nlohmann::json missing = coded;
    missing.erase("LicenseName");
    EXPECT_THROW(ModelPack::fromJson(missing), JsonDecodingError);

    // Decoding takes any URL and leaves validation to the consumer.
    nlohmann::json plain = coded;
    plain["URL"] = "http://example.com/a.gguf";
    EXPECT_EQ(ModelPack::fromJson(plain).sourceURL, "http://example.com/a.gguf");

    const auto decodingMessage = [](nlohmann::json j) {
        try {
            ModelPack::fromJson(j);
        } catch (const JsonDecodingError& error) {
            return std::string(error.what());
        }
        return std::string("no error");
    };
    nlohmann::json badSource = coded;
    badSource["URL"] = "a b";
    EXPECT_EQ(decodingMessage(badSource), "Expected a valid model URL.");
    nlohmann::json badLicence = coded;
    badLicence["LicenseURL"] = "";
    EXPECT_EQ(decodingMessage(badLicence), "Expected a valid license URL.");
}

TEST(ModelPackTests, CatalogueLookupsFallBackToTheDefault) {
    const ModelCatalog& catalog = ModelCatalog::nudgerly();
    EXPECT_EQ(catalog.pack("qwen3-8b-q4-k-m-v1"), ModelPack::nudgerlyLarge());
    EXPECT_EQ(catalog.pack("QWEN3-8B-Q4-K-M-V1"), std::nullopt);

    const ModelCatalog withoutDefault{.defaultPackIdentifier = "gone", .packs = {ModelPack::nudgerlyLarge()}};
    EXPECT_EQ(withoutDefault.defaultPack(), ModelPack::nudgerlyDefault());
}

TEST(ModelSelectionStoreTests, ReadsAndPersistsTheChoice) {
    const ModelCatalog& catalog = ModelCatalog::nudgerly();
    InMemorySettingsStore defaults;
    EXPECT_EQ(ModelSelectionStore::selectedPack(catalog, defaults), ModelPack::nudgerlyDefault());
    EXPECT_FALSE(ModelSelectionStore::hasValidStoredSelection(catalog, defaults));

    defaults.setString("selected-model-pack-identifier", "qwen3-70b");
    EXPECT_EQ(ModelSelectionStore::selectedPack(catalog, defaults), ModelPack::nudgerlyDefault());
    EXPECT_FALSE(ModelSelectionStore::hasValidStoredSelection(catalog, defaults));
    EXPECT_EQ(defaults.string("selected-model-pack-identifier"), "qwen3-70b");  // nothing written back

    ModelSelectionStore::persist(ModelPack::nudgerlyLarge(), defaults);
    EXPECT_EQ(defaults.string("selected-model-pack-identifier"), "qwen3-8b-q4-k-m-v1");
    EXPECT_EQ(ModelSelectionStore::selectedPack(catalog, defaults), ModelPack::nudgerlyLarge());
    EXPECT_TRUE(ModelSelectionStore::hasValidStoredSelection(catalog, defaults));

    // Persisting always checks the built-in catalogue.
    ModelPack stranger = ModelPack::nudgerlyLarge();
    stranger.identifier = "custom-pack";
    ModelSelectionStore::persist(stranger, defaults);
    EXPECT_EQ(defaults.string("selected-model-pack-identifier"), "qwen3-4b-q4-k-m-v1");
}

// Switches LC_ALL to a locale with a decimal comma for the life of the object, when the machine has one.
class CommaLocale {
public:
    CommaLocale() : saved_(std::setlocale(LC_ALL, nullptr)) {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8"}) {
            if (std::setlocale(LC_ALL, name) != nullptr) {
                return;
            }
        }
    }
    ~CommaLocale() { std::setlocale(LC_ALL, saved_.c_str()); }

private:
    std::string saved_;
};

TEST(ModelDownloadErrorTests, SentencesCarryTheirNumbersInPlainForm) {
    // Without such a locale on the machine the sentences are still checked, in the C locale.
    const CommaLocale comma;
    const auto space = ModelDownloadError::insufficientDiskSpace(5027783488 + 536870912, 5200000000);
    EXPECT_STREQ(space.what(), "At least 5.6 GB of free space is required (5.2 GB available).");
    EXPECT_EQ(space.requiredBytes(), 5564654400);
    EXPECT_STREQ(ModelDownloadError::insufficientDiskSpace(-1, 49999999).what(),
                 "At least 0.0 GB of free space is required (0.0 GB available).");
    EXPECT_EQ(ModelPack::nudgerlyLarge().pickerLabel(),
              "Qwen/Qwen3-8B-GGUF \u2014 Qwen3-8B-Q4_K_M.gguf \u2014 5.03 GB");

    EXPECT_STREQ(ModelDownloadError::unexpectedHTTPStatus(404).what(), "The model server returned HTTP 404.");
    EXPECT_STREQ(ModelDownloadError::incompleteDownload(2497280256, 2497280255).what(),
                 "The model download was incomplete (expected 2497280256 bytes, received 2497280255).");
}

}  // namespace
}  // namespace nudgerly
