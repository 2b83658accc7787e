#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <gio/gio.h>

namespace nudgerly::test {

// The first `name` among the folders of PATH that this process may run; throws when there is none.
std::filesystem::path executableOnPath(const std::string& name);

// A session-type D-Bus daemon of the test's own, listening on the socket "bus" in `folder`. Its
// configuration names no service folders but the one given, so only the services a test lists can be
// started on it. The constructor returns once the daemon listens; it is killed if this process dies,
// and stopped (and waited for) on destruction.
class PrivateBus {
public:
    // `secretServiceCommand`: the command line the bus runs when the Secret Service is first asked for;
    // none means the bus has no Secret Service at all.
    PrivateBus(const std::filesystem::path& folder, std::optional<std::string> secretServiceCommand);
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const std::string& address() const { return address_; }

private:
    struct Unref {
        void operator()(GSubprocess* daemon) const { g_object_unref(daemon); }
    };

    std::string address_;
    std::unique_ptr<GSubprocess, Unref> daemon_;
};

}  // namespace nudgerly::test
