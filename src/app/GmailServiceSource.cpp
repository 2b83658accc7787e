#include "app/GmailServiceSource.h"

#include <utility>

namespace nudgerly {
namespace {

class GmailServiceSource final : public GmailSource {
public:
    explicit GmailServiceSource(GmailServiceDependencies dependencies)
        : secrets_(dependencies.secrets), service_(std::move(dependencies)) {}

    GmailConnectionStatus loadStoredStatus(std::stop_token stop) override { return service_.loadStoredStatus(stop); }
    GmailConnectionStatus status() const override { return service_.status(); }

    ConversationBatch refresh(LookbackWindow lookback, Progress onProgress, std::stop_token stop) override {
        const auto report = [onProgress = std::move(onProgress)](const ScanProgressUpdate& update) {
            if (onProgress) {
                onProgress(update.detail, update.completed, update.total);
            }
        };
        return service_.refresh(lookback, report, stop);
    }

    GmailConnectionStatus connect(std::stop_token stop) override { return service_.connect(stop); }
    void disconnect() override { service_.disconnect(); }

    bool hasStoredTokens(std::stop_token stop) override {
        // The store itself, not the service's memory: a removal the store did not carry out shows here.
        return secrets_.load(GmailService::tokensAccount, stop).has_value();
    }

    void reloadClientConfiguration() override { service_.reloadClientConfiguration(); }

private:
    const SecretStore secrets_;  // shares its store with the service's copy
    GmailService service_;
};

}  // namespace

std::shared_ptr<GmailSource> makeGmailServiceSource(GmailServiceDependencies dependencies) {
    return std::make_shared<GmailServiceSource>(std::move(dependencies));
}

}  // namespace nudgerly
