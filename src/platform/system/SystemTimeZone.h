#pragma once

#include <filesystem>

// ICU reads the system's time zone once, on first use, and keeps it for the life of the process; a
// change of zone (travel, the user's settings) would never reach the dates we show. This notices such
// a change and makes ICU's default zone follow it.
namespace nudgerly::SystemTimeZone {

// Looks whether TZ or the system's zone file changed since the last look (or this is the first) and,
// when either did, sets ICU's default time zone to the one the system names now. Cheap (one
// environment variable, one link and one file status); thread-safe. `zoneFile` is for tests.
void followChanges(const std::filesystem::path& zoneFile = "/etc/localtime");

}  // namespace nudgerly::SystemTimeZone
