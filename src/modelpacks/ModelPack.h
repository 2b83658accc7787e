#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/JsonCoding.h"

namespace nudgerly {

// The description of one downloadable model pack: a single GGUF file pinned by size and digest.
struct ModelPack {
    std::string identifier;  // stable id; also the name of the pack's folder and staging files
    std::string displayName;
    std::string repository;  // "owner/name" on the model hub
    std::string filename;    // the GGUF file's name, also its installed name
    std::string sourceURL;   // HTTPS address pinned to one revision
    int64_t byteCount = 0;
    std::string sha256;  // 64 hexadecimal characters
    std::string licenseName;
    std::string licenseURL;

    // The built-in packs. Their addresses use the model hub host the program was built with.
    static const ModelPack& nudgerlyDefault();
    static const ModelPack& nudgerlyLarge();
    // Both, in the order the picker shows them.
    static const std::vector<ModelPack>& nudgerlyPacks();

    // "owner/name — file.gguf — 2.50 GB", plus " — Recommended" for the default pack.
    std::string pickerLabel() const;

    // Throws ModelDownloadError::invalidManifest unless every field is fit to become a file name or a
    // request: run it before using a pack that did not come from the built-in list.
    void validate() const;

    // A single folder or file name of plain ASCII letters, digits, ".", "_" and "-"; never "." or "..".
    static bool isSafePathComponent(std::string_view name);

    // The keyed form: "Identifier", "DisplayName", "Repository", "Filename", "URL", "ByteCount",
    // "SHA256", "LicenseName", "LicenseURL", all required. Decoding checks that the two addresses are
    // URLs but does not validate the pack.
    nlohmann::json toJson(const JsonCoding& coding = {}) const;
    static ModelPack fromJson(const nlohmann::json& value, const JsonCoding& coding = {});

    friend bool operator==(const ModelPack&, const ModelPack&) = default;
};

}  // namespace nudgerly
