#include "sources/gmail/MailCharset.h"

#include <climits>
#include <memory>

#include <unicode/ucnv.h>
#include <unicode/unistr.h>

#include "core/Text.h"

namespace nudgerly::MailCharset {
namespace {

struct ConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// Longer names are not character sets; the limit also keeps odd header values away from ICU.
constexpr std::size_t longestCharsetName = 64;

Converter openConverter(const std::string& name) {
    if (name.empty() || name.size() > longestCharsetName || name.find('\0') != std::string::npos) {
        return nullptr;
    }
    UErrorCode status = U_ZERO_ERROR;
    Converter converter(ucnv_open(name.c_str(), &status));
    if (U_FAILURE(status)) {
        return nullptr;
    }
    // Bytes that are not valid in the character set fail the conversion instead of becoming U+FFFD.
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    return U_SUCCESS(status) ? std::move(converter) : nullptr;
}

std::optional<std::string> converted(UConverter* converter, std::string_view bytes) {
    if (bytes.size() > INT32_MAX) {
        return std::nullopt;
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString text(bytes.data(), static_cast<int32_t>(bytes.size()), converter, status);
    if (U_FAILURE(status) || text.isBogus()) {
        return std::nullopt;
    }
    return text::toUtf8(text);
}

std::string_view trimmedBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

std::optional<std::string> charsetParameter(std::string_view contentType) {
    std::size_t start = contentType.find(';');
    while (start != std::string_view::npos) {
        const std::size_t end = contentType.find(';', start + 1);
        const std::string_view parameter =
            trimmedBlanks(contentType.substr(start + 1, end == std::string_view::npos ? std::string_view::npos : end - start - 1));
        start = end;
        const std::size_t equals = parameter.find('=');
        if (equals == std::string_view::npos || text::lowercased(trimmedBlanks(parameter.substr(0, equals))) != "charset") {
            continue;
        }
        std::string_view value = trimmedBlanks(parameter.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (!value.empty()) {
            return std::string(value);
        }
    }
    return std::nullopt;
}

std::optional<std::string> decodedText(std::string_view bytes, const std::optional<std::string>& charset) {
    const Converter converter = charset ? openConverter(*charset) : nullptr;
    if (converter && ucnv_getMinCharSize(converter.get()) > 1) {
        return converted(converter.get(), bytes);
    }
    if (text::isValidUtf8(bytes)) {
        return std::string(bytes);
    }
    if (converter) {
        return converted(converter.get(), bytes);
    }
    return std::nullopt;
}

}  // namespace nudgerly::MailCharset
