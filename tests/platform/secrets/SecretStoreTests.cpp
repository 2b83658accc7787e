#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "core/CancelledError.h"
#include "core/FileSystemError.h"
#include "files/TempDir.h"
#include "platform/secrets/SecretStore.h"
#include "support/ScriptedKeyring.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;
using Call = test::ScriptedKeyring::Call;

const std::string account = "gmail-oauth-tokens";

class SecretStoreTests : public ::testing::Test {
protected:
    fs::path fileOf(const std::string& name) const { return files.folder() / SecretFileStore::fileName(name); }
    fs::path marker() const { return files.folder() / SecretStore::removalMarkerName(account); }

    test::TempDir dir;
    SecretFileStore files{dir / "secrets", "com.nudgerly.local"};
    std::shared_ptr<test::ScriptedKeyring> keyring = std::make_shared<test::ScriptedKeyring>();
    SecretStore store{files, keyring};
};

TEST_F(SecretStoreTests, WithoutAKeyringSecretsLiveInFilesAlone) {
    const SecretStore filesOnly(dir / "secrets", "com.nudgerly.local");
    filesOnly.save("one", account);
    filesOnly.save("two", account);
    EXPECT_EQ(filesOnly.load(account), "two");
    EXPECT_EQ(test::fileMode(fileOf(account)), 0600u);
    filesOnly.remove(account);
    EXPECT_EQ(filesOnly.load(account), std::nullopt);
    EXPECT_TRUE(fs::is_empty(files.folder()));  // no removal marker without a keyring to finish it
}

TEST_F(SecretStoreTests, ALoadMovesTheNewerFileIntoTheKeyringOnlyOnceItReadsBack) {
    files.save("newest", account);
    keyring->putItem(account, "older");
    std::optional<bool> fileDuringReadBack;
    keyring->setHook([&](Call call, const std::string&, std::stop_token) {
        if (call == Call::load) {
            fileDuringReadBack = fs::exists(fileOf(account));
        }
    });
    EXPECT_EQ(store.load(account), "newest");
    EXPECT_EQ(keyring->item(account), "newest");
    EXPECT_EQ(fileDuringReadBack, true);
    EXPECT_FALSE(fs::exists(fileOf(account)));
    EXPECT_EQ(keyring->calls(), (std::vector<std::string>{"save:" + account, "load:" + account}));
    keyring->setHook({});

    // Whatever goes wrong on the way, the file stays and is still the answer.
    files.save("kept", account);
    keyring->corruptReads("garbled");
    EXPECT_EQ(store.load(account), "kept");
    EXPECT_TRUE(fs::exists(fileOf(account)));
    keyring->corruptReads(std::nullopt);
    keyring->failCalls({Call::save});
    EXPECT_EQ(store.load(account), "kept");
    keyring->failCalls({});
    keyring->setReachable(false);
    EXPECT_EQ(store.load(account), "kept");
    EXPECT_EQ(files.load(account), "kept");

    // Once the keyring answers again the move completes, and later loads come from the keyring.
    keyring->setReachable(true);
    EXPECT_EQ(store.load(account), "kept");
    EXPECT_FALSE(fs::exists(fileOf(account)));
    EXPECT_EQ(store.load(account), "kept");
}

TEST_F(SecretStoreTests, SavesGoToTheKeyringAndToAFileOnlyWhenItCannotTakeThem) {
    store.save("one", account);
    EXPECT_EQ(keyring->item(account), "one");
    EXPECT_FALSE(fs::exists(files.folder()));

    files.save("stale", account);
    store.save("two", account);
    EXPECT_EQ(keyring->item(account), "two");
    EXPECT_FALSE(fs::exists(fileOf(account)));  // an older file would otherwise pass for the newest copy

    keyring->setReachable(false);
    store.save("three", account);
    EXPECT_EQ(files.load(account), "three");
    EXPECT_EQ(test::fileMode(fileOf(account)), 0600u);
    EXPECT_EQ(store.load(account), "three");

    keyring->setReachable(true);
    keyring->failCalls({Call::save});
    store.save("four", account);
    EXPECT_EQ(files.load(account), "four");
    EXPECT_EQ(keyring->item(account), "two");
    keyring->failCalls({});
    EXPECT_EQ(store.load(account), "four");
    EXPECT_EQ(keyring->item(account), "four");
}

TEST_F(SecretStoreTests, ASaveFailsOnlyWhenBothStoresDoAndThenKeepsThePreviousSecret) {
    keyring->setReachable(false);
    store.save("old tokens", account);
    {
        test::FileSizeLimit limit(16);
        EXPECT_THROW(store.save(std::string(4096, 'n'), account), FileSystemError);
    }
    EXPECT_EQ(store.load(account), "old tokens");

    keyring->setReachable(true);
    EXPECT_EQ(store.load(account), "old tokens");  // moved into the keyring
    keyring->failCalls({Call::save});
    {
        test::FileSizeLimit limit(16);
        EXPECT_THROW(store.save(std::string(4096, 'n'), account), FileSystemError);
    }
    keyring->failCalls({});
    EXPECT_EQ(store.load(account), "old tokens");
}

TEST_F(SecretStoreTests, ARemovalThatMissedTheKeyringIsFinishedBeforeAnythingElse) {
    keyring->putItem(account, "tokens");
    files.save("file tokens", account);
    keyring->setReachable(false);
    store.remove(account);
    EXPECT_FALSE(fs::exists(fileOf(account)));
    EXPECT_TRUE(fs::exists(marker()));
    EXPECT_EQ(store.load(account), std::nullopt);

    // Back, but still unable to delete: its stale item is never served.
    keyring->setReachable(true);
    keyring->failCalls({Call::remove});
    EXPECT_EQ(store.load(account), std::nullopt);
    EXPECT_EQ(keyring->item(account), "tokens");
    EXPECT_TRUE(fs::exists(marker()));

    keyring->failCalls({});
    EXPECT_EQ(store.load(account), std::nullopt);
    EXPECT_EQ(keyring->item(account), std::nullopt);
    EXPECT_FALSE(fs::exists(marker()));

    // A save made after a missed removal deletes the old item first, then stores the new one.
    keyring->putItem(account, "tokens");
    keyring->setReachable(false);
    store.remove(account);
    keyring->setReachable(true);
    store.save("new tokens", account);
    EXPECT_EQ(keyring->calls().back(), "save:" + account);
    EXPECT_EQ(keyring->calls()[keyring->calls().size() - 2], "remove:" + account);
    EXPECT_EQ(store.load(account), "new tokens");
    EXPECT_FALSE(fs::exists(marker()));
}

TEST_F(SecretStoreTests, AStopIsPassedOnAndNeverTakenForAFailingKeyring) {
    keyring->setHook([](Call call, const std::string&, std::stop_token) {
        if (call != Call::load) {
            throw CancelledError();
        }
    });
    EXPECT_THROW(store.save("tokens", account), CancelledError);
    EXPECT_EQ(files.load(account), std::nullopt);

    keyring->putItem(account, "tokens");
    EXPECT_THROW(store.remove(account), CancelledError);
    EXPECT_TRUE(fs::exists(marker()));  // the item may still be there, so it is removed later
    keyring->setHook({});
    EXPECT_EQ(store.load(account), std::nullopt);
    EXPECT_EQ(keyring->item(account), std::nullopt);
}

TEST_F(SecretStoreTests, CopiesTakeTurnsAndAWaitingCallerLeavesWhenStopped) {
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    keyring->setHook([&, released](Call call, const std::string&, std::stop_token) {
        if (call == Call::save) {
            entered.set_value();
            released.wait();
        }
    });
    std::thread saver([this] { store.save("tokens", account); });
    entered.get_future().wait();

    const SecretStore copy = store;
    std::stop_source stop;
    auto waiting = std::async(std::launch::async, [&] { return copy.load(account, stop.get_token()); });
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    stop.request_stop();
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(1)), std::future_status::ready);
    EXPECT_THROW(waiting.get(), CancelledError);

    release.set_value();
    saver.join();
    EXPECT_EQ(keyring->calls(), std::vector<std::string>{"save:" + account});
    EXPECT_EQ(copy.load(account), "tokens");
}

}  // namespace
}  // namespace nudgerly
