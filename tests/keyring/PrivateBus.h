#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/ChildProcess.h"

namespace nudgerly::test {

// A session-type D-Bus daemon of the test's own, listening on a socket in `folder`. Its configuration
// names no service folders but the one given, so only the services a test lists can be started on it.
// Stopped (and waited for) on destruction.
// The first `name` among the folders of PATH that this process may run; throws when there is none.
std::filesystem::path executableOnPath(const std::string& name);

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
    std::string address_;
    std::shared_ptr<ChildProcess> daemon_;
};

}  // namespace nudgerly::test
