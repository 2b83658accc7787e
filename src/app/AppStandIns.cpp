#include "app/AppStandIns.h"

#include "core/UserFacingError.h"

namespace nudgerly::AppStandIns {
namespace {

class PendingGmailService final : public GmailSource {
public:
    GmailConnectionStatus loadStoredStatus(std::stop_token) override { return {}; }
    GmailConnectionStatus status() const override { return {}; }
    ConversationBatch refresh(int64_t, Progress, std::stop_token) override { throw notAvailable(); }
    GmailConnectionStatus connect(std::stop_token) override { throw notAvailable(); }
    void disconnect() override {}
    bool hasStoredTokens(std::stop_token) override { return false; }
    void reloadClientConfiguration() override {}

private:
    static UserFacingError notAvailable() {
        return UserFacingError("This version of Nudgerly cannot connect to Gmail yet.");
    }
};

}  // namespace

std::shared_ptr<GmailSource> gmailService() { return std::make_shared<PendingGmailService>(); }

}  // namespace nudgerly::AppStandIns
