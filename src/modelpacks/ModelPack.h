#pragma once

#include <cstdint>
#include <string>

namespace nudgerly {

// The description of one downloadable model pack: a single GGUF file pinned by size and digest.
struct ModelPack {
    std::string identifier;   // stable id; also the name of the pack's folder and staging files
    std::string displayName;
    std::string repository;   // "owner/name" on the model hub
    std::string filename;     // the GGUF file's name, also its installed name
    std::string sourceURL;    // HTTPS address pinned to one revision
    int64_t byteCount = 0;
    std::string sha256;       // 64 hexadecimal characters
    std::string licenseName;
    std::string licenseURL;

    friend bool operator==(const ModelPack&, const ModelPack&) = default;
};

}  // namespace nudgerly
