#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>

#include "core/UniqueFd.h"
#include "files/TempDir.h"
#include "platform/secrets/SessionBus.h"

namespace nudgerly {
namespace {

TEST(SessionBusTests, OnlyABusThatIsAlreadyThereCounts) {
    test::TempDir runtime;
    EXPECT_TRUE(SessionBus::isConfigured("unix:path=/run/user/1000/bus", nullptr));
    EXPECT_TRUE(SessionBus::isConfigured("unix:abstract=/tmp/dbus-x,guid=1", runtime.path().c_str()));
    // Asking would start a bus daemon.
    EXPECT_FALSE(SessionBus::isConfigured("autolaunch:", nullptr));
    EXPECT_FALSE(SessionBus::isConfigured("unix:path=/nowhere;autolaunch:", nullptr));
    EXPECT_FALSE(SessionBus::isConfigured(nullptr, nullptr));
    EXPECT_FALSE(SessionBus::isConfigured("", runtime.path().c_str()));

    // The runtime folder's "bus" counts only as a socket.
    test::writeTestFile(runtime / "bus", "not a socket");
    EXPECT_FALSE(SessionBus::isConfigured(nullptr, runtime.path().c_str()));
    std::filesystem::remove(runtime / "bus");

    UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = (runtime / "bus").string();
    ASSERT_LT(socketPath.size(), sizeof(address.sun_path));
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    EXPECT_TRUE(SessionBus::isConfigured(nullptr, runtime.path().c_str()));
    EXPECT_TRUE(SessionBus::isConfigured("", runtime.path().c_str()));
    EXPECT_FALSE(SessionBus::isConfigured(nullptr, "relative/runtime"));
}

}  // namespace
}  // namespace nudgerly
