#include "core/Base64.h"

#include <openssl/evp.h>

namespace nudgerly::Base64 {

std::string encode(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3), '\0');
    const int written =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(written));
    return out;
}

std::optional<std::string> decode(std::string_view text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool valid = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
                           c == '/' || (c == '=' && i + 2 >= text.size());
        if (!valid) {
            return std::nullopt;
        }
    }
    if (text.size() >= 2 && text[text.size() - 2] == '=' && text.back() != '=') {
        return std::nullopt;
    }
    std::string out(3 * text.size() / 4, '\0');
    const int written =
        EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    if (written < 0) {
        return std::nullopt;
    }
    // EVP_DecodeBlock keeps the bytes that padding stands for; drop them.
    std::size_t padding = 0;
    if (!text.empty() && text.back() == '=') {
        padding = text.size() >= 2 && text[text.size() - 2] == '=' ? 2 : 1;
    }
    out.resize(static_cast<std::size_t>(written) - padding);
    return out;
}

std::string encodeUrlSafe(std::string_view bytes) {
    std::string out = encode(bytes);
    while (!out.empty() && out.back() == '=') {
        out.pop_back();
    }
    for (char& c : out) {
        if (c == '+') {
            c = '-';
        } else if (c == '/') {
            c = '_';
        }
    }
    return out;
}

}  // namespace nudgerly::Base64
