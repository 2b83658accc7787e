#include <gtest/gtest.h>

#include "core/CancelledError.h"
#include "platform/contacts/ContactsPermission.h"
#include "queues/ManualMainQueue.h"
#include "sources/messages/MessagesContacts.h"
#include "support/FakeContactsStore.h"

namespace nudgerly {
namespace {

using namespace MessagesContacts;
using Keys = std::vector<std::string>;
using Status = ContactsAuthorizationStatus;

Contact person(std::string given, std::string family, std::vector<std::string> phones,
               std::vector<std::string> emails = {}) {
    return {.givenName = std::move(given),
            .familyName = std::move(family),
            .phoneNumbers = std::move(phones),
            .emailAddresses = std::move(emails)};
}

TEST(ContactKeysTests, LoweredTextThenItsNumbersThenTheLastTen) {
    EXPECT_EQ(contactKeys("555 0123"), (Keys{"555 0123", "5550123"}));  // seven digits: no ten-digit key
    EXPECT_EQ(contactKeys(" +1 (415) 555-0123\n"), (Keys{"+1 (415) 555-0123", "14155550123", "4155550123"}));
    EXPECT_EQ(contactKeys("4155550123"), (Keys{"4155550123"}));  // all three keys alike
    EXPECT_EQ(contactKeys("Ann.Lee@Example.COM"), (Keys{"ann.lee@example.com"}));
    EXPECT_EQ(contactKeys("bob2@x.org"), (Keys{"bob2@x.org", "2"}));
    // Numbers of other scripts are kept as written, not turned into ASCII digits.
    EXPECT_EQ(contactKeys("+٩٧١ ٥٠ ١٢٣ ٤٥٦٧"), (Keys{"+٩٧١ ٥٠ ١٢٣ ٤٥٦٧", "٩٧١٥٠١٢٣٤٥٦٧", "١٥٠١٢٣٤٥٦٧"}));
    EXPECT_EQ(contactKeys("０３-１２３４"), (Keys{"０３-１２３４", "０３１２３４"}));
    // Blank text gives no key at all, so it can never match anything.
    EXPECT_TRUE(contactKeys("").empty());
    EXPECT_TRUE(contactKeys(" \t\n").empty());
}

TEST(ContactsMapTests, NamesBusinessesAndKeysFollowTheContacts) {
    Contact organisationOnly{.organizationName = "City Dental", .phoneNumbers = {"555 0100"}};
    Contact personAtWork = person("Ann", "", {"555 0101"});
    personAtWork.organizationName = "Acme";
    Contact typedOrganisation = person("Acme", "Support", {"555 0102"});
    typedOrganisation.contactType = ContactType::organization;
    const ContactsMap map = contactsMap({
        organisationOnly,
        personAtWork,
        typedOrganisation,
        person("", "Lee", {"555 0103"}),
        person("", "", {"555 0104"}, {"nameless@example.com"}),  // no name: left out
        person("Kim", "Park", {"+1 415 555 0123"}, {"  Kim.Park@Example.com ", "", " "}),
        person("Empty", "Keys", {"", "  "}),
    });
    EXPECT_EQ(map.at("5550100"), (ContactMatch{"City Dental", true}));
    EXPECT_EQ(map.at("5550101"), (ContactMatch{"Ann", false}));
    EXPECT_EQ(map.at("5550102"), (ContactMatch{"Acme Support", true}));
    EXPECT_EQ(map.at("5550103"), (ContactMatch{"Lee", false}));
    EXPECT_FALSE(map.contains("5550104"));
    EXPECT_FALSE(map.contains("nameless@example.com"));
    // E-mail addresses are stored trimmed and lowered; empty phone numbers and addresses store nothing.
    EXPECT_EQ(map.at("kim.park@example.com").displayName, "Kim Park");
    EXPECT_FALSE(map.contains(""));
    EXPECT_EQ(map.size(), 12u);
}

TEST(ContactsMapTests, LookupTriesTheKeysInOrderAndTheLaterContactWins) {
    const ContactsMap map = contactsMap({
        person("Old", "Entry", {"+1 415 555 0123"}),
        person("Kim", "Park", {"+1 (415) 555-0123"}),  // same digits: takes over the number keys
        person("Short", "Form", {"4155550123"}),       // takes over the last-ten key only
        person("Literal", "Handle", {"+1 (650) 555-0199"}),
        person("Digits", "Only", {"16505550199"}),
    });
    EXPECT_EQ(lookUp(map, "+14155550123")->displayName, "Kim Park");      // its digits
    EXPECT_EQ(lookUp(map, "(415) 555-0123")->displayName, "Short Form");  // its digits are the last ten
    // The lowered text is tried before the digits.
    EXPECT_EQ(lookUp(map, " +1 (650) 555-0199 ")->displayName, "Literal Handle");
    EXPECT_EQ(lookUp(map, "+1 650 555 0199")->displayName, "Digits Only");
    EXPECT_EQ(lookUp(map, "unknown@example.com"), nullptr);
    // An empty handle looks nothing up, even when some contact has an empty entry somewhere.
    EXPECT_EQ(lookUp(map, ""), nullptr);
    EXPECT_EQ(lookUp(map, "  "), nullptr);
}

TEST(ContactsMapTests, LoadsOnlyWithAccessAndKeepsWhatWasRead) {
    ManualMainQueue mainQueue;
    test::FakeContactsStore store(mainQueue, Status::notDetermined);
    store.setContacts({person("Ann", "Lee", {"555 0101"})}, {"Couldn't read the contacts file \u201Cx.vcf\u201D."});
    for (const Status status : {Status::notDetermined, Status::restricted, Status::denied}) {
        store.setStatus(status);
        EXPECT_TRUE(loadContacts(store, {}).empty());
    }
    EXPECT_EQ(store.fetches(), 0);
    for (const Status status : {Status::authorized, Status::limited}) {
        store.setStatus(status);
        EXPECT_EQ(loadContacts(store, {}).at("5550101").displayName, "Ann Lee");
    }
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(loadContacts(store, stop.get_token()), CancelledError);

    store.setStatus(Status::notDetermined);
    store.setAnswer(Status::denied);
    EXPECT_FALSE(requestContacts(store, {}));
    EXPECT_FALSE(requestContacts(store, {}));
    EXPECT_EQ(store.questionsAsked(), 1);
    store.setRequestFailure("The answer could not be saved.");
    EXPECT_THROW(requestContacts(store, {}), ContactsAccessError);
}

TEST(ContactsPermissionTests, MapsEveryStatus) {
    EXPECT_EQ(contactsPermission(Status::notDetermined), ContactsPermission::notDetermined);
    EXPECT_EQ(contactsPermission(Status::restricted), ContactsPermission::denied);
    EXPECT_EQ(contactsPermission(Status::denied), ContactsPermission::denied);
    EXPECT_EQ(contactsPermission(Status::authorized), ContactsPermission::granted);
    EXPECT_EQ(contactsPermission(Status::limited), ContactsPermission::limited);
    EXPECT_EQ(contactsPermission(static_cast<Status>(7)), ContactsPermission::denied);
    EXPECT_TRUE(allowsReadingContacts(ContactsPermission::granted));
    EXPECT_TRUE(allowsReadingContacts(ContactsPermission::limited));
    EXPECT_FALSE(allowsReadingContacts(ContactsPermission::notDetermined));
    EXPECT_FALSE(allowsReadingContacts(ContactsPermission::denied));
}

}  // namespace
}  // namespace nudgerly
