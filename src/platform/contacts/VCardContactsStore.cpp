#include "platform/contacts/VCardContactsStore.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <set>
#include <system_error>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "core/CancelledError.h"
#include "core/FileSystemError.h"
#include "core/Files.h"
#include "core/Sha256.h"
#include "platform/contacts/VCardFolder.h"
#include "platform/contacts/VCardParser.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;

// The decision file holds a status and a list of card identifiers; anything larger is not ours.
constexpr std::size_t largestDecisionFile = 1024 * 1024;
// A file changed this recently may change again within the same timestamp tick, so its digest is not
// trusted later on size and times alone.
constexpr int64_t settlingNanoseconds = 2'000'000'000;

std::string damagedInPlaceSentence(const fs::path& file) {
    return "Nudgerly's Contacts access file \u201C" + file.string() +
           "\u201D is damaged, so it was left as it is and no answer can be recorded until it is repaired or "
           "removed.";
}

int64_t nanoseconds(const timespec& time) {
    return static_cast<int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

}  // namespace

VCardContactsStore::VCardContactsStore(fs::path contactsFolder, fs::path configurationFolder, MainQueue& mainQueue,
                                       std::shared_ptr<ContactsAccessPrompt> prompt, Limits limits)
    : contactsFolder_(std::move(contactsFolder)),
      configurationFolder_(std::move(configurationFolder)),
      mainQueue_(mainQueue),
      prompt_(std::move(prompt)),
      limits_(limits) {
    bool damaged = false;
    readDecision(&damaged);
    if (!damaged) {
        return;
    }
    if (const auto aside = setDamagedFileAside(decisionFile())) {
        decisionProblem_ = "Nudgerly's Contacts access file was damaged, so it was kept aside as \u201C" +
                           aside->string() + "\u201D and Nudgerly will ask for Contacts access again.";
    } else {
        damagedDecisionInPlace_ = true;
        decisionProblem_ = damagedInPlaceSentence(decisionFile());
    }
}

VCardContactsStore::VCardContactsStore(fs::path contactsFolder, fs::path configurationFolder, MainQueue& mainQueue,
                                       std::shared_ptr<ContactsAccessPrompt> prompt)
    : VCardContactsStore(std::move(contactsFolder), std::move(configurationFolder), mainQueue, std::move(prompt),
                         Limits{}) {}

VCardContactsStore::~VCardContactsStore() {
    std::unique_ptr<FileTreeWatcher> watcher;
    {
        std::lock_guard lock(watchMutex_);
        watcher = std::move(watcher_);
    }
    watcher.reset();  // outside the lock, which its thread may be waiting for
}

std::optional<ContactsAccessDecision> VCardContactsStore::readDecision(bool* damaged) const {
    std::string bytes;
    try {
        bytes = readOwnFile(decisionFile(), largestDecisionFile);
    } catch (const FileSystemError& error) {
        if (damaged != nullptr) {
            *damaged = error.errorNumber() == EFBIG;
        }
        return std::nullopt;  // no answer stored (or none that can be read): never asked
    }
    auto decision = ContactsAccessDecision::parse(bytes);
    if (damaged != nullptr) {
        *damaged = !decision;
    }
    return decision;
}

ContactsAuthorizationStatus VCardContactsStore::status(const std::optional<ContactsAccessDecision>& decision) const {
    struct stat info {};
    if (::stat(contactsFolder_.c_str(), &info) == 0 &&
        (!S_ISDIR(info.st_mode) || ::access(contactsFolder_.c_str(), R_OK | X_OK) != 0)) {
        return ContactsAuthorizationStatus::restricted;
    }
    return decision ? decision->status : ContactsAuthorizationStatus::notDetermined;
}

ContactsAuthorizationStatus VCardContactsStore::authorizationStatus() const {
    return status(readDecision());
}

bool VCardContactsStore::requestAccess(std::stop_token stop, AccessQuestion question) {
    std::unique_lock lock(askingMutex_);
    if (!askingEnded_.wait(lock, stop, [&] { return !asking_; })) {
        throw CancelledError();
    }
    const ContactsAuthorizationStatus current = authorizationStatus();
    const bool asks = current == ContactsAuthorizationStatus::notDetermined ||
                      (question == AccessQuestion::evenAfterRefusal && current == ContactsAuthorizationStatus::denied);
    if (!asks || !prompt_) {
        return allowsReading(current);
    }
    asking_ = true;
    lock.unlock();
    struct EndAsking {
        VCardContactsStore& store;
        ~EndAsking() {
            {
                std::lock_guard lock(store.askingMutex_);
                store.asking_ = false;
            }
            store.askingEnded_.notify_all();
        }
    } endAsking{*this};

    const bool allowed = prompt_->askForContactsAccess(stop);
    if (stop.stop_requested()) {
        throw CancelledError();
    }
    recordDecision({.status = allowed ? ContactsAuthorizationStatus::authorized : ContactsAuthorizationStatus::denied});
    return allowed;
}

void VCardContactsStore::recordDecision(const ContactsAccessDecision& decision) {
    if (damagedDecisionInPlace_) {
        // The damaged answer is kept until it can go aside; an answer repaired or removed meanwhile is
        // replaced as any other.
        bool damaged = false;
        readDecision(&damaged);
        if (damaged && !setDamagedFileAside(decisionFile())) {
            throw ContactsAccessError(damagedInPlaceSentence(decisionFile()));
        }
        damagedDecisionInPlace_ = false;
    }
    bool watching = false;
    {
        std::lock_guard lock(watchMutex_);
        watching = watcher_ != nullptr;
    }
    if (!watching) {
        writeDecision(decision);
        return;
    }
    // The caller learns of its own answer from the return value, not from a change notification: the
    // watcher is told what the answer makes of the state before the file changes, and looks only once
    // the file is in place, so that it never takes the answer for a change made elsewhere.
    const ContactsAuthorizationStatus next = status(decision);
    Observed expected{next, allowsReading(next) ? std::optional(historyToken(decision, {})) : std::nullopt};
    std::optional<Observed> before;
    {
        std::lock_guard lock(watchMutex_);
        before = std::exchange(lastObserved_, std::move(expected));
        writingAnswer_ = true;
        ++answersWritten_;
    }
    struct EndWriting {
        VCardContactsStore& store;
        std::optional<Observed> before;
        bool written = false;
        ~EndWriting() {
            {
                std::lock_guard lock(store.watchMutex_);
                if (!written) {
                    store.lastObserved_ = std::move(before);  // nothing changed after all
                }
                store.writingAnswer_ = false;
            }
            store.answerWritten_.notify_all();
        }
    } endWriting{*this, std::move(before)};
    writeDecision(decision);
    endWriting.written = true;
}

void VCardContactsStore::writeDecision(const ContactsAccessDecision& decision) {
    try {
        createPrivateDirectories(configurationFolder_);
        writeFileAtomically(decisionFile(), decision.encoded(), 0600);
    } catch (const FileSystemError& error) {
        throw ContactsAccessError(error.what());
    }
}

ContactsFetchResult VCardContactsStore::fetchContacts(std::stop_token stop) const {
    ContactsFetchResult result;
    const auto decision = readDecision();
    const ContactsAuthorizationStatus current = status(decision);
    if (!allowsReading(current)) {
        result.errors.push_back("Nudgerly doesn't have access to your contacts.");
        return result;
    }
    std::optional<std::set<std::string>> allowed;
    if (current == ContactsAuthorizationStatus::limited) {
        allowed.emplace(decision->allowed.begin(), decision->allowed.end());
    }

    VCardFolder::Listing listing = VCardFolder::list(contactsFolder_, stop);
    result.errors = std::move(listing.errors);
    for (const std::string& file : listing.files) {
        VCardParser parser;
        try {
            const PiecewiseRead read = readFileInPieces(
                contactsFolder_ / file, limits_.largestFile, [&](std::string_view piece) { parser.feed(piece); }, stop,
                VCardFolder::readFailureContext(file));
            if (read.cutShort()) {
                result.errors.push_back("The contacts file \u201C" + file +
                                        "\u201D is too large to read whole; the contacts at its end were left out.");
            }
        } catch (const FileSystemError& error) {
            result.errors.push_back(error.what());
            continue;
        }
        parser.finish();
        for (Contact& contact : parser.takeContacts()) {
            if (!allowed || allowed->contains(contact.identifier)) {
                result.contacts.push_back(std::move(contact));
            }
        }
    }
    return result;
}

std::string VCardContactsStore::fileDigest(const std::string& relativePath, std::stop_token stop) const {
    const fs::path path = contactsFolder_ / relativePath;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return "unreadable";
    }
    CachedDigest fresh{.device = info.st_dev,
                       .inode = info.st_ino,
                       .size = info.st_size,
                       .modified = nanoseconds(info.st_mtim),
                       .changed = nanoseconds(info.st_ctim)};
    const auto sameFile = [&](const CachedDigest& cached) {
        return cached.device == fresh.device && cached.inode == fresh.inode && cached.size == fresh.size &&
               cached.modified == fresh.modified && cached.changed == fresh.changed;
    };
    {
        std::lock_guard lock(digestsMutex_);
        if (const auto it = digests_.find(relativePath);
            it != digests_.end() && it->second.settled && sameFile(it->second)) {
            return it->second.digest;
        }
    }

    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    Sha256 hash;
    try {
        const PiecewiseRead read = readFileInPieces(
            path, limits_.largestFile, [&](std::string_view piece) { hash.update(piece); }, stop);
        // Past the limit only the size counts, as only that much is ever read.
        hash.update(std::string(1, '\0') + "size " + std::to_string(read.fileSize));
    } catch (const FileSystemError&) {
        return "unreadable";
    }
    const Sha256::Digest digest = hash.finish();
    fresh.digest.assign(digest.begin(), digest.end());
    fresh.settled = nanoseconds(now) - std::max(fresh.modified, fresh.changed) > settlingNanoseconds;
    std::lock_guard lock(digestsMutex_);
    digests_[relativePath] = fresh;
    return fresh.digest;
}

std::string VCardContactsStore::historyToken(const std::optional<ContactsAccessDecision>& decision,
                                             std::stop_token stop) const {
    Sha256 hash;
    const VCardFolder::Listing listing = VCardFolder::list(contactsFolder_, stop);
    for (const std::string& file : listing.files) {
        hash.update(file);
        hash.update(std::string_view("\0", 1));
        hash.update(fileDigest(file, stop));
    }
    for (const std::string& error : listing.errors) {
        hash.update(error);
    }
    {
        // Files that are gone need no digest any more.
        std::lock_guard lock(digestsMutex_);
        std::erase_if(digests_, [&](const auto& entry) {
            return !std::binary_search(listing.files.begin(), listing.files.end(), entry.first);
        });
    }
    hash.update(std::string_view("\0decision\0", 10));
    if (decision) {
        std::vector<std::string> allowed = decision->allowed;
        std::sort(allowed.begin(), allowed.end());
        hash.update(std::to_string(static_cast<int>(decision->status)));
        for (const std::string& identifier : allowed) {
            hash.update(std::string_view("\0", 1));
            hash.update(identifier);
        }
    }
    const Sha256::Digest digest = hash.finish();
    return {digest.begin(), digest.end()};
}

std::optional<std::string> VCardContactsStore::currentHistoryToken() const {
    {
        // Every change since was announced by a burst, which worked the token out anew.
        std::lock_guard lock(watchMutex_);
        if (watcher_ && lastObserved_) {
            return lastObserved_->second;
        }
    }
    const auto decision = readDecision();
    if (!allowsReading(status(decision))) {
        return std::nullopt;
    }
    return historyToken(decision, {});
}

VCardContactsStore::Observed VCardContactsStore::observed(std::stop_token stop) const {
    const auto decision = readDecision();
    const ContactsAuthorizationStatus current = status(decision);
    return {current, allowsReading(current) ? std::optional(historyToken(decision, stop)) : std::nullopt};
}

void VCardContactsStore::watcherSawBurst(std::stop_token stop) {
    for (;;) {
        uint64_t writes = 0;
        {
            std::unique_lock lock(watchMutex_);
            if (!answerWritten_.wait(lock, stop, [&] { return !writingAnswer_; })) {
                return;
            }
            writes = answersWritten_;
        }
        Observed now = observed(stop);
        std::lock_guard lock(watchMutex_);
        if (writingAnswer_ || answersWritten_ != writes) {
            continue;  // an answer of ours came meanwhile: what was read may be from either side of it
        }
        if (now == lastObserved_) {
            return;  // touched, but nothing the program reads changed
        }
        lastObserved_ = std::move(now);
        observers_.post(mainQueue_);
        return;
    }
}

ContactsChangeSubscription VCardContactsStore::subscribe(std::function<void()> onChange) {
    ContactsChangeSubscription subscription = observers_.add(std::move(onChange));
    std::lock_guard lock(watchMutex_);
    if (!watcher_) {
        try {
            watcher_ = std::make_unique<FileTreeWatcher>(
                std::vector<FileTreeWatcher::Target>{{contactsFolder_, true}, {decisionFile(), false}},
                [this](std::stop_token stop) { watcherSawBurst(stop); }, limits_.watching);
            lastObserved_ = observed({});
        } catch (const std::system_error&) {
            // No inotify: changes go unannounced, but the history token still tells them apart.
        }
    }
    return subscription;
}

}  // namespace nudgerly
