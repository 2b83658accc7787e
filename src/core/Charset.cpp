#include "core/Charset.h"

#include <array>
#include <climits>
#include <memory>
#include <optional>
#include <utility>

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/unistr.h>

#include "core/Text.h"

namespace nudgerly::Charset {
namespace {

struct ConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// Longer names are not character sets; the limit also keeps odd header values away from ICU.
constexpr std::size_t longestLabel = 64;

Converter opened(std::string_view label) {
    if (label.empty() || label.size() > longestLabel || label.find('\0') != std::string_view::npos) {
        return nullptr;
    }
    UErrorCode status = U_ZERO_ERROR;
    Converter converter(ucnv_open(std::string(label).c_str(), &status));
    return U_SUCCESS(status) ? std::move(converter) : nullptr;
}

std::string canonicalName(UConverter* converter) {
    UErrorCode status = U_ZERO_ERROR;
    const char* name = ucnv_getName(converter, &status);
    return U_SUCCESS(status) && name != nullptr ? std::string(name) : std::string();
}

// Labels that mail and card writers use for a larger character set than the label names.
std::string supersetOf(const std::string& canonical) {
    static const auto supersets = [] {
        constexpr std::array<std::pair<const char*, const char*>, 5> labels{{
            {"iso-8859-1", "windows-1252"},
            {"iso-8859-9", "windows-1254"},
            {"gb2312", "gb18030"},
            {"gbk", "gb18030"},
            {"euc-kr", "windows-949"},
        }};
        std::array<std::pair<std::string, const char*>, labels.size()> byCanonicalName;
        for (std::size_t i = 0; i < labels.size(); ++i) {
            const Converter narrow = opened(labels[i].first);
            byCanonicalName[i] = {narrow ? canonicalName(narrow.get()) : std::string(), labels[i].second};
        }
        return byCanonicalName;
    }();
    for (const auto& [narrow, wide] : supersets) {
        if (!narrow.empty() && narrow == canonical) {
            return wide;
        }
    }
    return {};
}

// The converter for a label, or none when the bytes are to be read as UTF-8.
Converter converterFor(std::string_view label) {
    Converter converter = opened(label);
    if (!converter) {
        return nullptr;
    }
    const std::string canonical = canonicalName(converter.get());
    if (canonical == "UTF-8" || canonical == "US-ASCII") {
        return nullptr;
    }
    if (const std::string wide = supersetOf(canonical); !wide.empty()) {
        if (Converter superset = opened(wide)) {
            return superset;
        }
    }
    return converter;
}

void replacementCharacter(const void*, UConverterToUnicodeArgs* arguments, const char*, int32_t,
                          UConverterCallbackReason reason, UErrorCode* error) {
    if (reason == UCNV_UNASSIGNED || reason == UCNV_ILLEGAL || reason == UCNV_IRREGULAR) {
        static constexpr UChar replacement = 0xFFFD;
        *error = U_ZERO_ERROR;
        ucnv_cbToUWriteUChars(arguments, &replacement, 1, 0, error);
    }
}

// Strict: absent at the first sequence that is not valid in the character set. Otherwise every such
// sequence becomes U+FFFD (ICU's own substitute is U+001A for some sets).
std::optional<std::string> converted(UConverter* converter, std::string_view bytes, bool strict) {
    UErrorCode status = U_ZERO_ERROR;
    ucnv_reset(converter);
    if (strict) {
        ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    } else {
        ucnv_setToUCallBack(converter, replacementCharacter, nullptr, nullptr, nullptr, &status);
    }
    const icu::UnicodeString text(bytes.data(), static_cast<int32_t>(bytes.size()), converter, status);
    if (U_FAILURE(status) || text.isBogus()) {
        return std::nullopt;
    }
    return text::toUtf8(text);
}

}  // namespace

std::string toUtf8(std::string_view bytes, std::string_view label) {
    const Converter converter = converterFor(label);
    if (!converter || bytes.size() > INT32_MAX) {
        return text::makeValidUtf8(bytes);
    }
    const bool valid = text::isValidUtf8(bytes);
    if (valid && ucnv_getMaxCharSize(converter.get()) == 1) {
        return std::string(bytes);
    }
    if (auto text = converted(converter.get(), bytes, true)) {
        return std::move(*text);
    }
    if (valid) {
        return std::string(bytes);
    }
    return converted(converter.get(), bytes, false).value_or(text::makeValidUtf8(bytes));
}

}  // namespace nudgerly::Charset
