#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "files/TempDir.h"
#include "queues/ManualBackgroundExecutor.h"
#include "state/DesktopOpener.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;

// A recording xdg-open first on PATH: each start leaves a file holding its argument count and then
// each argument on a line of its own.
class DesktopOpenerTest : public ::testing::Test {
protected:
    test::TempDir root;
    std::string savedPath;

    void SetUp() override {
        const char* path = std::getenv("PATH");
        savedPath = path ? path : "";
        fs::create_directories(root / "bin");
        fs::create_directories(root / "calls");
        test::writeTestFile(root / "bin" / "xdg-open",
                            "#!/bin/sh\ncall=$(mktemp \"" + (root / "calls").string() +
                                "/call.XXXXXX\")\n{ printf '%s\\n' \"$#\"; for a in \"$@\"; do printf '%s\\n' \"$a\"; "
                                "done; } > \"$call\"\nmv \"$call\" \"$call.done\"\n");
        fs::permissions(root / "bin" / "xdg-open", fs::perms::owner_all);
        ::setenv("PATH", ((root / "bin").string() + ":" + savedPath).c_str(), 1);
    }
    void TearDown() override { ::setenv("PATH", savedPath.c_str(), 1); }

    std::multiset<std::string> calls() const {
        std::multiset<std::string> recorded;
        for (const auto& entry : fs::directory_iterator(root / "calls")) {
            if (entry.path().extension() != ".done") {
                continue;  // still being written
            }
            std::ifstream file(entry.path());
            std::stringstream text;
            text << file.rdbuf();
            recorded.insert(text.str());
        }
        return recorded;
    }
    // Waits, in real time, for `count` starts to have been recorded.
    std::multiset<std::string> callsOnceThereAre(std::size_t count) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        auto recorded = calls();
        while (recorded.size() < count && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            recorded = calls();
        }
        return recorded;
    }
};

TEST_F(DesktopOpenerTest, LinksAndOurFoldersReachTheDesktopAsOneArgumentEach) {
    const fs::path folder = root / "Library" / "it's \"Messages\"; rm -rf ~";
    fs::create_directories(folder);
    const std::string sms = "sms:+1 555 0100;it's \"quoted\"";
    const std::string mail = "mailto:Ann Lee <ann@example.com>?subject=a;b 'c'";
    const std::string web = "https://mail.google.com/mail/u/0/#inbox/18c2;x='1'";
    ThreadPoolExecutor workers;
    DesktopOpener opener(workers);
    EXPECT_TRUE(opener.openLink(sms, {}));
    EXPECT_TRUE(opener.openLink(mail, {}));
    EXPECT_TRUE(opener.openLink(web, {}));
    opener.openFolder(folder);
    EXPECT_EQ(callsOnceThereAre(4), (std::multiset<std::string>{"1\n" + sms + "\n", "1\n" + mail + "\n",
                                                                "1\n" + web + "\n", "1\n" + folder.string() + "\n"}));
}

TEST_F(DesktopOpenerTest, OtherSchemesAndFoldersStartNothing) {
    ManualBackgroundExecutor workers;
    DesktopOpener opener(workers);
    for (const auto* link :
         {"file:///etc/passwd", "javascript:alert(1)", "ssh://host", "x-man-page://ls", "smsto:+15550100", "", "sms"}) {
        EXPECT_FALSE(opener.openLink(link, {}));
    }
    EXPECT_EQ(workers.pending(), 0u);

    opener.openFolder("relative/folder");
    opener.openFolder(root / "missing");
    workers.runAll();
    EXPECT_TRUE(calls().empty());
}

TEST_F(DesktopOpenerTest, TheMainThreadOnlyQueuesTheFolderOpening) {
    ManualBackgroundExecutor workers;
    DesktopOpener opener(workers);
    opener.openFolder(root.path());
    EXPECT_EQ(workers.pendingLabels(), std::vector<std::string>{"Open folder"});
    EXPECT_TRUE(calls().empty());
    workers.runAll();
    EXPECT_EQ(calls(), std::multiset<std::string>{"1\n" + root.path().string() + "\n"});
}

}  // namespace
}  // namespace nudgerly
