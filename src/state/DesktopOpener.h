#pragma once

#include <memory>

#include "core/BackgroundExecutor.h"
#include "platform/system/UrlOpener.h"
#include "state/SystemOpener.h"

namespace nudgerly {

// The system opener of the program: hands links and folders to xdg-open. Links are opened on the
// caller's thread, which learns whether they were taken; folders on a worker of `executor`, so the
// main thread never waits for the desktop, and whether they opened is not reported, as nothing acts on
// it. The executor must outlive the opener's jobs (its owner stops it).
class DesktopOpener final : public SystemOpener {
public:
    DesktopOpener(BackgroundExecutor& executor,
                  std::shared_ptr<XdgUrlOpener> opener = std::make_shared<XdgUrlOpener>());

    bool openLink(const std::string& url, std::stop_token stop) override;
    void openFolder(const std::filesystem::path& folder) override;

private:
    // Runs `open` on a worker, quietly: a refusal, a stop or a missing worker all end in nothing opened.
    template <typename Open>
    void submit(std::string label, Open open);

    BackgroundExecutor& executor_;
    std::shared_ptr<XdgUrlOpener> opener_;
};

}  // namespace nudgerly
