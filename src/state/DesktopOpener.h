#pragma once

#include <memory>

#include "core/BackgroundExecutor.h"
#include "platform/system/UrlOpener.h"
#include "state/SystemOpener.h"

namespace nudgerly {

// The system opener of the program: hands links and folders to xdg-open on a worker of `executor`, so
// the main thread never waits for the desktop. Whether the desktop took them is not reported, as
// nothing acts on it. The executor must outlive the opener's jobs (its owner stops it).
class DesktopOpener final : public SystemOpener {
public:
    DesktopOpener(BackgroundExecutor& executor, std::shared_ptr<XdgUrlOpener> opener = std::make_shared<XdgUrlOpener>());

    void openLink(const std::string& url) override;
    void openFolder(const std::filesystem::path& folder) override;

private:
    // Runs `open` on a worker, quietly: a refusal, a stop or a missing worker all end in nothing opened.
    template <typename Open>
    void submit(std::string label, Open open);

    BackgroundExecutor& executor_;
    std::shared_ptr<XdgUrlOpener> opener_;
};

}  // namespace nudgerly
