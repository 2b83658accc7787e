// An answer's header lines as a model download reads them: any bytes, split into lines as libcurl
// hands them over, give counts that are never negative and a location that resolves or is absent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/net/DownloadResponseHeaders.h"
#include "platform/net/HttpClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nudgerly;
    namespace Headers = DownloadResponseHeaders;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);

    HttpResponse response;
    while (!bytes.empty()) {
        const auto end = bytes.find('\n');
        const std::size_t length = end == std::string_view::npos ? bytes.size() : end + 1;
        readHeaderLine(response, bytes.substr(0, length));
        bytes.remove_prefix(length);
    }

    const auto length = Headers::byteCount(response.header("Content-Length").value_or(""));
    if (length && *length < 0) {
        std::abort();
    }
    if (const auto range = Headers::contentRange(response.header("Content-Range").value_or(""))) {
        if (range->start < 0 || (range->total && *range->total < 0) || Headers::expectedBytes(*range, length) < -1) {
            std::abort();
        }
    }
    Headers::validator(response);
    if (const auto location = response.header("Location")) {
        Headers::resolveLocation("https://models.example/a/model.gguf", *location);
    }
    return 0;
}
