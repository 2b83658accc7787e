#include "platform/system/SystemTimeZone.h"

#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include <unicode/timezone.h>

#include "core/Text.h"

namespace nudgerly::SystemTimeZone {
namespace {

namespace fs = std::filesystem;

// What the zone depends on: the TZ variable, and the zone file's link target and identity (it may be
// a link replaced by the system's settings, or a copy rewritten in place).
std::string zoneSource(const fs::path& zoneFile) {
    std::string source = zoneFile.string();
    source += '\n';
    if (const char* tz = std::getenv("TZ")) {
        source += "TZ=";
        source += tz;
    }
    source += '\n';
    std::error_code error;
    source += fs::read_symlink(zoneFile, error).string();
    struct stat info {};
    if (::stat(zoneFile.c_str(), &info) == 0) {
        source += '\n' + std::to_string(info.st_dev) + ':' + std::to_string(info.st_ino) + ' ' +
                  std::to_string(info.st_size) + ' ' + std::to_string(info.st_mtim.tv_sec) + '.' +
                  std::to_string(info.st_mtim.tv_nsec);
    }
    return source;
}

// "Europe/Berlin" from ":Europe/Berlin", "/usr/share/zoneinfo/Europe/Berlin" or "posix/Europe/Berlin".
std::string zoneName(std::string name) {
    if (name.starts_with(':')) {
        name.erase(0, 1);
    }
    constexpr std::string_view database = "zoneinfo/";
    if (const auto at = name.rfind(database); at != std::string::npos) {
        name.erase(0, at + database.size());
    }
    for (const std::string_view variant : {"posix/", "right/"}) {
        if (name.starts_with(variant)) {
            name.erase(0, variant.size());
        }
    }
    return name;
}

// The zone the system names now; ICU's own detection when the name is not one it knows.
icu::TimeZone* systemZone(const fs::path& zoneFile) {
    std::string name;
    if (const char* tz = std::getenv("TZ"); tz != nullptr && *tz != '\0') {
        name = zoneName(tz);
    } else {
        std::error_code error;
        const fs::path target = fs::canonical(zoneFile, error);
        name = zoneName(error ? fs::read_symlink(zoneFile, error).string() : target.string());
    }
    if (!name.empty()) {
        std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(text::toUnicode(name)));
        if (zone && *zone != icu::TimeZone::getUnknown()) {
            return zone.release();
        }
    }
    return icu::TimeZone::detectHostTimeZone();
}

}  // namespace

void followChanges(const fs::path& zoneFile) {
    static std::mutex mutex;
    static std::string lastSource;
    std::lock_guard lock(mutex);
    std::string source = zoneSource(zoneFile);
    if (source == lastSource) {
        return;
    }
    lastSource = std::move(source);
    icu::TimeZone::adoptDefault(systemZone(zoneFile));
}

}  // namespace nudgerly::SystemTimeZone
