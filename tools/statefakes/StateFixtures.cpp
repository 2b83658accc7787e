#include "statefakes/StateFixtures.h"

#include <algorithm>
#include <stdexcept>

#include "modelpacks/ModelPack.h"

namespace nudgerly::test {
namespace {

constexpr double hour = 3600;
constexpr double day = 86400;

ReviewItem item(std::string id, ReviewSource source, ReviewStatus status, std::string person, std::string date,
                std::optional<Date> timestamp, std::string summary, std::string verdict, std::string context) {
    ReviewItem result{
        .id = std::move(id),
        .source = source,
        .status = status,
        .person = std::move(person),
        .date = std::move(date),
        .timestamp = timestamp,
        .summary = std::move(summary),
        .context = std::move(context),
        .verdict = std::move(verdict),
    };
    result.completionKey = "completion-v1:" + result.id;
    result.openURL =
        source == ReviewSource::messages ? "sms:" + result.id : "https://mail.google.com/mail/u/0/#inbox/" + result.id;
    result.isKnownContact = source == ReviewSource::messages;
    return result;
}

// The state of a machine that is set up: Contacts and Full Disk Access allowed, Basic Mode chosen.
PublishedState setUp(Date now) {
    PublishedState state;
    state.contactsPermission = ContactsPermission::granted;
    state.messagesPermission = MessagesPermission::granted;
    state.gmailStatus = {.configured = true, .connected = false};
    state.selectedModelPack = ModelPack::nudgerlyDefault();
    state.modelPacks = ModelPack::nudgerlyPacks();
    state.modelDownloadState = ModelDownloadState::missing();
    state.needsModelChoice = false;
    state.refreshLookbacks = {LookbackWindow::thirty, LookbackWindow::thirty, LookbackWindow::thirty};
    state.snapshots[ReviewSource::messages] =
        fixtureSnapshot(ReviewSource::messages, now, fixtureItems(ReviewSource::messages, now));
    state.activity = "Messages refreshed at 11:00 AM";
    return state;
}

// Set up with the default model installed and Gmail connected.
PublishedState ready(Date now) {
    PublishedState state = setUp(now);
    state.modelDownloadState = ModelDownloadState::installed();
    state.modelAvailability = ModelAvailability::bundled();
    state.gmailStatus = {.configured = true, .connected = true, .email = "sam.rivera@example.com"};
    state.snapshots[ReviewSource::gmail] =
        fixtureSnapshot(ReviewSource::gmail, now, fixtureItems(ReviewSource::gmail, now));
    state.completed = {"completion-v1:messages-done"};
    state.activity = "Refreshed at 11:00 AM";
    return state;
}

// Nothing decided yet: the first start on a new machine.
PublishedState firstRun(Date) {
    PublishedState state;
    state.selectedModelPack = ModelPack::nudgerlyDefault();
    state.modelPacks = ModelPack::nudgerlyPacks();
    state.needsModelChoice = true;
    state.contactsPermission = ContactsPermission::notDetermined;
    state.messagesPermission = MessagesPermission::denied;
    state.gmailStatus = {.configured = true, .connected = false};
    state.section = Section::accounts;
    state.activity = "Choose your Local AI setup to begin";
    return state;
}

PublishedState downloading(Date now) {
    PublishedState state = firstRun(now);
    state.contactsPermission = ContactsPermission::granted;
    state.modelDownloadState = ModelDownloadState::downloading(1'234'567'890, 2'497'280'000);
    state.modelDownloadProgress = ModelDownloadProgress{1'234'567'890, 2'497'280'000};
    return state;
}

PublishedState withRefresh(PublishedState state) {
    state.refreshingSources = {ReviewSource::messages, ReviewSource::gmail};
    state.refreshProgressBySource = {
        {ReviewSource::messages,
         {.source = ReviewSource::messages, .detail = "Classifying conversations", .completed = 12, .total = 40}},
        {ReviewSource::gmail, {.source = ReviewSource::gmail, .detail = "Fetching inbox threads"}},
    };
    state.activity = "Classifying conversations";
    return state;
}

// Maya's message with a shared link (its picture is the screenshot tool's to add) and a suggested reply.
void withLinkAndReply(ReviewItem& item) {
    item.context = "Can you grab the kids Thursday? I have a late meeting. Here's the pickup info:";
    item.messageLinkPreview = MessageLinkPreview{.title = "After-school pickup schedule \u00B7 Spring term",
                                                 .domain = "lincoln-elementary.example.org",
                                                 .url = "https://lincoln-elementary.example.org/pickup"};
    item.draft = "Yes, I can get them Thursday. What time is pickup?";
}

std::vector<StateFixture> makeFixtures() {
    return {
        {"firstRun", "A new machine: no model choice, Contacts not asked, no Full Disk Access", firstRun},
        {"basicMode", "Basic Mode chosen, Contacts and Full Disk Access allowed, Messages scanned", setUp},
        {"ready", "The default model installed, Gmail connected, both sources scanned", ready},
        {"refreshing", "Both sources refreshing: Messages with counts, Gmail without",
         [](Date now) { return withRefresh(ready(now)); }},
        {"firstScan", "Set up, nothing scanned yet, the first Messages refresh running",
         [](Date now) {
             PublishedState state = setUp(now);
             state.snapshots.clear();
             state.refreshingSources = {ReviewSource::messages};
             state.refreshProgressBySource = {
                 {ReviewSource::messages,
                  {.source = ReviewSource::messages, .detail = "Reading recent conversations"}}};
             return state;
         }},
        {"nothingScanned", "Set up, nothing scanned and nothing running",
         [](Date now) {
             PublishedState state = setUp(now);
             state.snapshots.clear();
             return state;
         }},
        {"completedView", "The completed items of both sources",
         [](Date now) {
             PublishedState state = ready(now);
             state.completionScope = QueueCompletionScope::completed;
             return state;
         }},
        {"downloading", "The default model downloading, about half received", downloading},
        {"paused", "The model download paused at half",
         [](Date now) {
             PublishedState state = downloading(now);
             state.modelDownloadState = ModelDownloadState::paused();
             return state;
         }},
        {"verifying", "The downloaded model being verified",
         [](Date now) {
             PublishedState state = downloading(now);
             state.modelDownloadState = ModelDownloadState::verifying();
             state.modelDownloadProgress.reset();
             return state;
         }},
        {"downloadFailed", "The model download failed",
         [](Date now) {
             PublishedState state = downloading(now);
             state.modelDownloadState = ModelDownloadState::failed("The network connection was lost.");
             state.modelDownloadProgress.reset();
             return state;
         }},
        {"installedWithIssue", "The model installed, but its last run fell back to Basic Mode",
         [](Date now) {
             PublishedState state = ready(now);
             state.modelRuntimeIssue = "Local AI stopped responding, so Basic Mode reviewed this refresh.";
             state.modelRuntimeDiagnosticCode = "server-timeout";
             return state;
         }},
        {"removingModel", "The installed model being removed",
         [](Date now) {
             PublishedState state = ready(now);
             state.isRemovingModel = true;
             return state;
         }},
        {"switchingModel", "Switching to the larger model",
         [](Date now) {
             PublishedState state = ready(now);
             state.isSwitchingModel = true;
             return state;
         }},
        {"contactsDenied", "Contacts access denied, no Full Disk Access",
         [](Date now) {
             PublishedState state = setUp(now);
             state.contactsPermission = ContactsPermission::denied;
             state.messagesPermission = MessagesPermission::denied;
             state.snapshots.clear();
             return state;
         }},
        {"contactsLimited", "Contacts shared in part",
         [](Date now) {
             PublishedState state = ready(now);
             state.contactsPermission = ContactsPermission::limited;
             return state;
         }},
        {"gmailAuthorizing", "Waiting for the Google sign-in in the browser",
         [](Date now) {
             PublishedState state = setUp(now);
             state.gmailAuthorizationInProgress = true;
             state.activity = "Waiting for Google sign-in";
             return state;
         }},
        {"gmailDisconnecting", "Removing the saved Gmail authorization",
         [](Date now) {
             PublishedState state = ready(now);
             state.isDisconnectingGmail = true;
             return state;
         }},
        {"gmailUnavailable", "A build without a Gmail client",
         [](Date now) {
             PublishedState state = setUp(now);
             state.gmailStatus = {};
             return state;
         }},
        {"deletingLocalData", "Local data being deleted",
         [](Date now) {
             PublishedState state = ready(now);
             state.isDeletingLocalData = true;
             state.activity = "Deleting local data";
             return state;
         }},
        {"errorAlert", "A refresh failure in the alert, its text looking like markup",
         [](Date now) {
             PublishedState state = ready(now);
             state.errorMessage = "Couldn't read <b>chat.db</b>: <img src=\"/etc/passwd\"> is not a database.";
             state.activity = "Messages refresh failed";
             return state;
         }},
        {"messagesDetail", "A Messages item selected: its message, a shared link and a suggested reply",
         [](Date now) {
             return withSelectedItem(ready(now), ReviewSource::messages, "messages-maya", withLinkAndReply);
         }},
        {"gmailDetail", "A Gmail item selected, with a suggested reply",
         [](Date now) {
             return withSelectedItem(ready(now), ReviewSource::gmail, "gmail-interview", [](ReviewItem& item) {
                 item.context =
                     "Hi Sam,\n\nThanks again for your interest in the role. Would Tuesday 2pm or "
                     "Wednesday 10am work for a first interview? It will take about 45 minutes.\n\n"
                     "Best,\nDana";
                 item.draft = "Hi Dana, Tuesday at 2pm works well for me. Thanks!";
             });
         }},
        {"nothingCompleted", "The completed view with nothing completed, so nothing selected",
         [](Date now) {
             PublishedState state = ready(now);
             state.completionScope = QueueCompletionScope::completed;
             state.completed.clear();
             return state;
         }},
        {"markup", "Items whose names and texts look like markup",
         [](Date now) {
             PublishedState state = setUp(now);
             state.snapshots[ReviewSource::messages] = fixtureSnapshot(ReviewSource::messages, now, markupItems(now));
             return state;
         }},
    };
}

}  // namespace

Date fixtureNow() {
    return Date::fromUnix(1'773'169'200);
}

std::vector<ReviewItem> fixtureItems(ReviewSource source, Date now) {
    const auto ago = [now](double seconds) { return now.addingSeconds(-seconds); };
    if (source == ReviewSource::messages) {
        return {
            item("messages-maya", source, ReviewStatus::reply, "Maya Chen", "Today at 10:42 AM", ago(hour + 18 * 60),
                 "Maya asked whether you can pick up the kids on Thursday.",
                 "A direct question is waiting for your answer",
                 "Can you grab the kids Thursday? I have a late meeting"),
            item("messages-jordan", source, ReviewStatus::action, "Jordan Ellis", "Mar 7", ago(3 * day),
                 "Jordan sent the lease renewal and needs it signed by Friday.", "A document needs your signature",
                 "Here's the renewal, can you sign by Friday?"),
            item("messages-priya", source, ReviewStatus::nudgerly, "Priya Raman", "Mar 2", ago(8 * day + hour),
                 "Priya shared photos from the hike; a quick thanks would be nice.",
                 "Friendly message with no question", "Photos from Saturday! What a day"),
            item("messages-long", source, ReviewStatus::reply,
                 "Alexandra Konstantinopoulou-Vanderberg (Neighbourhood Garden Committee)", "Mar 9",
                 ago(day + 2 * hour),
                 "Alexandra wants to know whether you can bring the folding tables, the big cooler and the extension "
                 "cords to Saturday's garden clean-up, and whether your van is free to take the green waste to the "
                 "depot afterwards.",
                 "Several requests in one message are still open", "Could you bring the tables and the cooler?"),
            item("messages-done", source, ReviewStatus::reply, "Leo Park", "Mar 5", ago(5 * day),
                 "Leo asked for the wifi password.", "A question you answered elsewhere", "What's the wifi password?"),
        };
    }
    return {
        item("gmail-invoice", source, ReviewStatus::action, "Northwind Accounting", "Mar 3", ago(7 * day),
             "The March invoice is overdue; they ask you to confirm the payment date.",
             "A payment needs a date from you", "Please confirm when the March invoice will be paid."),
        item("gmail-interview", source, ReviewStatus::reply, "Dana Whitaker", "Today at 8:15 AM",
             ago(3 * hour + 45 * 60), "Dana offers two interview slots next week and asks which suits you.",
             "A scheduling question is open", "Would Tuesday 2pm or Wednesday 10am work for you?"),
        item("gmail-draft", source, ReviewStatus::nudgerly, "Rhea Okafor", "February 18", std::nullopt,
             "Rhea asked for feedback on her draft whenever you have time.", "No deadline was given",
             "No rush at all, but I'd love your thoughts on the draft."),
    };
}

std::vector<ReviewItem> markupItems(Date now) {
    return {
        item("markup-1", ReviewSource::messages, ReviewStatus::reply, "<b>Bold</b> <img src=\"/etc/hostname\">",
             "Today at 9:00 AM", now.addingSeconds(-2 * hour),
             "<i>Summary</i> with <a href=\"https://example.com\">a link</a>", "<u>verdict</u> & more",
             "<h1>Heading</h1>"),
    };
}

std::shared_ptr<const ReviewSnapshot> fixtureSnapshot(ReviewSource source, Date now, std::vector<ReviewItem> items) {
    auto snapshot = std::make_shared<ReviewSnapshot>();
    snapshot->generatedAt = now.addingSeconds(-hour);
    snapshot->windowStart = now.addingSeconds(-7 * day);
    snapshot->windowEnd = snapshot->generatedAt;
    snapshot->messageCount = source == ReviewSource::messages ? 1234 : 212;
    snapshot->activeConversations = source == ReviewSource::messages ? 56 : 31;
    snapshot->inboundEndingCount = static_cast<int64_t>(items.size()) + 4;
    snapshot->clearedCount = 4;
    snapshot->items = std::move(items);
    return snapshot;
}

PublishedState withSelectedItem(PublishedState state, ReviewSource source, std::string_view id,
                                const std::function<void(ReviewItem&)>& change) {
    auto snapshot = std::make_shared<ReviewSnapshot>(*state.snapshots.at(source));
    if (change) {
        for (ReviewItem& item : snapshot->items) {
            if (item.id == id) {
                change(item);
            }
        }
    }
    state.snapshots[source] = std::move(snapshot);
    state.selectedItemID = std::string(id);
    return state;
}

const std::vector<StateFixture>& stateFixtures() {
    static const std::vector<StateFixture> fixtures = makeFixtures();
    return fixtures;
}

PublishedState stateFixture(std::string_view name, Date now) {
    const auto& fixtures = stateFixtures();
    const auto found = std::ranges::find(fixtures, name, &StateFixture::name);
    if (found == fixtures.end()) {
        throw std::invalid_argument("There is no state fixture named \"" + std::string(name) + "\".");
    }
    return found->make(now);
}

std::unordered_set<std::string> everyCompletionIdentity(const PublishedState& state) {
    std::unordered_set<std::string> identities;
    for (const auto& [source, snapshot] : state.snapshots) {
        for (const ReviewItem& item : snapshot->items) {
            identities.insert(item.completionKey.value_or(item.id));
        }
    }
    return identities;
}

}  // namespace nudgerly::test
