// The secret store against a real Secret Service (gnome-keyring-daemon) on a private session bus. These
// tests run only inside with-private-keyring.sh, which CTest puts in front of them. The cases of
// KeyringTests leave the session as they found it and share one run (and so one bus and keyring), each
// under a service name of its own; those of KeyringSessionTests change the session or lock its keyring,
// and each runs in a process and session of its own, since the bus library keeps one session bus per
// process.
#include <cstdlib>
#include <memory>
#include <vector>

#include <gtest/gtest.h>
#include <libsecret/secret.h>

#include "core/CancelledError.h"
#include "files/TempDir.h"
#include "platform/secrets/SecretServiceStore.h"
#include "platform/secrets/SecretStore.h"
#include "platform/secrets/keyring/PrivateBus.h"
#include "storage/AppEnvironment.h"
#include "storage/AppFiles.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;

const std::string account = "gmail-oauth-tokens";

// What the keyring holds for an account, read with libsecret directly rather than through our code.
struct StoredItem {
    std::string label;
    std::string bytes;
};

std::vector<StoredItem> storedItems(const std::string& itemService, const std::string& itemAccount) {
    static const SecretSchema schema = {
        SecretServiceStore::schemaName,
        SECRET_SCHEMA_NONE,
        {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING}, {"account", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, {}}},
    };
    GError* error = nullptr;
    GHashTable* attributes =
        secret_attributes_build(&schema, "service", itemService.c_str(), "account", itemAccount.c_str(), nullptr);
    GList* items = secret_service_search_sync(
        nullptr, &schema, attributes, static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS),
        nullptr, &error);
    g_hash_table_unref(attributes);
    if (error != nullptr) {
        ADD_FAILURE() << "searching the keyring failed: " << error->message;
        g_error_free(error);
        return {};
    }
    std::vector<StoredItem> found;
    for (GList* entry = items; entry != nullptr; entry = entry->next) {
        auto* item = static_cast<SecretItem*>(entry->data);
        StoredItem stored;
        gchar* label = secret_item_get_label(item);
        stored.label = label;
        g_free(label);
        if (SecretValue* value = secret_item_get_secret(item)) {
            gsize length = 0;
            const gchar* bytes = secret_value_get(value, &length);
            stored.bytes.assign(bytes, length);
            secret_value_unref(value);
        }
        found.push_back(stored);
    }
    g_list_free_full(items, g_object_unref);
    return found;
}

// Locks the login keyring, as after a screen lock; the desktop would ask to unlock it again.
void lockDefaultCollection() {
    GError* error = nullptr;
    SecretService* keyringService = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
    ASSERT_NE(keyringService, nullptr) << error->message;
    SecretCollection* collection = secret_collection_for_alias_sync(keyringService, SECRET_COLLECTION_DEFAULT,
                                                                    SECRET_COLLECTION_NONE, nullptr, &error);
    ASSERT_NE(collection, nullptr) << (error != nullptr ? error->message : "no default collection");
    GList objects{};
    objects.data = collection;
    GList* locked = nullptr;
    secret_service_lock_sync(keyringService, &objects, nullptr, &locked, &error);
    EXPECT_EQ(g_list_length(locked), 1u);
    g_list_free_full(locked, g_object_unref);
    g_object_unref(collection);
    g_object_unref(keyringService);
}

class KeyringTests : public ::testing::Test {
protected:
    void SetUp() override {
        // Refuse to run anywhere but in the wrapper's private session, so no test can ever touch the
        // keyring of the person running it.
        const char* root = std::getenv("NUDGERLY_PRIVATE_KEYRING");
        const char* bus = std::getenv("NUDGERLY_PRIVATE_KEYRING_BUS");
        const char* sessionBus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        const char* home = std::getenv("HOME");
        const char* dataHome = std::getenv("XDG_DATA_HOME");
        ASSERT_TRUE(root != nullptr && bus != nullptr && sessionBus != nullptr && home != nullptr &&
                    dataHome != nullptr && std::string(bus) == sessionBus &&
                    fs::path(home) == fs::path(root) / "home" && fs::path(dataHome) == fs::path(root) / "data" &&
                    fs::exists(fs::path(dataHome) / "keyrings" / "login.keyring"))
            << "The keyring tests run only inside tests/platform/secrets/keyring/with-private-keyring.sh "
               "(CTest puts it in front of them), never against your own keyring.";
        privateRoot = root;
    }

    // Points this process at another bus, by its address or by the socket "bus" in the runtime folder.
    static void useOwnBus(const test::PrivateBus& own) {
        ::setenv("DBUS_SESSION_BUS_ADDRESS", own.address().c_str(), 1);
    }
    static void useOwnBusThroughRuntimeFolder(const fs::path& runtimeFolder) {
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
        ::setenv("XDG_RUNTIME_DIR", runtimeFolder.c_str(), 1);
    }

    fs::path fileOf(const std::string& name) const { return files.folder() / SecretFileStore::fileName(name); }

    fs::path privateRoot;
    test::TempDir dir;
    // Cases sharing a keyring never see each other's items.
    const std::string service = std::string("com.nudgerly.local.keyring-tests.") +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name();
    SecretFileStore files{dir / "secrets", service};
    std::shared_ptr<const Keyring> keyring = std::make_shared<SecretServiceStore>(service);
    // The same store while the keyring is away (no session bus as far as it can tell).
    std::shared_ptr<const Keyring> absentKeyring = std::make_shared<SecretServiceStore>(service, [] { return false; });
    SecretStore store{files, keyring};
    SecretStore storeWithoutKeyring{files, absentKeyring};
};

// Cases that change the session bus or lock the keyring must be the only one their process runs (as
// under CTest): the bus library keeps the first bus it connected to, and later cases would find the
// change.
class KeyringSessionTests : public KeyringTests {
protected:
    void SetUp() override {
        KeyringTests::SetUp();
        ASSERT_EQ(::testing::UnitTest::GetInstance()->test_to_run_count(), 1)
            << "This case changes the session or its keyring: run it alone (CTest runs each such case in its own "
               "process).";
    }
};

TEST_F(KeyringTests, ItemsHoldAnyBytesOnePerAccountAndGoWhenRemoved) {
    const std::string bytes("tokens\0with NUL \xff\xfe and invalid UTF-8", 37);
    keyring->save("first", account, {});
    keyring->save(bytes, account, {});
    EXPECT_EQ(keyring->load(account, {}), bytes);
    const std::vector<StoredItem> items = storedItems(service, account);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].label, "Nudgerly: gmail-oauth-tokens");
    // (The item is stored as "application/octet-stream"; the daemon keeps no content type to check.)
    EXPECT_EQ(items[0].bytes, bytes);
    EXPECT_EQ(keyring->load("another-account", {}), std::nullopt);

    keyring->remove(account, {});
    EXPECT_EQ(keyring->load(account, {}), std::nullopt);
    EXPECT_TRUE(storedItems(service, account).empty());
    EXPECT_NO_THROW(keyring->remove(account, {}));

    // A name the bus cannot carry is refused before anything is sent.
    EXPECT_THROW(keyring->save("x", std::string("nul\0name", 8), {}), KeyringError);
    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_THROW(keyring->save("x", account, stopped.get_token()), CancelledError);
    EXPECT_TRUE(storedItems(service, account).empty());
}

TEST_F(KeyringTests, TheStoreKeepsSecretsInTheKeyringAndNoFileBehind) {
    const std::string bytes("\0\x01\x80secret", 9);
    store.save("one", account);
    store.save(bytes, account);
    EXPECT_EQ(store.load(account), bytes);
    EXPECT_EQ(storedItems(service, account).size(), 1u);
    EXPECT_FALSE(fs::exists(files.folder()));

    store.remove(account);
    EXPECT_EQ(store.load(account), std::nullopt);
    EXPECT_TRUE(storedItems(service, account).empty());
}

TEST_F(KeyringTests, AFileStoredTokenMovesIntoTheKeyring) {
    files.save("file tokens", account);
    EXPECT_EQ(store.load(account), "file tokens");
    EXPECT_EQ(keyring->load(account, {}), "file tokens");
    EXPECT_FALSE(fs::exists(fileOf(account)));
    EXPECT_EQ(store.load(account), "file tokens");
}

TEST_F(KeyringTests, AFileWrittenWhileTheKeyringWasAwayWinsOverItsOlderItem) {
    store.save("older", account);
    storeWithoutKeyring.save("newer", account);
    EXPECT_EQ(files.load(account), "newer");
    EXPECT_EQ(keyring->load(account, {}), "older");

    EXPECT_EQ(store.load(account), "newer");
    EXPECT_EQ(keyring->load(account, {}), "newer");
    EXPECT_FALSE(fs::exists(fileOf(account)));
}

TEST_F(KeyringTests, ARemoveMadeWithoutTheKeyringLeavesNoItemOnceItReturns) {
    store.save("tokens", account);
    storeWithoutKeyring.remove(account);
    EXPECT_EQ(storeWithoutKeyring.load(account), std::nullopt);
    EXPECT_EQ(storedItems(service, account).size(), 1u);

    EXPECT_EQ(store.load(account), std::nullopt);
    EXPECT_TRUE(storedItems(service, account).empty());
    EXPECT_FALSE(fs::exists(files.folder() / SecretStore::removalMarkerName(account)));
}

TEST_F(KeyringSessionTests, ALockedKeyringWhoseUnlockIsRefusedLosesNothing) {
    store.save("in the keyring", account);
    lockDefaultCollection();
    // No one answers the unlock prompt here, so the secret goes to a file.
    store.save("newer", account);
    EXPECT_EQ(files.load(account), "newer");
    EXPECT_EQ(store.load(account), "newer");
    // Removing cannot delete the locked item, so it is deleted later, when the keyring can be used.
    store.remove(account);
    EXPECT_EQ(store.load(account), std::nullopt);
    EXPECT_TRUE(fs::exists(files.folder() / SecretStore::removalMarkerName(account)));
    EXPECT_EQ(storedItems(service, account).size(), 1u);
}

TEST_F(KeyringSessionTests, NoSessionBusMeansPrivateFiles) {
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);  // and no bus socket there
    const SecretStore defaultStore(files, std::make_shared<SecretServiceStore>(service));
    defaultStore.save("tokens", account);
    EXPECT_EQ(defaultStore.load(account), "tokens");
    EXPECT_EQ(files.load(account), "tokens");
    EXPECT_EQ(test::fileMode(fileOf(account)), 0600u);
    EXPECT_EQ(test::fileMode(files.folder()), 0700u);
    defaultStore.remove(account);
    EXPECT_EQ(defaultStore.load(account), std::nullopt);
}

TEST_F(KeyringSessionTests, ABusWithoutASecretServiceMeansPrivateFiles) {
    const test::PrivateBus bus(dir / "bus", std::nullopt);
    useOwnBus(bus);
    EXPECT_THROW(keyring->load(account, {}), KeyringError);  // nothing answers
    store.save("tokens", account);
    EXPECT_EQ(store.load(account), "tokens");
    EXPECT_EQ(files.load(account), "tokens");
    EXPECT_EQ(test::fileMode(fileOf(account)), 0600u);
}

TEST_F(KeyringSessionTests, ADaemonThatRefusesFallsBackOnSaveAndLosesNothing) {
    // A keyring daemon of its own, with no keyring unlocked and no prompter to ask for one.
    const fs::path daemonHome = dir / "daemon";
    for (const char* folder : {"home", "data", "config", "runtime"}) {
        fs::create_directories(daemonHome / folder);
    }
    fs::permissions(daemonHome / "runtime", fs::perms::owner_all);
    const std::string command =
        "/usr/bin/env HOME=" + (daemonHome / "home").string() + " XDG_DATA_HOME=" + (daemonHome / "data").string() +
        " XDG_CONFIG_HOME=" + (daemonHome / "config").string() +
        " XDG_RUNTIME_DIR=" + (daemonHome / "runtime").string() + " " +
        test::executableOnPath("gnome-keyring-daemon").string() + " --start --foreground --components=secrets";
    const test::PrivateBus bus(dir / "runtime", command);
    useOwnBusThroughRuntimeFolder(dir / "runtime");
    EXPECT_EQ(keyring->load(account, {}), std::nullopt);  // it answers: nothing there

    files.save("previous", account);
    EXPECT_EQ(store.load(account), "previous");
    EXPECT_EQ(files.load(account), "previous");  // the move failed, so the file stays
    store.save("tokens", account);
    EXPECT_EQ(files.load(account), "tokens");
    EXPECT_EQ(store.load(account), "tokens");
    EXPECT_THROW(keyring->save("tokens", account, {}), KeyringError);  // asked, and refused
}

TEST_F(KeyringTests, TheProcessEnvironmentKeepsItsSecretsInTheKeyring) {
    const AppEnvironment environment = AppEnvironment::forProcess();
    EXPECT_EQ(environment.configurationDirectory.parent_path(), privateRoot / "config");
    environment.secrets.save("tokens", account);
    EXPECT_EQ(environment.secrets.load(account), "tokens");
    EXPECT_EQ(storedItems(environment.names.keychainService, account).size(), 1u);
    EXPECT_FALSE(fs::exists(AppFiles::secretsDirectory(environment.configurationDirectory)));
    environment.secrets.remove(account);
    EXPECT_TRUE(storedItems(environment.names.keychainService, account).empty());
}

}  // namespace
}  // namespace nudgerly
