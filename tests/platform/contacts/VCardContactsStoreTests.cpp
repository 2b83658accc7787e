#include <atomic>
#include <chrono>
#include <filesystem>
#include <semaphore>
#include <thread>

#include <gtest/gtest.h>

#include "core/CancelledError.h"
#include "core/Files.h"
#include "files/TempDir.h"
#include "platform/contacts/VCardContactsStore.h"
#include "queues/ManualMainQueue.h"
#include "support/PostWatchingMainQueue.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::PostWatchingMainQueue;
using test::TempDir;
using test::writeTestFile;
using Status = ContactsAuthorizationStatus;

std::string card(const std::string& uid, const std::string& name, const std::string& phone) {
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + uid + "\r\nN:" + name + "\r\nTEL:" + phone + "\r\nEND:VCARD\r\n";
}

// Answers the Contacts question as scripted and counts how often it was put.
class ScriptedPrompt : public ContactsAccessPrompt {
public:
    explicit ScriptedPrompt(bool answer) : answer_(answer) {}
    bool askForContactsAccess(std::stop_token stop) override {
        ++asked;
        if (waitForStop) {
            prompting.release();
            std::mutex mutex;
            std::condition_variable_any never;
            std::unique_lock lock(mutex);
            never.wait(lock, stop, [] { return false; });
        }
        return answer_;
    }
    std::atomic<int> asked{0};
    bool waitForStop = false;
    std::binary_semaphore prompting{0};  // released as the prompt begins waiting for its stop

private:
    bool answer_;
};

class VCardContactsStoreTest : public ::testing::Test {
protected:
    TempDir home;
    fs::path contacts = home / "data/contacts";
    fs::path configuration = home / "config/nudgerly";
    PostWatchingMainQueue mainQueue;
    std::atomic<int> quiets{0};  // how often the stores' watchers were done with every change so far

    std::unique_ptr<VCardContactsStore> makeStore(std::shared_ptr<ContactsAccessPrompt> prompt = nullptr,
                                                  VCardContactsStore::Limits limits = {}) {
        limits.watching.onQuiet = [this] { ++quiets; };
        return std::make_unique<VCardContactsStore>(contacts, configuration, mainQueue, std::move(prompt), limits);
    }
    void decide(const std::string& json) { writeTestFile(configuration / "contacts-access.json", json); }
};

TEST_F(VCardContactsStoreTest, ReadsEveryCardFileBelowTheFolderAndReportsWhatItCannotRead) {
    writeTestFile(contacts / "a.vcf", card("a", "Lee;Kim", "+1 555 010 0101") + card("b", "Park;Jo", "555 0102"));
    writeTestFile(contacts / "account/b.VCF",
                  "BEGIN:VCARD\nVERSION:4.0\nUID:c\nFN:Sam\n Rivera\nitem2.EMAIL;TYPE=work:sam@example.com\nEND:VCARD\n"
                  "BEGIN:VCARD\nVERSION:4.0\nUID:broken\nN:Never;Ends\n");
    writeTestFile(contacts / "account/deeper/org.vcf",
                  "BEGIN:VCARD\nVERSION:4.0\nUID:d\nKIND:org\nFN:Acme\nORG:Acme\nTEL:tel:+15550103\nEND:VCARD\n");
    writeTestFile(contacts / "notes.txt", card("x", "Not;Read", "1"));
    fs::create_symlink("loop.vcf", contacts / "account/loop.vcf");  // unreadable even for root
    decide(R"({"status": "authorized"})");

    const auto store = makeStore();
    const ContactsFetchResult result = store->fetchContacts({});
    // Files in path order, cards in file order; the card that never ends is left out.
    ASSERT_EQ(result.contacts.size(), 4u);
    EXPECT_EQ(result.contacts[0].givenName, "Kim");
    EXPECT_EQ(result.contacts[1].givenName, "Jo");
    EXPECT_EQ(result.contacts[2].givenName, "SamRivera");
    EXPECT_EQ(result.contacts[2].emailAddresses, (std::vector<std::string>{"sam@example.com"}));
    EXPECT_EQ(result.contacts[3].contactType, ContactType::organization);
    EXPECT_EQ(result.contacts[3].phoneNumbers, (std::vector<std::string>{"+15550103"}));
    EXPECT_EQ(result.errors, (std::vector<std::string>{
                                 "Couldn't read the contacts file \u201Caccount/loop.vcf\u201D: The path has too many "
                                 "symbolic links."}));
}

TEST_F(VCardContactsStoreTest, AccessFollowsTheStoredDecision) {
    writeTestFile(contacts / "a.vcf", card("a", "Lee;Kim", "1") + card("b", "Park;Jo", "2") + card("", "No;Uid", "3"));
    const auto store = makeStore();
    EXPECT_EQ(store->authorizationStatus(), Status::notDetermined);
    EXPECT_TRUE(store->fetchContacts({}).contacts.empty());
    EXPECT_FALSE(store->currentHistoryToken());

    decide(R"({"status": "limited", "allowed": ["b", "nobody"]})");
    EXPECT_EQ(store->authorizationStatus(), Status::limited);
    const auto limited = store->fetchContacts({});
    ASSERT_EQ(limited.contacts.size(), 1u);
    EXPECT_EQ(limited.contacts[0].identifier, "b");

    decide(R"({"status": "denied"})");
    EXPECT_EQ(store->authorizationStatus(), Status::denied);
    EXPECT_TRUE(store->fetchContacts({}).contacts.empty());
    EXPECT_FALSE(store->currentHistoryToken());

    for (const char* unusable :
         {"{\"status\": \"authorised\"}", "[\"authorized\"]", "{\"status\": \"limited\", \"allowed\": [1]}", "not json",
          "{\"status\": \"authorized\"", ""}) {
        decide(unusable);
        EXPECT_EQ(store->authorizationStatus(), Status::notDetermined) << unusable;
    }

    // A contacts folder that exists but cannot be read is beyond the user's decision.
    decide(R"({"status": "authorized"})");
    fs::remove_all(contacts);
    writeTestFile(contacts, "a file where the folder belongs");
    EXPECT_EQ(store->authorizationStatus(), Status::restricted);
    fs::remove(contacts);
    EXPECT_EQ(store->authorizationStatus(), Status::authorized);  // no folder yet: simply no contacts
    EXPECT_TRUE(store->fetchContacts({}).errors.empty());
}

TEST(ContactsAccessDecisionTests, WritesWhatItReads) {
    const ContactsAccessDecision limited{.status = Status::limited, .allowed = {"b", "a/\"x\""}};
    EXPECT_EQ(ContactsAccessDecision::parse(limited.encoded()), limited);
    const ContactsAccessDecision denied{.status = Status::denied};
    EXPECT_EQ(denied.encoded().find("allowed"), std::string::npos);
    EXPECT_EQ(ContactsAccessDecision::parse(denied.encoded()), denied);
    // A limited grant without a list shows nobody; other statuses ignore the list.
    EXPECT_EQ(ContactsAccessDecision::parse(R"({"status": "limited"})"),
              (ContactsAccessDecision{.status = Status::limited}));
    EXPECT_EQ(ContactsAccessDecision::parse(R"({"status": "authorized", "allowed": ["z"], "note": 1})")->status,
              Status::authorized);
}

TEST_F(VCardContactsStoreTest, AsksOnlyWhenUndecidedAndRecordsTheAnswerPrivately) {
    const auto allow = std::make_shared<ScriptedPrompt>(true);
    const auto store = makeStore(allow);
    EXPECT_TRUE(store->requestAccess({}));
    EXPECT_EQ(allow->asked, 1);
    EXPECT_EQ(store->authorizationStatus(), Status::authorized);
    EXPECT_EQ(test::fileMode(configuration / "contacts-access.json"), 0600u);
    EXPECT_EQ(test::fileMode(configuration), 0700u);
    EXPECT_TRUE(store->requestAccess({}));
    EXPECT_EQ(allow->asked, 1);

    decide(R"({"status": "denied"})");
    EXPECT_FALSE(store->requestAccess({}));
    EXPECT_EQ(allow->asked, 1);
    // Asked again on request, a refusal is put to the user once more; a grant never is.
    EXPECT_TRUE(store->requestAccess({}, AccessQuestion::evenAfterRefusal));
    EXPECT_EQ(allow->asked, 2);
    EXPECT_EQ(store->authorizationStatus(), Status::authorized);
    EXPECT_TRUE(store->requestAccess({}, AccessQuestion::evenAfterRefusal));
    EXPECT_EQ(allow->asked, 2);

    fs::remove(configuration / "contacts-access.json");
    const auto refuse = std::make_shared<ScriptedPrompt>(false);
    EXPECT_FALSE(makeStore(refuse)->requestAccess({}));
    EXPECT_EQ(makeStore()->authorizationStatus(), Status::denied);

    // Without a prompt nobody can answer: nothing is granted and nothing recorded.
    fs::remove(configuration / "contacts-access.json");
    EXPECT_FALSE(makeStore()->requestAccess({}));
    EXPECT_FALSE(fs::exists(configuration / "contacts-access.json"));
}

TEST_F(VCardContactsStoreTest, ADamagedAnswerIsKeptAsideAndTheQuestionPutAgain) {
    for (const std::string& damaged : {std::string(R"({"status": )"), std::string(R"({"status": "maybe"})"),
                                       R"({"status": "authorized", "pad": ")" + std::string(1 << 20, 'x') + "\"}"}) {
        fs::remove_all(configuration);
        decide(damaged);
        const auto prompt = std::make_shared<ScriptedPrompt>(true);
        const auto store = makeStore(prompt);
        std::vector<fs::path> aside;
        for (const auto& entry : fs::directory_iterator(configuration)) {
            aside.push_back(entry.path());
        }
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_EQ(aside[0].filename().string().rfind("contacts-access.json.corrupt-", 0), 0u) << aside[0];
        EXPECT_EQ(store->decisionProblem(),
                  "Nudgerly's Contacts access file was damaged, so it was kept aside as \u201C" + aside[0].string() +
                      "\u201D and Nudgerly will ask for Contacts access again.");
        EXPECT_EQ(store->authorizationStatus(), Status::notDetermined);

        EXPECT_TRUE(store->requestAccess({}));
        EXPECT_EQ(prompt->asked, 1);
        EXPECT_EQ(store->authorizationStatus(), Status::authorized);
        EXPECT_EQ(readFile(aside[0]), damaged);
    }
    decide(R"({"status": "denied"})");
    EXPECT_EQ(makeStore()->decisionProblem(), std::nullopt);
}

TEST_F(VCardContactsStoreTest, AnAnswerThatCannotBeStoredOrIsInterruptedRecordsNothing) {
    writeTestFile(home / "config", "a file where the folder belongs");
    const auto allow = std::make_shared<ScriptedPrompt>(true);
    const auto store = makeStore(allow);
    try {
        store->requestAccess({});
        FAIL() << "expected ContactsAccessError";
    } catch (const ContactsAccessError& error) {
        EXPECT_STREQ(error.what(),
                     "Couldn't create the folder \u201Cnudgerly\u201D: A part of the path is not a folder.");
    }
    EXPECT_EQ(store->authorizationStatus(), Status::notDetermined);

    fs::remove(home / "config");
    allow->waitForStop = true;
    std::stop_source stop;
    std::jthread stopper([&] {
        allow->prompting.try_acquire_for(10s);
        stop.request_stop();
    });
    EXPECT_THROW(store->requestAccess(stop.get_token()), CancelledError);
    EXPECT_FALSE(fs::exists(configuration / "contacts-access.json"));
}

TEST_F(VCardContactsStoreTest, ReadsOnlyTheStartOfAnOversizedFile) {
    const std::string first = card("a", "Lee;Kim", "1");
    writeTestFile(contacts / "big.vcf", first + card("b", "Park;Jo", "2"));
    decide(R"({"status": "authorized"})");
    VCardContactsStore::Limits limits;
    limits.largestFile = first.size() + 10;
    const auto result = makeStore(nullptr, limits)->fetchContacts({});
    ASSERT_EQ(result.contacts.size(), 1u);
    EXPECT_EQ(result.contacts[0].identifier, "a");
    EXPECT_EQ(result.errors, (std::vector<std::string>{"The contacts file \u201C"
                                                       "big.vcf\u201D is too large to read "
                                                       "whole; the contacts at its end were left out."}));
}

TEST_F(VCardContactsStoreTest, HistoryTokenChangesWithEveryCardAndTheDecisionOnly) {
    writeTestFile(contacts / "a.vcf", card("a", "Lee;Kim", "1111"));
    writeTestFile(contacts / "sub/b.vcf", card("b", "Park;Jo", "2"));
    decide(R"({"status": "authorized"})");
    const auto store = makeStore();
    std::optional<std::string> token = store->currentHistoryToken();
    ASSERT_TRUE(token);
    EXPECT_EQ(token->size(), 32u);
    EXPECT_EQ(store->currentHistoryToken(), token);
    EXPECT_EQ(makeStore()->currentHistoryToken(), token);  // nothing kept between stores matters

    const auto expectNewToken = [&](const char* what) {
        const auto next = store->currentHistoryToken();
        EXPECT_NE(next, token) << what;
        token = next;
    };
    // Same size, same moment: the contents still count.
    writeTestFile(contacts / "a.vcf", card("a", "Lee;Kim", "2222"));
    expectNewToken("edit");
    writeTestFile(contacts / "sub/c.vcf", card("c", "New;One", "3"));
    expectNewToken("add");
    fs::remove(contacts / "sub/b.vcf");
    expectNewToken("delete");
    fs::rename(contacts / "sub/c.vcf", contacts / "sub/d.vcf");
    expectNewToken("rename");
    writeTestFile(contacts / "sub/notes.txt", "not a card");
    EXPECT_EQ(store->currentHistoryToken(), token);
    decide(R"({"status": "limited", "allowed": ["a"]})");
    expectNewToken("limited");
    decide(R"({"allowed": ["a"], "status": "limited"})");
    EXPECT_EQ(store->currentHistoryToken(), token);  // the same decision written differently
}

// Collects the store's change notifications, running the main queue as the window would. The
// watcher's quiet moments tell when it was done with the changes made so far, so that "nothing more
// came" is known without waiting out a period.
class Notifications {
public:
    Notifications(ManualMainQueue& queue, ContactsStore& store, const std::atomic<int>& quiets)
        : queue_(queue),
          quiets_(quiets),
          quietsSeen_(quiets.load()),
          subscription_(store.subscribe([this] { ++count; })) {}

    // Whether the changes made since the last call were announced exactly once, or not at all.
    bool exactlyOneMore() { return settle() == 1; }
    bool noneMore() { return settle() == 0; }

    int count = 0;

private:
    // Waits for the watcher to be done with the changes since the last call; how many announcements
    // they brought.
    int settle() {
        const int before = count;
        EXPECT_TRUE(queue_.runUntil([&] { return quiets_.load() > quietsSeen_; }, 10s))
            << "the watcher never went quiet";
        queue_.drain();  // what the last burst posted before going quiet
        quietsSeen_ = quiets_.load();
        return count - before;
    }

    ManualMainQueue& queue_;
    const std::atomic<int>& quiets_;
    int quietsSeen_;
    ContactsChangeSubscription subscription_;
};

// Shorter than the real quiet period, yet long enough that one step of a test (a folder and a file
// written) stays one burst on a loaded machine.
VCardContactsStore::Limits quickWatching() {
    VCardContactsStore::Limits limits;
    limits.watching.quietPeriod = 120ms;
    return limits;
}

TEST_F(VCardContactsStoreTest, AnnouncesEachBurstOfCardChangesOnce) {
    writeTestFile(contacts / "a.vcf", card("a", "Lee;Kim", "1"));
    decide(R"({"status": "authorized"})");
    VCardContactsStore::Limits limits;  // the real quiet period of 200 ms
    const auto store = makeStore(nullptr, limits);
    Notifications notifications(mainQueue, *store, quiets);

    // Twenty files written a few milliseconds apart are one burst.
    for (int i = 0; i < 20; ++i) {
        writeTestFile(contacts / ("sync/" + std::to_string(i) + ".vcf"),
                      card(std::to_string(i), "N;" + std::to_string(i), "1"));
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_TRUE(notifications.exactlyOneMore());

    writeTestFile(contacts / "a.vcf", card("a", "Lee;Kimberly", "1"));
    EXPECT_TRUE(notifications.exactlyOneMore());
    fs::remove(contacts / "sync/3.vcf");
    EXPECT_TRUE(notifications.exactlyOneMore());

    // Written again with the same bytes, or a file that is not a card: nothing the program reads moved.
    writeTestFile(contacts / "a.vcf", card("a", "Lee;Kimberly", "1"));
    writeTestFile(contacts / "sync/readme.txt", "x");
    EXPECT_TRUE(notifications.noneMore());
}

TEST_F(VCardContactsStoreTest, FollowsTheFolderWhenItIsMissingReplacedOrDeleted) {
    decide(R"({"status": "authorized"})");
    contacts = home / "data/not/yet/contacts";
    const auto store = makeStore(nullptr, quickWatching());
    Notifications notifications(mainQueue, *store, quiets);

    writeTestFile(contacts / "a.vcf", card("a", "Lee;Kim", "1"));  // the whole chain appears
    EXPECT_TRUE(notifications.exactlyOneMore());
    writeTestFile(contacts / "new/b.vcf", card("b", "Park;Jo", "2"));  // a new subfolder is watched too
    EXPECT_TRUE(notifications.exactlyOneMore());
    writeTestFile(contacts / "new/b.vcf", card("b", "Park;Joe", "2"));
    EXPECT_TRUE(notifications.exactlyOneMore());

    // Another sync run replaces the folder whole.
    const fs::path incoming = home / "data/not/yet/incoming";
    writeTestFile(incoming / "c.vcf", card("c", "Kay;Al", "3"));
    fs::rename(contacts, home / "data/not/yet/old");
    fs::rename(incoming, contacts);
    EXPECT_TRUE(notifications.exactlyOneMore());
    // Moved away, no longer ours: only the change to the new folder, which is watched, is announced.
    writeTestFile(home / "data/not/yet/old/a.vcf", card("a", "Gone;Away", "1"));
    writeTestFile(contacts / "c.vcf", card("c", "Kay;Alan", "3"));
    EXPECT_TRUE(notifications.exactlyOneMore());

    fs::remove_all(home / "data/not");
    EXPECT_TRUE(notifications.exactlyOneMore());
    writeTestFile(contacts / "d.vcf", card("d", "Back;Again", "4"));
    EXPECT_TRUE(notifications.exactlyOneMore());
}

TEST_F(VCardContactsStoreTest, WhileWatchingTheTokenIsWorkedOutOncePerAnnouncedChange) {
    // A card reached through a link: the watcher does not see the file it leads to change, so the
    // change shows in a watching store's token only once a burst has made the token anew.
    const fs::path outside = home / "elsewhere/linked.vcf";
    writeTestFile(outside, card("l", "Linked;Lou", "1"));
    fs::create_directories(contacts);
    fs::create_symlink(outside, contacts / "linked.vcf");
    decide(R"({"status": "authorized"})");
    const auto store = makeStore(nullptr, quickWatching());
    Notifications notifications(mainQueue, *store, quiets);
    const auto token = store->currentHistoryToken();
    ASSERT_TRUE(token);

    writeTestFile(outside, card("l", "Linked;Louise", "1"));
    EXPECT_EQ(store->currentHistoryToken(), token);        // no card was looked at again
    EXPECT_NE(makeStore()->currentHistoryToken(), token);  // a store that looks sees the change

    writeTestFile(contacts / "b.vcf", card("b", "Park;Jo", "2"));
    EXPECT_TRUE(notifications.exactlyOneMore());
    const auto next = store->currentHistoryToken();
    EXPECT_NE(next, token);
    EXPECT_EQ(next, makeStore()->currentHistoryToken());  // both changes are in it
}

TEST_F(VCardContactsStoreTest, AnnouncesDecisionChangesButNotItsOwnAnswer) {
    const auto allow = std::make_shared<ScriptedPrompt>(true);
    const auto store = makeStore(allow, quickWatching());
    Notifications notifications(mainQueue, *store, quiets);

    EXPECT_TRUE(store->requestAccess({}));
    EXPECT_TRUE(notifications.noneMore());

    decide(R"({"status": "denied"})");  // changed by hand while the program runs
    EXPECT_TRUE(notifications.exactlyOneMore());
    fs::remove_all(configuration);
    EXPECT_TRUE(notifications.exactlyOneMore());
    decide(R"({"status": "limited", "allowed": []})");  // the folder comes back with a new answer
    EXPECT_TRUE(notifications.exactlyOneMore());
}

TEST_F(VCardContactsStoreTest, EndedSubscriptionsAndDestroyedStoresDeliverNothing) {
    writeTestFile(contacts / "a.vcf", card("a", "Lee;Kim", "1"));
    decide(R"({"status": "authorized"})");
    auto store = makeStore(nullptr, quickWatching());
    int calls = 0;
    ContactsChangeSubscription subscription = store->subscribe([&] { ++calls; });
    writeTestFile(contacts / "a.vcf", card("a", "Lee;Kimberly", "1"));
    ASSERT_TRUE(mainQueue.runUntil([&] { return calls == 1; }, 5s));

    const std::size_t posted = mainQueue.postCount();
    writeTestFile(contacts / "a.vcf", card("a", "Lee;Kim", "1"));
    ASSERT_TRUE(mainQueue.waitForPostCount(posted + 1));  // the delivery is posted but not yet run
    subscription.cancel();
    mainQueue.drain();
    EXPECT_EQ(calls, 1);

    // The watcher's thread stops at once, even in the middle of a burst.
    subscription = store->subscribe([&] { ++calls; });
    writeTestFile(contacts / "a.vcf", card("a", "Lee;Kimmy", "1"));
    const auto before = std::chrono::steady_clock::now();
    store.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms);
    mainQueue.drain();  // the watcher is joined: whatever it posted is queued
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace nudgerly
