#include "platform/system/UserAccount.h"

#include <vector>

#include <pwd.h>
#include <unistd.h>

#include "core/Text.h"

namespace nudgerly::UserAccount {

std::optional<Entry> current() {
    const long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    return Entry{
        .home = found->pw_dir != nullptr ? found->pw_dir : "",
        .comment = found->pw_gecos != nullptr ? found->pw_gecos : "",
    };
}

std::string fullName() {
    const auto entry = current();
    if (!entry) {
        return {};
    }
    return text::makeValidUtf8(entry->comment.substr(0, entry->comment.find(',')));
}

}  // namespace nudgerly::UserAccount
