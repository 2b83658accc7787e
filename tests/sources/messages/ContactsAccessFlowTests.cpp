#include <gtest/gtest.h>

#include "files/TempDir.h"
#include "platform/contacts/ContactsPermission.h"
#include "platform/contacts/VCardContactsStore.h"
#include "queues/ManualMainQueue.h"
#include "sources/messages/MessagesContacts.h"
#include "storage/AppEnvironment.h"
#include "storage/AppFiles.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;

class AllowingPrompt : public ContactsAccessPrompt {
public:
    bool askForContactsAccess(std::stop_token) override {
        ++asked;
        return true;
    }
    int asked = 0;
};

// The road of a first run: never asked, the window's question, then names for handles; the answer
// lives with the settings, so deleting the local data keeps it.
TEST(ContactsAccessFlowTests, AskedOnceThenReadableAndKeptWhenLocalDataIsDeleted) {
    test::TempDir root;
    const AppEnvironment environment = AppEnvironment::underRoot(root.path());
    const fs::path contactsFolder = VCardContactsStore::contactsFolderIn(root / "data");
    test::writeTestFile(contactsFolder / "google/ann.vcf",
                        "BEGIN:VCARD\nVERSION:3.0\nN:Lee;Ann\nTEL;TYPE=CELL:+1 415 555 0123\nEND:VCARD\n");
    ManualMainQueue mainQueue;
    const auto prompt = std::make_shared<AllowingPrompt>();
    VCardContactsStore store(contactsFolder, environment.configurationDirectory, mainQueue, prompt);

    EXPECT_EQ(contactsPermission(store.authorizationStatus()), ContactsPermission::notDetermined);
    EXPECT_TRUE(MessagesContacts::loadContacts(store, {}).empty());
    EXPECT_TRUE(MessagesContacts::requestContacts(store, {}));
    EXPECT_EQ(prompt->asked, 1);
    EXPECT_EQ(contactsPermission(store.authorizationStatus()), ContactsPermission::granted);
    const auto contacts = MessagesContacts::loadContacts(store, {});
    EXPECT_EQ(MessagesContacts::lookUp(contacts, "+14155550123")->displayName, "Ann Lee");

    test::writeTestFile(environment.dataDirectory / "messages-snapshot.json", "{}");
    AppFiles::deleteLocalData(environment.dataDirectory);
    EXPECT_FALSE(fs::exists(environment.dataDirectory));
    EXPECT_TRUE(fs::exists(environment.configurationDirectory / "contacts-access.json"));
    EXPECT_TRUE(MessagesContacts::requestContacts(store, {}));
    EXPECT_EQ(prompt->asked, 1);
}

}  // namespace
}  // namespace nudgerly
