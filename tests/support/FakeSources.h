#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "state/Clipboard.h"
#include "state/GmailSource.h"
#include "state/MessagesSource.h"
#include "state/SystemOpener.h"

namespace nudgerly::test {

// The Messages reader, scripted by the test. Calls arrive on workers and are logged as "scan(7)" (the
// lookback's days), "requestContacts()" (or "requestContacts(again)" when a refusal is asked about
// again) and "removingDeletedMessages(<item count>)". Safe from any thread; set the scripts before the state
// object uses it.
class FakeMessagesSource : public MessagesSource {
public:
    std::function<ConversationBatch(LookbackWindow lookback, std::stop_token stop)> onScan;  // default: an empty batch
    std::function<bool(std::stop_token stop)> onRequestContacts;                             // default: true
    // Default: nothing is gone.
    std::function<std::optional<ReviewSnapshot>(const ReviewSnapshot& snapshot, std::stop_token stop)>
        onRemovingDeletedMessages;

    ConversationBatch scan(LookbackWindow lookback, std::stop_token stop) override;
    bool requestContacts(std::stop_token stop, AccessQuestion question) override;
    std::optional<ReviewSnapshot> removingDeletedMessages(const ReviewSnapshot& snapshot,
                                                          std::stop_token stop) override;

    std::vector<std::string> calls() const;

private:
    void record(std::string call);

    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
};

// The Gmail service, scripted by the test. Calls are logged as "loadStoredStatus()", "status()",
// "refresh(7)", "connect()", "disconnect()", "hasStoredTokens()" and "reloadClientConfiguration()".
// Safe from any thread.
class FakeGmailSource : public GmailSource {
public:
    // What the service reports; `disconnect` clears `connected` and the address. A connected status
    // has its token item stored, which `disconnect` removes unless `failTokenRemoval` is set.
    void setStatus(GmailConnectionStatus status);
    std::atomic<bool> failTokenRemoval{false};

    std::function<ConversationBatch(LookbackWindow lookback, const Progress& onProgress, std::stop_token stop)>
        onRefresh;
    // Default: the status with `connected` set and the address "person@example.com". What it returns
    // becomes the service's status.
    std::function<GmailConnectionStatus(std::stop_token stop)> onConnect;

    GmailConnectionStatus loadStoredStatus(std::stop_token stop) override;
    GmailConnectionStatus status() const override;
    ConversationBatch refresh(LookbackWindow lookback, Progress onProgress, std::stop_token stop) override;
    GmailConnectionStatus connect(std::stop_token stop) override;
    void disconnect() override;
    bool hasStoredTokens(std::stop_token stop) override;
    void reloadClientConfiguration() override;

    std::vector<std::string> calls() const;

private:
    void record(std::string call) const;

    mutable std::mutex mutex_;
    GmailConnectionStatus status_;
    bool storedTokens_ = false;
    mutable std::vector<std::string> calls_;
};

class FakeClipboard : public Clipboard {
public:
    void setText(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;  // every text put on the clipboard, in order
};

class FakeSystemOpener : public SystemOpener {
public:
    bool openLink(const std::string& url, std::stop_token) override {
        opened.push_back(url);
        return takesLinks;
    }
    void openFolder(const std::filesystem::path& folder) override { opened.push_back(folder.string()); }
    std::vector<std::string> opened;  // links and folders, in order
    bool takesLinks = true;           // what openLink answers
};

}  // namespace nudgerly::test
