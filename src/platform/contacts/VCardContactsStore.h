#pragma once

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "core/MainQueue.h"
#include "platform/contacts/ContactsAccessDecision.h"
#include "platform/contacts/ContactsAccessPrompt.h"
#include "platform/contacts/ContactsStore.h"
#include "platform/system/FileTreeWatcher.h"

namespace nudgerly {

// The address book of a Linux desktop: the vCard files that contact-sync programs keep in a folder
// (every "*.vcf" below it, one or more cards per file). Whether the program may read them is the
// user's answer stored as "contacts-access.json" in the configuration folder, so deleting the data
// folder keeps it. A contacts folder that exists but cannot be read makes access `restricted`. A
// damaged answer found when the store is made is renamed aside ("<name>.corrupt-<time>", see
// setDamagedFileAside) and access counts as never decided; one that cannot be moved is never
// overwritten.
//
// The history token is a SHA-256 over every card file (by relative path and contents) and the access
// decision. Changes are watched with inotify once someone subscribes; each burst of changes that moves
// the status or the token is announced once, through the main queue. While watching, the token is
// worked out once per burst and kept: asking for it then touches no file.
class VCardContactsStore : public ContactsStore {
public:
    struct Limits {
        // Bytes read of one card file at most; the cards beyond are left out and the file reported.
        uint64_t largestFile = 256ull * 1024 * 1024;
        FileTreeWatcher::Timing watching;
    };

    // `prompt` may be null: then access is never granted by `requestAccess`, and nothing is recorded.
    VCardContactsStore(std::filesystem::path contactsFolder, std::filesystem::path configurationFolder,
                       MainQueue& mainQueue, std::shared_ptr<ContactsAccessPrompt> prompt, Limits limits);
    VCardContactsStore(std::filesystem::path contactsFolder, std::filesystem::path configurationFolder,
                       MainQueue& mainQueue, std::shared_ptr<ContactsAccessPrompt> prompt = nullptr);
    // Stops and joins the watcher.
    ~VCardContactsStore() override;
    VCardContactsStore(const VCardContactsStore&) = delete;
    VCardContactsStore& operator=(const VCardContactsStore&) = delete;

    // "contacts" in the data home (${XDG_DATA_HOME:-~/.local/share}), where contact-sync programs keep
    // their cards.
    static std::filesystem::path contactsFolderIn(const std::filesystem::path& dataHome) {
        return dataHome / "contacts";
    }

    ContactsAuthorizationStatus authorizationStatus() const override;
    bool requestAccess(std::stop_token stop, AccessQuestion question = AccessQuestion::whenUndecided) override;
    ContactsFetchResult fetchContacts(std::stop_token stop) const override;
    std::optional<std::string> currentHistoryToken() const override;
    ContactsChangeSubscription subscribe(std::function<void()> onChange) override;
    std::optional<std::string> decisionProblem() const override { return decisionProblem_; }

    std::filesystem::path decisionFile() const { return configurationFolder_ / ContactsAccessDecision::fileName; }

private:
    // What a change notification compares: it is sent only when this moved.
    using Observed = std::pair<ContactsAuthorizationStatus, std::optional<std::string>>;

    // A card file's digest, reused while the file's identity, size and times stay the same.
    struct CachedDigest {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        int64_t modified = 0;  // nanoseconds, both times
        int64_t changed = 0;
        bool settled = false;  // the file had not changed for a while when it was hashed
        std::string digest;
    };

    // The stored answer; absent when none is stored or it cannot be read, and when it is damaged, which
    // `damaged` then tells.
    std::optional<ContactsAccessDecision> readDecision(bool* damaged = nullptr) const;
    ContactsAuthorizationStatus status(const std::optional<ContactsAccessDecision>& decision) const;
    std::string fileDigest(const std::string& relativePath, std::stop_token stop) const;
    std::string historyToken(const std::optional<ContactsAccessDecision>& decision, std::stop_token stop) const;
    Observed observed(std::stop_token stop) const;
    void watcherSawBurst(std::stop_token stop);
    void recordDecision(const ContactsAccessDecision& decision);
    void writeDecision(const ContactsAccessDecision& decision);

    const std::filesystem::path contactsFolder_;
    const std::filesystem::path configurationFolder_;
    MainQueue& mainQueue_;
    const std::shared_ptr<ContactsAccessPrompt> prompt_;
    const Limits limits_;
    std::optional<std::string> decisionProblem_;  // fixed after construction
    bool damagedDecisionInPlace_ = false;         // touched by one request at a time (asking_)

    mutable std::mutex digestsMutex_;
    mutable std::map<std::string, CachedDigest> digests_;

    // One question to the user at a time; a second request waits for the first answer.
    std::mutex askingMutex_;
    std::condition_variable_any askingEnded_;
    bool asking_ = false;

    ContactsChangeObservers observers_;
    mutable std::mutex watchMutex_;
    // What the watcher last saw, or what an answer of ours is about to make it: kept while watching.
    std::optional<Observed> lastObserved_;
    // An answer of ours is being written; the watcher looks only once it is in place.
    bool writingAnswer_ = false;
    uint64_t answersWritten_ = 0;
    std::condition_variable_any answerWritten_;
    // Last, so that it is destroyed first: its thread calls back into this object.
    std::unique_ptr<FileTreeWatcher> watcher_;
};

}  // namespace nudgerly
