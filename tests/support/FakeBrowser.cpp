#include "support/FakeBrowser.h"

#include <array>
#include <utility>

#include "platform/formats/PercentEncoding.h"
#include "platform/formats/Url.h"
#include "sources/gmail/oauth/OAuthCallback.h"
#include "support/RawConnection.h"

namespace nudgerly::test {
namespace {

bool isBase64Url(const std::string& text, std::size_t length) {
    if (text.size() != length) {
        return false;
    }
    for (const char c : text) {
        const bool allowed =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!allowed) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> problemsOf(const std::vector<std::pair<std::string, std::string>>& items) {
    static constexpr std::array names{"client_id", "redirect_uri",   "response_type",
                                      "scope",     "access_type",    "prompt",
                                      "state",     "code_challenge", "code_challenge_method"};
    std::vector<std::string> problems;
    if (items.size() != names.size()) {
        problems.push_back("expected 9 query items, got " + std::to_string(items.size()));
    }
    for (std::size_t index = 0; index < std::min(items.size(), names.size()); ++index) {
        if (items[index].first != names[index]) {
            problems.push_back("item " + std::to_string(index) + " is " + items[index].first + ", not " + names[index]);
        }
    }
    std::map<std::string, std::string> byName(items.begin(), items.end());
    const auto expect = [&](const std::string& name, bool holds) {
        if (!holds) {
            problems.push_back("unexpected " + name + ": " + byName[name]);
        }
    };
    expect("client_id", !byName["client_id"].empty());
    const auto redirect = Url::parse(byName["redirect_uri"]);
    expect("redirect_uri", redirect && redirect->scheme() == "http" && redirect->host() == "127.0.0.1" &&
                               redirect->path() == "/oauth/callback" && !redirect->query());
    expect("response_type", byName["response_type"] == "code");
    expect("scope", byName["scope"] == "https://www.googleapis.com/auth/gmail.readonly");
    expect("access_type", byName["access_type"] == "offline");
    expect("prompt", byName["prompt"] == "consent");
    expect("state", isBase64Url(byName["state"], 32));
    expect("code_challenge", isBase64Url(byName["code_challenge"], 43));
    expect("code_challenge_method", byName["code_challenge_method"] == "S256");
    return problems;
}

uint16_t portOf(const std::string& redirectAddress) {
    const auto colon = redirectAddress.rfind(':');
    return static_cast<uint16_t>(std::stoi(redirectAddress.substr(colon + 1)));
}

}  // namespace

FakeBrowser::FakeBrowser() : FakeBrowser(Behaviour{}) {}

FakeBrowser::FakeBrowser(Behaviour behaviour) : behaviour_(std::move(behaviour)) {}

void FakeBrowser::setBehaviour(Behaviour behaviour) {
    std::lock_guard lock(mutex_);
    behaviour_ = std::move(behaviour);
}

bool FakeBrowser::open(const std::string& address, std::stop_token) {
    std::unique_lock lock(mutex_);
    opened_.push_back(address);
    const Behaviour behaviour = behaviour_;
    if (behaviour.reply == Reply::failToOpen) {
        return false;
    }
    const auto url = Url::parse(address);
    const auto items = url && url->query() ? OAuthCallback::queryItems(*url->query())
                                           : std::vector<std::pair<std::string, std::string>>{};
    items_ = std::map<std::string, std::string>(items.begin(), items.end());
    problems_ = problemsOf(items);
    if (behaviour.reply == Reply::stayOpen) {
        return true;
    }
    const std::string state = items_["state"];
    const std::string redirect = items_["redirect_uri"];
    std::string query;
    switch (behaviour.reply) {
        case Reply::grant: query = "code=" + PercentEncoding::encoded(behaviour.code) + "&state=" + state; break;
        case Reply::error: query = "error=" + PercentEncoding::encoded(behaviour.error) + "&state=" + state; break;
        case Reply::query:
            query = behaviour.query;
            if (const auto at = query.find("{state}"); at != std::string::npos) {
                query.replace(at, 7, state);
            }
            break;
        case Reply::stayOpen:
        case Reply::failToOpen: break;
    }
    lock.unlock();
    // The callback server answers on its own thread, so the page can be awaited here.
    const auto callBack = [&](const std::string& callbackQuery) {
        return rawExchange(portOf(redirect), "GET /oauth/callback?" + callbackQuery +
                                                 " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/html\r\n\r\n");
    };
    std::vector<std::string> foreignPages;
    for (const auto& foreign : behaviour.foreignCallbacks) {
        foreignPages.push_back(callBack(foreign));
    }
    std::string page = callBack(query);
    lock.lock();
    foreignPages_ = std::move(foreignPages);
    page_ = std::move(page);
    return true;
}

std::vector<std::string> FakeBrowser::openedAddresses() const {
    std::lock_guard lock(mutex_);
    return opened_;
}

std::map<std::string, std::string> FakeBrowser::items() const {
    std::lock_guard lock(mutex_);
    return items_;
}

std::vector<std::string> FakeBrowser::problems() const {
    std::lock_guard lock(mutex_);
    return problems_;
}

std::string FakeBrowser::page() const {
    std::lock_guard lock(mutex_);
    return page_;
}

std::vector<std::string> FakeBrowser::foreignPages() const {
    std::lock_guard lock(mutex_);
    return foreignPages_;
}

}  // namespace nudgerly::test
