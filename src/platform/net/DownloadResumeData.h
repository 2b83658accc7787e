#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace nudgerly {

// What a stopped transfer needs to go on: a binary property list naming the partial file (in the
// transfer's temporary folder), the first and the latest address, and the validator (entity tag or
// Last-Modified date) of the bytes already received.
struct DownloadResumeData {
    // Far above what a transfer stores; larger bytes are damaged and are not read or parsed.
    static constexpr std::size_t maximumSize = 1024 * 1024;

    std::string originalUrl;
    std::string currentUrl;
    std::string temporaryFileName;
    std::string validator;

    std::string encoded() const;
    // Absent unless every field is present without control characters and the file name is a
    // temporary download file name.
    static std::optional<DownloadResumeData> decode(std::string_view bytes);

    friend bool operator==(const DownloadResumeData&, const DownloadResumeData&) = default;
};

// "CFNetworkDownload_" followed by ASCII letters and digits and ".tmp": a plain name, no folder.
bool isTemporaryDownloadFileName(std::string_view name);

}  // namespace nudgerly
