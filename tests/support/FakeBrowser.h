#pragma once

#include <map>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/system/UrlOpener.h"

namespace nudgerly::test {

// Plays the user's browser in a Gmail sign-in: it checks the authorization address it is asked to
// open, then "signs in" by sending the callback request to the loopback redirect address over a raw
// socket, as a browser following the identity provider's redirect would, and keeps the page it got.
class FakeBrowser final : public UrlOpener {
public:
    enum class Reply {
        grant,       // "code" and the sign-in's state
        error,       // "error" and the sign-in's state
        query,       // `query` as given; "{state}" in it becomes the sign-in's state
        stayOpen,    // opens, and the user never finishes
        failToOpen,  // the desktop cannot open the page
    };
    struct Behaviour {
        Reply reply = Reply::grant;
        std::string code = "4/0Adeu5BW-test-code";
        std::string error = "access_denied";
        std::string query;
        // Callback queries another local program sends before the browser calls back.
        std::vector<std::string> foreignCallbacks;
    };

    FakeBrowser();
    explicit FakeBrowser(Behaviour behaviour);

    void setBehaviour(Behaviour behaviour);
    bool open(const std::string& address, std::stop_token stop) override;

    std::vector<std::string> openedAddresses() const;
    // The last address's query items, decoded.
    std::map<std::string, std::string> items() const;
    // What is wrong with the last address: empty when its query holds exactly the nine items of a
    // read-only sign-in with PKCE, in their order, and nothing else.
    std::vector<std::string> problems() const;
    // The callback server's whole answer to the last callback.
    std::string page() const;
    // Its answers to the foreign callbacks of the last sign-in.
    std::vector<std::string> foreignPages() const;

private:
    mutable std::mutex mutex_;
    Behaviour behaviour_;
    std::vector<std::string> opened_;
    std::map<std::string, std::string> items_;
    std::vector<std::string> problems_;
    std::string page_;
    std::vector<std::string> foreignPages_;
};

}  // namespace nudgerly::test
