#include "demo/DemoHome.h"

#include <stdexcept>

#include "chatdb/VCardWriter.h"
#include "core/Files.h"
#include "demo/DemoShowcase.h"
#include "platform/contacts/ContactsAccessDecision.h"
#include "platform/contacts/VCardContactsStore.h"
#include "storage/AppEnvironment.h"

namespace nudgerly::test {

DemoHome layOutDemoHome(const std::filesystem::path& folder, const std::string& userFirstName, uint64_t seed,
                        Date now) {
    const std::filesystem::path home = std::filesystem::absolute(folder);
    if (std::filesystem::exists(home) && !std::filesystem::is_empty(home)) {
        throw std::runtime_error(home.string() + " is not empty; the demo home needs a new folder.");
    }
    DemoHome demo{
        .home = home,
        .dataHome = home / ".local" / "share",
        .configHome = home / ".config",
        .database = home / "Library" / "Messages" / "chat.db",
    };
    demo.contactsFolder = VCardContactsStore::contactsFolderIn(demo.dataHome);
    const AppEnvironment environment =
        AppEnvironment::withHomes(AppInfo(AppInfo::compiledDefaults()), demo.dataHome, demo.configHome);
    demo.accessDecision = environment.configurationDirectory / ContactsAccessDecision::fileName;

    std::filesystem::create_directories(demo.database.parent_path());
    MessagesDatabaseBuilder builder(demo.database, MessagesDatabaseBuilder::Journal::rollback, now);
    demo.contents = generateBulk(builder, {.seed = seed,
                                           .chats = 24,
                                           .messages = 320,
                                           .days = 30,
                                           .cardShare = 0.7,
                                           .userFirstName = userFirstName,
                                           .previewFiles = BulkOptions::PreviewFiles::pictures,
                                           .home = home});
    const BulkContents showcase = DemoShowcase::add(builder, home, userFirstName);
    builder.close();
    demo.contents.contacts.insert(demo.contents.contacts.end(), showcase.contacts.begin(), showcase.contacts.end());
    demo.contents.chats += showcase.chats;
    demo.contents.messages += showcase.messages;
    demo.contents.linkPreviews += showcase.linkPreviews;
    writeVCards(demo.contactsFolder, demo.contents.contacts);
    createPrivateDirectories(environment.configurationDirectory);
    writeFileAtomically(demo.accessDecision,
                        ContactsAccessDecision{.status = ContactsAuthorizationStatus::authorized}.encoded());
    return demo;
}

}  // namespace nudgerly::test
