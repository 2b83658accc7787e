#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "core/CancelledError.h"
#include "files/TempDir.h"
#include "platform/system/UrlOpener.h"
#include "support/NamedPipe.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A stand-in for xdg-open: a shell script of the test's that records its arguments, one per line, and
// then does what `then` says.
class UrlOpenerTests : public ::testing::Test {
protected:
    test::TempDir root;

    fs::path opener(const std::string& then) {
        const fs::path script = root / "xdg-open";
        test::writeTestFile(script, "#!/bin/sh\nfor argument in \"$@\"; do printf '%s\\n' \"$argument\" >> \"" +
                                        (root / "arguments").string() + "\"; done\n" + then + "\n");
        fs::permissions(script, fs::perms::owner_all);
        return script;
    }

    std::string arguments() const {
        std::ifstream file(root / "arguments");
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
};

TEST_F(UrlOpenerTests, HandsTheAddressOverAsItsOneArgument) {
    XdgUrlOpener urlOpener(opener("exit 0"));
    const std::string address = "https://accounts.example.com/auth?state=a&b='$(touch%20pwned)';c=$HOME|id>x";
    EXPECT_TRUE(urlOpener.open(address, {}));
    EXPECT_EQ(arguments(), address + "\n");
    EXPECT_FALSE(fs::exists(root / "pwned"));
    EXPECT_FALSE(fs::exists("pwned"));
}

TEST_F(UrlOpenerTests, AFailedExitOrStartIsNotOpenedAndALongRunIs) {
    EXPECT_FALSE(XdgUrlOpener(opener("exit 3")).open("https://example.com/", {}));
    EXPECT_FALSE(XdgUrlOpener(root / "missing").open("https://example.com/", {}));

    // A browser started by the opener itself keeps it running: that counts as opened, soon.
    XdgUrlOpener browser(opener("sleep 5"), 200ms);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(browser.open("http://127.0.0.1:1/", {}));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
}

TEST_F(UrlOpenerTests, OpensWebAddressesOnly) {
    XdgUrlOpener urlOpener(opener("exit 0"));
    for (const auto* address :
         {"file:///etc/passwd", "sms:+15550100", "javascript:alert(1)", "--help", "", "https://"}) {
        EXPECT_FALSE(urlOpener.open(address, {})) << address;
    }
    EXPECT_EQ(arguments(), "");
}

TEST(OpenableLinkTests, OnlyTheLinkSchemesOfConversationsAreOpenable) {
    for (const auto* link :
         {"sms:+15550100", "SMS:+15550100", "sms:ann@example.com", "mailto:ann@example.com",
          "MailTo:ann@example.com?subject=Hi", "https://mail.google.com/mail/u/0/#inbox/18c2", "http://example.com/"}) {
        EXPECT_TRUE(isOpenableLink(link)) << link;
    }
    for (const auto* link : {"file:///etc/passwd", "javascript:alert(1)", "smsto:+15550100", "ssh://host",
                             "x-scheme-handler/sms:1", "imessage:+15550100", "https://", "https:/example.com",
                             "https://exa mple.com/", "sms", "", ":sms", "-sms:+1", "sms:+1\nid", "mailto:a\x7F"}) {
        EXPECT_FALSE(isOpenableLink(link)) << link;
    }
}

TEST_F(UrlOpenerTests, LinksAndFoldersGoOverAsTheirOneArgumentAndOthersStartNothing) {
    XdgUrlOpener urlOpener(opener("exit 0"));
    const fs::path folder = root / "it's a \"folder\"; touch pwned";
    fs::create_directories(folder);
    EXPECT_TRUE(urlOpener.openLink("sms:+1 555 'x' \"y\"; touch pwned", {}));
    EXPECT_TRUE(urlOpener.openFolder(root / "it's a \"folder\"; touch pwned" / "..", {}));
    EXPECT_TRUE(urlOpener.openFolder(folder, {}));
    EXPECT_EQ(arguments(),
              "sms:+1 555 'x' \"y\"; touch pwned\n" + root.path().string() + "/\n" + folder.string() + "\n");

    EXPECT_FALSE(urlOpener.openLink("file:///etc/passwd", {}));
    EXPECT_FALSE(urlOpener.openFolder("relative/folder", {}));
    EXPECT_FALSE(urlOpener.openFolder(root / "missing", {}));
    EXPECT_FALSE(urlOpener.open("sms:+15550100", {}));  // the browser's road takes web addresses only
    const std::string recorded = arguments();
    EXPECT_EQ(std::ranges::count(recorded, '\n'), 3);
    EXPECT_FALSE(fs::exists(root / "pwned"));
}

TEST_F(UrlOpenerTests, ASchemeNoProgramClaimsIsNotOpenedWhileWebAddressesNeedNoClaim) {
    XdgUrlOpener urlOpener(opener("exit 0"));
    // The desktop names a mail program and nothing for sms; web addresses are never asked about.
    const fs::path mime = root / "xdg-mime";
    test::writeTestFile(mime, "#!/bin/sh\nprintf '%s\\n' \"$*\" >> \"" + (root / "queries").string() +
                                  "\"\n[ \"$3\" = x-scheme-handler/mailto ] && echo mail.desktop\nexit 0\n");
    fs::permissions(mime, fs::perms::owner_all);
    EXPECT_FALSE(urlOpener.openLink("sms:+15550100", {}));
    EXPECT_TRUE(urlOpener.openLink("MAILTO:ann@example.com", {}));
    EXPECT_TRUE(urlOpener.openLink("https://mail.google.com/", {}));
    EXPECT_EQ(arguments(), "MAILTO:ann@example.com\nhttps://mail.google.com/\n");
    std::ifstream queries(root / "queries");
    std::stringstream asked;
    asked << queries.rdbuf();
    EXPECT_EQ(asked.str(), "query default x-scheme-handler/sms\nquery default x-scheme-handler/mailto\n");

    // A claimed scheme that xdg-open still cannot open is not opened either.
    EXPECT_FALSE(XdgUrlOpener(opener("exit 4")).openLink("mailto:ann@example.com", {}));

    // A desktop that has not answered within the settle time has named no program.
    test::writeTestFile(mime, "#!/bin/sh\nsleep 2\necho mail.desktop\n");
    EXPECT_FALSE(XdgUrlOpener(opener("exit 0"), 200ms).openLink("mailto:ann@example.com", {}));
}

TEST_F(UrlOpenerTests, AStopEndsTheWait) {
    test::NamedPipe running(root / "running");
    XdgUrlOpener urlOpener(opener("echo > " + running.path().string() + "; sleep 5"), 10s);
    std::stop_source stop;
    std::atomic<std::chrono::steady_clock::time_point> stoppedAt{};
    std::jthread stopper([&] {
        running.waitForLine();
        stoppedAt = std::chrono::steady_clock::now();
        stop.request_stop();
    });
    EXPECT_THROW(urlOpener.open("https://example.com/", stop.get_token()), CancelledError);
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - stoppedAt.load(), 1s);
}

TEST_F(UrlOpenerTests, FindsTheProgramOnAbsolutePathEntriesOnly) {
    const char* saved = std::getenv("PATH");
    const std::string previous = saved ? saved : "";
    fs::create_directories(root / "bin");
    test::writeTestFile(root / "bin" / "xdg-open", "#!/bin/sh\n");
    test::writeTestFile(root / "bin" / "not-executable", "#!/bin/sh\n");
    fs::permissions(root / "bin" / "xdg-open", fs::perms::owner_all);
    const auto relative = fs::relative(root / "bin", fs::current_path());

    ::setenv("PATH", (":" + relative.string() + ":" + (root / "bin").string()).c_str(), 1);
    EXPECT_EQ(XdgUrlOpener::findOnPath("xdg-open"), root / "bin" / "xdg-open");
    EXPECT_EQ(XdgUrlOpener::findOnPath("not-executable"), std::nullopt);
    ::setenv("PATH", relative.c_str(), 1);
    EXPECT_EQ(XdgUrlOpener::findOnPath("xdg-open"), std::nullopt);
    ::setenv("PATH", previous.c_str(), 1);
}

}  // namespace
}  // namespace nudgerly
