#include "state/DesktopOpener.h"

#include <system_error>

#include "core/CancelledError.h"

namespace nudgerly {

DesktopOpener::DesktopOpener(BackgroundExecutor& executor, std::shared_ptr<XdgUrlOpener> opener)
    : executor_(executor), opener_(std::move(opener)) {}

bool DesktopOpener::openLink(const std::string& url, std::stop_token stop) {
    return opener_->openLink(url, stop);
}

void DesktopOpener::openFolder(const std::filesystem::path& folder) {
    submit("Open folder", [folder](XdgUrlOpener& opener, std::stop_token stop) { opener.openFolder(folder, stop); });
}

template <typename Open>
void DesktopOpener::submit(std::string label, Open open) {
    try {
        executor_.submit(std::move(label), [opener = opener_, open = std::move(open)](std::stop_token stop) {
            try {
                open(*opener, stop);
            } catch (const CancelledError&) {
                // The program is ending; the desktop may still have taken it.
            }
        });
    } catch (const std::system_error&) {
        // No thread to be had: the link is ignored, as one that cannot be opened is.
    }
}

}  // namespace nudgerly
