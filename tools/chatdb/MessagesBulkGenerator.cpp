#include "chatdb/MessagesBulkGenerator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <random>
#include <set>
#include <stdexcept>
#include <string_view>

#include "chatdb/ImageHeaders.h"
#include "chatdb/KeyedArchiveWriter.h"
#include "chatdb/PngImage.h"
#include "chatdb/TypedStreamWriter.h"
#include "core/Text.h"
#include "sources/messages/MessagePayloads.h"

namespace nudgerly::test {
namespace {

using std::chrono::seconds;
using namespace std::string_view_literals;

constexpr std::array givenNames = {
    "Maria"sv, "James"sv, "Priya"sv, "Daniel"sv, "Sofia"sv, "Liam"sv,   "Chen"sv,  "Olivia"sv, "Mateo"sv, "Aisha"sv,
    "Noah"sv,  "Emma"sv,  "Jonas"sv, "Zoe"sv,    "Ravi"sv,  "Hannah"sv, "Lucas"sv, "Mei"sv,    "Omar"sv,  "Grace"sv,
    "José"sv,  "Chloé"sv, "Sam"sv,   "Nina"sv,   "Theo"sv,  "Ines"sv,   "Kofi"sv,  "Yuki"sv,   "Ben"sv,   "Lena"sv};
constexpr std::array familyNames = {"Lopez"sv,    "Nguyen"sv, "Patel"sv, "Okafor"sv, "Kim"sv,   "Rossi"sv,
                                    "Müller"sv,   "Haddad"sv, "Silva"sv, "Cohen"sv,  "Walsh"sv, "Tanaka"sv,
                                    "Andersen"sv, "Dubois"sv, "Novak"sv, "Reyes"sv,  "Park"sv,  "Byrne"sv};
constexpr std::array groupNames = {"Book Club"sv, "Soccer Parents"sv, "Family"sv,           "Ski Trip 🎿"sv,
                                   "Roommates"sv, "Team Lunch"sv,     "Wedding Planning"sv, "Climbing Crew"sv};
constexpr std::array businessNames = {"City Dental"sv,   "Parcel Express"sv,   "First Harbor Bank"sv, "Bella Pizza"sv,
                                      "Metro Transit"sv, "Sunrise Pharmacy"sv, "Greenway Vet"sv};

constexpr std::array inboundAsks = {"Are you free for dinner on Saturday?"sv,
                                    "Can you send me the photos from the weekend?"sv,
                                    "Did you get a chance to look at the lease?"sv,
                                    "What time works for a call tomorrow?"sv,
                                    "Could you pick up milk on your way home?"sv,
                                    "Do you still have my charger?"sv,
                                    "Can you review the slides before 3?"sv,
                                    "Want to grab coffee this week?"sv,
                                    "How did the interview go?"sv,
                                    "Would you mind feeding the cat on Thursday?"sv,
                                    "Can you confirm the booking for Friday?"sv,
                                    "When are you back in town?"sv};
constexpr std::array inboundNews = {"Running about 10 minutes late"sv,
                                    "Just landed, heading to the hotel"sv,
                                    "The plumber is coming at 9 tomorrow"sv,
                                    "I left the keys with Sam"sv,
                                    "Happy birthday!! 🎉"sv,
                                    "Thanks again for yesterday, it was great"sv,
                                    "Traffic is terrible on the bridge"sv,
                                    "I'll send the invoice tonight"sv,
                                    "Sounds good"sv,
                                    "Ok 👍"sv,
                                    "Haha yes"sv,
                                    "Perfect, thanks!"sv,
                                    "See you then"sv,
                                    "Got it"sv};
constexpr std::array ownMessages = {"Yes, 7 works for me"sv,
                                    "Sending them tonight"sv,
                                    "Not yet, I'll look this weekend"sv,
                                    "On my way"sv,
                                    "Sure thing"sv,
                                    "Can't this week, maybe next?"sv,
                                    "Thanks!"sv,
                                    "Call you after work"sv,
                                    "Love that"sv,
                                    "Will do"sv,
                                    "What time were you thinking?"sv};
constexpr std::array groupAsks = {"Anyone up for pickleball Thursday?"sv,
                                  "Who wants to split a cab to the airport?"sv,
                                  "{user}, can you bring the speaker?"sv,
                                  "@{user} are you coming tonight?"sv,
                                  "Can everyone send me their sizes by Friday?"sv,
                                  "{name}: did you book the table?"sv,
                                  "Is it raining over there?"sv};
constexpr std::array groupNews = {"Photos are in the shared album"sv,
                                  "Running late, save me a seat"sv,
                                  "That was so fun last night"sv,
                                  "Happy Friday everyone"sv,
                                  "I'm in!"sv,
                                  "Count me out this time"sv,
                                  "Booked for 8"sv,
                                  "😂😂"sv};
constexpr std::array businessTexts = {"Your verification code is 482913. Don't share it with anyone."sv,
                                      "Your order #4821 has shipped and arrives Tuesday."sv,
                                      "Reminder: appointment tomorrow at 10:30am. Reply C to confirm."sv,
                                      "Your package was delivered."sv,
                                      "Your prescription is ready for pickup."sv,
                                      "Payment of $42.10 received. Thank you!"sv};
constexpr std::array promotionTexts = {"20% off everything this weekend only! Reply STOP to opt out"sv,
                                       "Your ride is arriving in 3 minutes"sv,
                                       "Flash sale: 2 pizzas for $15 tonight"sv};
constexpr std::array spamTexts = {
    "Congratulations! You won a $500 gift card, claim now at http://claim-prize.example"sv,
    "Your account is locked. Verify at http://secure-login.example"sv, "Hi dear, are you free to chat?"sv};
struct SharedLink {
    std::string_view url;
    std::string_view title;
};
constexpr std::array sharedLinks = {
    SharedLink{"https://www.airbnb.com/rooms/4821937", "Cabin near the lake"},
    SharedLink{"https://www.nytimes.com/2026/03/01/travel/lisbon-weekend.html", "36 Hours in Lisbon"},
    SharedLink{"https://www.youtube.com/watch?v=8nFq2Lk3xYw", "How to fix a leaky faucet in 5 minutes"},
    SharedLink{"https://www.eventbrite.com/e/spring-makers-market-tickets-1234", "Spring Makers Market"},
    SharedLink{"https://github.com/example/trail-maps", "  "},
    SharedLink{"https://www.opentable.com/r/bella-cucina", "Bella Cucina - Reserve a table"}};
constexpr std::array tapbackVerbs = {"Loved"sv,      "Liked"sv,      "Disliked"sv,
                                     "Laughed at"sv, "Emphasized"sv, "Questioned"sv};

enum class Kind { person, namedGroup, unnamedGroup, business, promotion, spam, filtered, recovered, deleting };
constexpr std::array<std::pair<Kind, int>, 9> kindWeights = {{{Kind::person, 58},
                                                              {Kind::namedGroup, 8},
                                                              {Kind::unnamedGroup, 7},
                                                              {Kind::business, 8},
                                                              {Kind::promotion, 4},
                                                              {Kind::spam, 4},
                                                              {Kind::filtered, 5},
                                                              {Kind::recovered, 3},
                                                              {Kind::deleting, 3}}};

struct Person {
    std::string given;
    std::string handle;
};

std::string replaced(std::string text, std::string_view placeholder, std::string_view value) {
    for (std::size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + value.size())) {
        text.replace(at, placeholder.size(), value);
    }
    return text;
}

class Generator {
public:
    Generator(MessagesDatabaseBuilder& builder, const BulkOptions& options)
        : builder_(builder), options_(options), random_(options.seed) {
        if (options.previewFiles != BulkOptions::PreviewFiles::none && options.home.empty()) {
            throw std::invalid_argument("Preview files need a home folder");
        }
    }

    BulkContents run() {
        builder_.beginBatch();
        for (const int64_t count : messageCounts()) {
            chat(pickKind(), count);
        }
        placeTombstones();
        builder_.commitBatch();
        return std::move(contents_);
    }

private:
    double uniform() { return std::uniform_real_distribution<double>(0, 1)(random_); }
    bool chance(double probability) { return uniform() < probability; }
    int64_t between(int64_t low, int64_t high) { return std::uniform_int_distribution<int64_t>(low, high)(random_); }
    template <typename List>
    auto pick(const List& list) -> decltype(list[0]) {
        return list[static_cast<std::size_t>(between(0, static_cast<int64_t>(list.size()) - 1))];
    }

    Kind pickKind() {
        int64_t roll = between(1, 100);
        for (const auto& [kind, weight] : kindWeights) {
            if ((roll -= weight) <= 0) {
                return kind;
            }
        }
        return Kind::person;
    }

    // Messages per chat: a few busy chats, many quiet ones, adding up to the total exactly.
    std::vector<int64_t> messageCounts() {
        const int64_t chats = std::max<int64_t>(1, options_.chats);
        const int64_t total = std::max(options_.messages, chats);
        std::lognormal_distribution<double> spread(0, 1);
        std::vector<double> weights(static_cast<std::size_t>(chats));
        for (double& weight : weights) {
            weight = spread(random_);
        }
        const double sum = std::accumulate(weights.begin(), weights.end(), 0.0);
        std::vector<int64_t> counts;
        int64_t assigned = 0;
        for (const double weight : weights) {
            counts.push_back(1 + static_cast<int64_t>(static_cast<double>(total - chats) * weight / sum));
            assigned += counts.back();
        }
        for (std::size_t i = 0; assigned < total; i = (i + 1) % counts.size(), ++assigned) {
            ++counts[i];
        }
        return counts;
    }

    // Ages of a chat's messages, oldest first, within the window and leaning towards recent days.
    std::vector<seconds> ages(int64_t count) {
        const double window = options_.days * 86400.0;
        const double u = uniform();
        const double latest = 30 + u * u * window * 0.95;
        const double usual = std::exp(std::normal_distribution<double>(12, 1.2)(random_));
        const double duration = std::min(window - latest - 1, usual * options_.chatSpanScale);
        std::vector<double> offsets(static_cast<std::size_t>(count));
        for (double& offset : offsets) {
            offset = uniform() * std::max(0.0, duration);
        }
        std::sort(offsets.begin(), offsets.end(), std::greater<>());
        offsets.back() = 0;
        std::vector<seconds> result;
        for (const double offset : offsets) {
            result.emplace_back(static_cast<int64_t>(latest + offset));
        }
        return result;
    }

    std::string phoneHandle() {
        for (;;) {
            char number[16];
            std::snprintf(number, sizeof number, "+1%03lld555%04lld", static_cast<long long>(between(201, 989)),
                          static_cast<long long>(between(100, 199)));
            if (usedHandles_.insert(number).second) {
                return number;
            }
        }
    }

    // A card's way of writing the number the handle holds in full.
    std::string cardNumber(const std::string& handle) {
        const std::string area = handle.substr(2, 3);
        const std::string rest = handle.substr(5);
        switch (between(0, 3)) {
            case 0: return "(" + area + ") " + rest.substr(0, 3) + "-" + rest.substr(3);
            case 1: return "+1 " + area + "-" + rest.substr(0, 3) + "-" + rest.substr(3);
            case 2: return area + "." + rest.substr(0, 3) + "." + rest.substr(3);
            default: return handle;
        }
    }

    Person newPerson() {
        Person person{.given = std::string(pick(givenNames))};
        const std::string family(pick(familyNames));
        const bool byEmail = chance(0.2);
        person.handle = phoneHandle();
        if (byEmail) {
            person.handle =
                text::lowercased(person.given + "." + family) + "." + std::to_string(people_.size()) + "@example.com";
        }
        if (chance(options_.cardShare)) {
            Contact card{.identifier = "generated-" + std::to_string(contents_.contacts.size() + 1),
                         .givenName = person.given,
                         .familyName = family};
            if (byEmail) {
                card.emailAddresses.push_back(person.handle);
            } else {
                card.phoneNumbers.push_back(cardNumber(person.handle));
            }
            contents_.contacts.push_back(std::move(card));
        }
        people_.push_back(person);
        return person;
    }

    // Someone to talk to: now and then a person already met in another chat.
    Person someone() {
        if (!people_.empty() && chance(0.3)) {
            return pick(people_);
        }
        return newPerson();
    }

    // Messages keeps one chat per person and service.
    Person someoneWithoutAChat() {
        Person person = someone();
        while (!oneToOne_.insert(person.handle).second) {
            person = newPerson();
        }
        return person;
    }

    std::string businessHandle(bool promotion) {
        std::string handle = phoneHandle();
        if (chance(0.5)) {
            do {
                handle = std::to_string(between(20000, 99999));  // a short code
            } while (!usedHandles_.insert(handle).second);
        }
        if (promotion) {
            handle += "(smsfp)";
        }
        if (chance(options_.cardShare)) {
            contents_.contacts.push_back({.identifier = "generated-" + std::to_string(contents_.contacts.size() + 1),
                                          .contactType = ContactType::organization,
                                          .organizationName = std::string(pick(businessNames)),
                                          .phoneNumbers = {handle.substr(0, handle.find('('))}});
        }
        return handle;
    }

    void chat(Kind kind, int64_t count) {
        ++contents_.chats;
        const std::vector<seconds> when = ages(count);
        switch (kind) {
            case Kind::person:
            case Kind::recovered:
            case Kind::deleting: {
                const Person person = someoneWithoutAChat();
                const int64_t chat = builder_.chat({.handles = {person.handle},
                                                    .isRecovered = kind == Kind::recovered,
                                                    .isDeletingIncomingMessages = kind == Kind::deleting});
                conversation(chat, {person}, false, when);
                break;
            }
            case Kind::namedGroup:
            case Kind::unnamedGroup: {
                std::vector<Person> members;
                std::set<std::string> handles;
                for (int64_t n = between(2, 5); static_cast<int64_t>(members.size()) < n;) {
                    Person member = someone();
                    if (handles.insert(member.handle).second) {
                        members.push_back(std::move(member));
                    }
                }
                ChatSpec details{.displayName = kind == Kind::namedGroup ? std::optional(std::string(pick(groupNames)))
                                                                         : std::nullopt};
                for (const Person& member : members) {
                    details.handles.push_back(member.handle);
                }
                conversation(builder_.chat(details), members, true, when);
                break;
            }
            case Kind::business:
            case Kind::promotion: {
                const std::string handle = businessHandle(kind == Kind::promotion);
                const int64_t chat = builder_.chat({.handles = {handle}, .service = "SMS"});
                for (const seconds age : when) {
                    const bool reply = chance(0.1);
                    add(chat, {.text = std::string(reply                     ? "C"
                                                   : kind == Kind::promotion ? pick(promotionTexts)
                                                                             : pick(businessTexts)),
                               .fromMe = reply,
                               .handle = handle,
                               .ago = age,
                               .service = "SMS"});
                }
                break;
            }
            case Kind::spam:
            case Kind::filtered: {
                const std::string handle = phoneHandle();
                const int64_t chat = builder_.chat({.handles = {handle}, .isFiltered = kind == Kind::filtered});
                for (const seconds age : when) {
                    add(chat, {.text = std::string(pick(spamTexts)),
                               .handle = handle,
                               .ago = age,
                               .isSpam = kind == Kind::spam});
                }
                break;
            }
        }
    }

    // Turns between the user and the members, with the occasional reaction, picture, link or event;
    // the last row is always words, from the user a little less than half the time.
    void conversation(int64_t chat, const std::vector<Person>& members, bool group, const std::vector<seconds>& when) {
        const std::size_t last = when.size() - 1;
        bool fromMe = chance(0.5);
        std::optional<std::string> previousText;
        std::string previousGuid;
        for (std::size_t i = 0; i < when.size(); ++i) {
            if (i == last) {
                fromMe = chance(0.45);
            } else if (chance(0.45)) {
                fromMe = !fromMe;
            }
            const Person& sender = pick(members);
            // The user's own rows name the other side in one-to-one chats and nobody in groups.
            MessageSpec message{.fromMe = fromMe, .handle = fromMe && group ? "" : sender.handle, .ago = when[i]};
            const double roll = i == last ? 1.0 : uniform();
            if (roll < 0.05 && previousText) {
                message.text = std::string(pick(tapbackVerbs)) + " \u201C" + *previousText + "\u201D";
                message.associatedMessageType = MessageKinds::lovedTapback + between(0, 5);
                message.associatedMessageGuid = "p:0/" + previousGuid;
            } else if (roll < 0.07 && group) {
                const bool rename = chance(0.5);
                message.itemType = rename ? MessageKinds::groupRenamed : MessageKinds::participantChange;
                message.groupTitle = rename ? std::optional(std::string(pick(groupNames))) : std::nullopt;
            } else if (roll < 0.075) {
                message.isSystemMessage = true;
            } else if (roll < 0.10) {
                message.text = chance(0.7) ? "\uFFFC" : "Look at this \uFFFC";
            } else if (roll < 0.115) {
                link(message);
            } else if (roll < 0.117) {
                std::string essay;
                while (essay.size() < 1700) {
                    essay += "So here is the whole story about the move, the boxes, the landlord and the van. ";
                }
                message.text = essay;
            } else {
                message.text = words(fromMe, group, members, sender);
            }
            const std::optional<std::string> spoken = message.text;
            if (message.text && message.associatedMessageType == 0 && !message.balloonBundleID && chance(0.35)) {
                // Recent versions of Messages often keep the words only in the archived body.
                message.attributedBody = archivedAttributedString({.text = *message.text});
                message.text.reset();
            }
            const int64_t row = add(chat, message);
            if (spoken && spoken->find("\uFFFC") != std::string::npos) {
                builder_.attach(row,
                                "~/Library/Messages/Attachments/" + attachmentFolder() + "/IMG_" +
                                    std::to_string(between(1000, 9999)) + ".HEIC",
                                between(900000, 3500000));
            }
            if (i != last && options_.tombstones) {
                tombstoneCandidates_.push_back(row);  // the count is placed once every row is written
            }
            if (i != last && !options_.tombstones && chance(tombstoneShare())) {
                builder_.tombstone(row);
            } else if (i != last && chance(0.007)) {
                builder_.markRecoverable(chat, row);
            }
            previousText = spoken.value_or("a message");
            previousGuid = builder_.lastGuid();
        }
    }

    // Messages drops a tombstone once the deletion has synced, so only a few dozen wait at any time,
    // however long the history. The list has no index on guid: its length weighs on every read.
    double tombstoneShare() const {
        return std::min(0.007, 60.0 / static_cast<double>(std::max<int64_t>(options_.messages, 1)));
    }

    // Exactly the asked number of tombstones, on messages drawn from every chat's but the last.
    void placeTombstones() {
        const auto wanted = static_cast<std::size_t>(std::max<int64_t>(options_.tombstones.value_or(0), 0));
        for (std::size_t i = 0; i < std::min(wanted, tombstoneCandidates_.size()); ++i) {
            const auto drawn = static_cast<std::size_t>(
                between(static_cast<int64_t>(i), static_cast<int64_t>(tombstoneCandidates_.size()) - 1));
            std::swap(tombstoneCandidates_[i], tombstoneCandidates_[drawn]);
            builder_.tombstone(tombstoneCandidates_[i]);
        }
    }

    std::string words(bool fromMe, bool group, const std::vector<Person>& members, const Person& sender) {
        if (fromMe) {
            return std::string(pick(ownMessages));
        }
        if (!group) {
            return std::string(chance(0.4) ? pick(inboundAsks) : pick(inboundNews));
        }
        std::string text(chance(0.35) ? pick(groupAsks) : pick(groupNews));
        const Person& other = pick(members);
        text = replaced(std::move(text), "{user}", options_.userFirstName);
        return replaced(std::move(text), "{name}", other.given == sender.given ? "Sam" : other.given);
    }

    void link(MessageSpec& message) {
        const SharedLink& shared = pick(sharedLinks);
        message.text = std::string(shared.url);
        message.balloonBundleID = std::string(MessagePayloads::urlBalloonProvider);
        message.payloadData = richLinkArchive(
            {.url = ArchivedUrl{.relative = std::string(shared.url)}, .title = std::string(shared.title)});
        pendingPreview_ = true;
    }

    std::string attachmentFolder() {
        char folder[64];
        std::snprintf(folder, sizeof folder, "%02llx/%02lld/%08llX", static_cast<long long>(between(0, 255)),
                      static_cast<long long>(between(0, 99)), static_cast<long long>(between(0, 0xFFFFFFFF)));
        return folder;
    }

    // A link's preview pictures: an icon too small to show and the picture itself.
    void attachPreviews(int64_t message) {
        ++contents_.linkPreviews;
        for (const auto& [width, height] : {std::pair<uint32_t, uint32_t>{64, 64}, {600, 315}}) {
            const std::string name = "~/Library/Messages/Attachments/" + attachmentFolder() + "/" +
                                     std::to_string(message) + "-" + std::to_string(width) + ".pluginPayloadAttachment";
            std::string bytes;
            if (options_.previewFiles == BulkOptions::PreviewFiles::headers) {
                bytes = pngHeader(width, height);
            } else if (options_.previewFiles == BulkOptions::PreviewFiles::pictures) {
                bytes = pngImage(width, height, 0x3A7BD5, 0xF2C14E);
            }
            if (options_.previewFiles != BulkOptions::PreviewFiles::none) {
                const std::filesystem::path path = options_.home / name.substr(2);
                std::filesystem::create_directories(path.parent_path());
                std::ofstream(path, std::ios::binary) << bytes;
            }
            builder_.attach(message, name, static_cast<int64_t>(width) * height);
        }
    }

    int64_t add(int64_t chat, const MessageSpec& message) {
        const int64_t row = builder_.message(chat, message);
        ++contents_.messages;
        if (pendingPreview_) {
            pendingPreview_ = false;
            attachPreviews(row);
        }
        return row;
    }

    MessagesDatabaseBuilder& builder_;
    const BulkOptions& options_;
    std::mt19937_64 random_;
    BulkContents contents_;
    std::vector<Person> people_;
    std::vector<int64_t> tombstoneCandidates_;
    std::set<std::string> usedHandles_;
    std::set<std::string> oneToOne_;
    bool pendingPreview_ = false;
};

}  // namespace

BulkContents generateBulk(MessagesDatabaseBuilder& builder, const BulkOptions& options) {
    return Generator(builder, options).run();
}

}  // namespace nudgerly::test
