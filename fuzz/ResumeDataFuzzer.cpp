// Stored resume data as a resume and the artefact clean-up read it: the decoder and the search for
// temporary file names take any bytes, and resume data that decodes writes back to the same value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "modelpacks/ModelVerification.h"
#include "platform/net/DownloadResumeData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nudgerly;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    for (const std::string& name : ModelVerification::temporaryDownloadFileNames(bytes)) {
        if (!isTemporaryDownloadFileName(name)) {
            std::abort();
        }
    }

    if (const auto decoded = DownloadResumeData::decode(bytes)) {
        if (DownloadResumeData::decode(decoded->encoded()) != decoded) {
            std::abort();
        }
    }
    return 0;
}
