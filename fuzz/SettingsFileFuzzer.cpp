// The settings file as the program finds it at start: any bytes load (or are set aside), every typed
// read answers, the first write succeeds, and what was loaded reads back the same after it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include <unistd.h>

#include "core/Files.h"
#include "platform/system/FileSettingsStore.h"

namespace {

namespace fs = std::filesystem;

// One folder per process, in memory where the system has such a folder (every input writes a file),
// removed when the run ends.
struct WorkFolder {
    WorkFolder() {
        const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        path = base / ("nudgerly-settings-fuzz-" + std::to_string(::getpid()));
    }
    ~WorkFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    fs::path path;
};

const fs::path& workFolder() {
    static const WorkFolder folder;
    return folder.path;
}

void readEveryWay(const nudgerly::SettingsStore& store, std::string_view key) {
    (void)store.value(key);
    (void)store.string(key);
    (void)store.integer(key);
    (void)store.boolean(key);
    (void)store.doubleValue(key);
    (void)store.stringArray(key);
    (void)store.data(key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nudgerly;
    const fs::path folder = workFolder();
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path file = folder / "settings.json";
    writeFileAtomically(file, std::string_view(reinterpret_cast<const char*>(data), size));

    FileSettingsStore store(file);
    nlohmann::json loaded = nlohmann::json::object();
    try {
        const auto parsed = nlohmann::json::parse(std::string_view(reinterpret_cast<const char*>(data), size));
        if (parsed.is_object()) {
            for (const auto& [key, value] : parsed.items()) {
                readEveryWay(store, key);
                if (const auto kept = store.value(key)) {
                    loaded[key] = *kept;
                }
            }
        }
    } catch (const nlohmann::json::exception&) {
    }
    store.setString("fuzz-marker", "written");

    FileSettingsStore reopened(file);
    if (reopened.string("fuzz-marker") != "written") {
        std::abort();
    }
    for (const auto& [key, value] : loaded.items()) {
        if (key != "fuzz-marker" && reopened.value(key) != value) {
            std::abort();
        }
    }
    return 0;
}
