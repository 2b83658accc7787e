#include "demo/DemoShowcase.h"

#include <fstream>
#include <stdexcept>

#include "chatdb/KeyedArchiveWriter.h"
#include "chatdb/PngImage.h"
#include "sources/messages/MessagePayloads.h"

namespace nudgerly::test::DemoShowcase {
namespace {

using namespace std::chrono_literals;

struct Person {
    std::string given;
    std::string family;
    std::string handle;  // numbers the generated chatter never uses
};

const std::vector<Person>& people() {
    static const std::vector<Person> all{{"Maya", "Brooks", "+14155550201"},  {"Jordan", "Ellis", "+14155550202"},
                                         {"Farah", "Quinn", "+14155550203"},  {"Leo", "Marsh", "+14155550204"},
                                         {"Tess", "Alvarez", "+14155550205"}, {"Owen", "Hart", "+14155550206"},
                                         {"Ruth", "Lang", "+14155550207"}};
    return all;
}

const std::string& handleOf(std::string_view given) {
    for (const Person& person : people()) {
        if (person.given == given) {
            return person.handle;
        }
    }
    throw std::logic_error("No showcase person named " + std::string(given));
}

struct Turn {
    bool fromMe = false;
    std::string text;
    std::chrono::seconds ago;
};

void oneToOne(MessagesDatabaseBuilder& builder, BulkContents& added, std::string_view given,
              const std::vector<Turn>& turns) {
    const std::string& handle = handleOf(given);
    const int64_t chat = builder.oneToOneChat(handle);
    for (const Turn& turn : turns) {
        if (turn.fromMe) {
            builder.sent(chat, turn.text, turn.ago);
        } else {
            builder.received(chat, handle, turn.text, turn.ago);
        }
    }
    ++added.chats;
    added.messages += static_cast<int64_t>(turns.size());
}

// A sign-up sheet shared with its preview picture, as Messages keeps a link it has fetched.
void sharedSignUpSheet(MessagesDatabaseBuilder& builder, BulkContents& added, const std::filesystem::path& home) {
    const std::string& handle = handleOf("Tess");
    const int64_t chat = builder.oneToOneChat(handle);
    builder.received(chat, handle, "Please sign up for a shift at the spring fair", 2h + 10min);
    const std::string url = "https://www.signupgenius.com/go/spring-fair-volunteers";
    const int64_t link = builder.message(
        chat, {.text = url,
               .handle = handle,
               .ago = 2h + 9min,
               .balloonBundleID = std::string(MessagePayloads::urlBalloonProvider),
               .payloadData =
                   richLinkArchive({.url = ArchivedUrl{.relative = url}, .title = "Spring Fair Volunteer Sign Up"})});
    const std::string name = "~/Library/Messages/Attachments/5f/02/DEMO0001/spring-fair.pluginPayloadAttachment";
    const std::filesystem::path picture = home / name.substr(2);
    std::filesystem::create_directories(picture.parent_path());
    std::ofstream(picture, std::ios::binary) << pngImage(600, 315, 0x2E7D32, 0xFBC02D);
    builder.attach(link, name, 600 * 315);
    ++added.chats;
    added.messages += 2;
    ++added.linkPreviews;
}

}  // namespace

BulkContents add(MessagesDatabaseBuilder& builder, const std::filesystem::path& home,
                 const std::string& userFirstName) {
    BulkContents added;
    // Basic Mode owes a reply to a question, an action to a request to sign, and an optional
    // follow-up to an open loop.
    oneToOne(builder, added, "Maya",
             {{true, "Loved the photos from the lake!", 3h},
              {false, "Are you still up for climbing on Thursday? I can book the wall for 7.", 25min}});
    oneToOne(builder, added, "Jordan",
             {{false, "Hi! The lease renewal is ready in the tenant portal.", 5h},
              {false, "Please sign it by Friday so I can send it to the owner.", 4h + 50min}});
    oneToOne(
        builder, added, "Farah",
        {{true, "So good to see you at the reunion", 48h}, {false, "Same! We should catch up properly soon", 44h}});
    oneToOne(builder, added, "Leo", {{false, "Can you send me the photos from Saturday?", 26h}});
    sharedSignUpSheet(builder, added, home);

    const int64_t group =
        builder.groupChat({handleOf("Owen"), handleOf("Ruth"), handleOf("Maya")}, std::string("Cabin Weekend"));
    builder.received(group, handleOf("Owen"), "Cabin is booked for the 14th!", 6h);
    builder.received(group, handleOf("Ruth"), "Yay, I'll bring snacks", 5h + 50min);
    builder.received(group, handleOf("Owen"), userFirstName + ", can you bring the speaker and the board games?",
                     5h + 30min);
    ++added.chats;
    added.messages += 3;

    for (const Person& person : people()) {
        added.contacts.push_back({.identifier = "showcase-" + person.handle.substr(person.handle.size() - 3),
                                  .givenName = person.given,
                                  .familyName = person.family,
                                  .phoneNumbers = {person.handle}});
    }
    return added;
}

}  // namespace nudgerly::test::DemoShowcase
