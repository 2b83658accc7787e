#include "modelpacks/ModelPack.h"

#include <stdexcept>

#include "BuildSettings.h"
#include "core/Regex.h"
#include "modelpacks/DecimalGigabytes.h"
#include "modelpacks/ModelDownloadError.h"
#include "platform/formats/Url.h"

namespace nudgerly {
namespace {

std::string hubAddress(std::string_view pathAndQuery) {
    std::string address = "https://" + std::string(NUDGERLY_MODEL_HUB_HOST) + std::string(pathAndQuery);
    if (!Url::parse(address)) {
        throw std::logic_error("built-in model pack address is not a URL: " + address);
    }
    return address;
}

std::string urlField(const nlohmann::json& object, std::string_view key, const char* failure) {
    std::string text = Json::required<std::string>(object, key);
    if (!Url::parse(text)) {
        throw JsonDecodingError(failure);
    }
    return text;
}

}  // namespace

const ModelPack& ModelPack::nudgerlyDefault() {
    static const ModelPack pack{
        .identifier = "qwen3-4b-q4-k-m-v1",
        .displayName = "Qwen3 4B Q4_K_M",
        .repository = "Qwen/Qwen3-4B-GGUF",
        .filename = "Qwen3-4B-Q4_K_M.gguf",
        .sourceURL = hubAddress("/Qwen/Qwen3-4B-GGUF/resolve/bc640142c66e1fdd12af0bd68f40445458f3869b/"
                                "Qwen3-4B-Q4_K_M.gguf?download=true"),
        .byteCount = 2497280256,
        .sha256 = "7485fe6f11af29433bc51cab58009521f205840f5b4ae3a32fa7f92e8534fdf5",
        .licenseName = "Apache-2.0",
        .licenseURL = hubAddress("/Qwen/Qwen3-4B-GGUF/blob/bc640142c66e1fdd12af0bd68f40445458f3869b/LICENSE"),
    };
    return pack;
}

const ModelPack& ModelPack::nudgerlyLarge() {
    // The licence lives in the base model's repository, at another revision than the file.
    static const ModelPack pack{
        .identifier = "qwen3-8b-q4-k-m-v1",
        .displayName = "Qwen3 8B Q4_K_M",
        .repository = "Qwen/Qwen3-8B-GGUF",
        .filename = "Qwen3-8B-Q4_K_M.gguf",
        .sourceURL = hubAddress("/Qwen/Qwen3-8B-GGUF/resolve/212c964b8f97cb5edc203d411b767aaae707e653/"
                                "Qwen3-8B-Q4_K_M.gguf?download=true"),
        .byteCount = 5027783488,
        .sha256 = "d98cdcbd03e17ce47681435b5150e34c1417f50b5c0019dd560e4882c5745785",
        .licenseName = "Apache-2.0",
        .licenseURL = hubAddress("/Qwen/Qwen3-8B/blob/b968826d9c46dd6066d109eabc6255188de91218/LICENSE"),
    };
    return pack;
}

const std::vector<ModelPack>& ModelPack::nudgerlyPacks() {
    static const std::vector<ModelPack> packs{nudgerlyDefault(), nudgerlyLarge()};
    return packs;
}

std::string ModelPack::pickerLabel() const {
    std::string label = repository + " \u2014 " + filename + " \u2014 " + decimalGigabytes(byteCount, 2) + " GB";
    if (identifier == nudgerlyDefault().identifier) {
        label += " \u2014 Recommended";
    }
    return label;
}

bool ModelPack::isSafePathComponent(std::string_view name) {
    // Whole-string matches: a search would let "name\n" through, since "$" also matches before a
    // final line break.
    static const Regex safe("^[A-Za-z0-9._-]+$");
    return !name.empty() && name != "." && name != ".." && safe.matchesWhole(name);
}

void ModelPack::validate() const {
    static const Regex repositoryPattern("^[A-Za-z0-9._-]+/[A-Za-z0-9._-]+$");
    static const Regex digestPattern("^[0-9a-fA-F]{64}$");
    const bool valid = isSafePathComponent(identifier) && isSafePathComponent(filename) &&
                       repositoryPattern.matchesWhole(repository) && isSecureAddress(sourceURL) && byteCount >= 1 &&
                       digestPattern.matchesWhole(sha256) && isSecureAddress(licenseURL);
    if (!valid) {
        throw ModelDownloadError::invalidManifest();
    }
}

nlohmann::json ModelPack::toJson(const JsonCoding& coding) const {
    nlohmann::json j = nlohmann::json::object();
    Json::set(j, "Identifier", identifier, coding);
    Json::set(j, "DisplayName", displayName, coding);
    Json::set(j, "Repository", repository, coding);
    Json::set(j, "Filename", filename, coding);
    Json::set(j, "URL", sourceURL, coding);
    Json::set(j, "ByteCount", byteCount, coding);
    Json::set(j, "SHA256", sha256, coding);
    Json::set(j, "LicenseName", licenseName, coding);
    Json::set(j, "LicenseURL", licenseURL, coding);
    return j;
}

ModelPack ModelPack::fromJson(const nlohmann::json& value, const JsonCoding& coding) {
    const auto& j = Json::object(value);
    ModelPack pack{
        .identifier = Json::required<std::string>(j, "Identifier", coding),
        .displayName = Json::required<std::string>(j, "DisplayName", coding),
        .repository = Json::required<std::string>(j, "Repository", coding),
        .filename = Json::required<std::string>(j, "Filename", coding),
        .byteCount = Json::required<int64_t>(j, "ByteCount", coding),
        .sha256 = Json::required<std::string>(j, "SHA256", coding),
        .licenseName = Json::required<std::string>(j, "LicenseName", coding),
    };
    pack.sourceURL = urlField(j, "URL", "Expected a valid model URL.");
    pack.licenseURL = urlField(j, "LicenseURL", "Expected a valid license URL.");
    return pack;
}

}  // namespace nudgerly
