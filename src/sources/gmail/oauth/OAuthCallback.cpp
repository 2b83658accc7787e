#include "sources/gmail/oauth/OAuthCallback.h"

#include <array>
#include <set>

#include "platform/formats/PercentEncoding.h"

namespace nudgerly::OAuthCallback {
namespace {

std::vector<std::pair<std::string, std::string>> itemsOf(const Url& callback) {
    return callback.query() ? queryItems(*callback.query()) : std::vector<std::pair<std::string, std::string>>{};
}

bool repeatsAnAnswerItem(const std::vector<std::pair<std::string, std::string>>& items) {
    static constexpr std::array answerItems{std::string_view("state"), std::string_view("code"),
                                            std::string_view("error")};
    std::set<std::string_view> seen;
    for (const auto& [name, value] : items) {
        for (const auto answerItem : answerItems) {
            if (name == answerItem && !seen.insert(answerItem).second) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> queryItems(std::string_view query) {
    std::vector<std::pair<std::string, std::string>> items;
    for (;;) {
        const auto ampersand = query.find('&');
        const std::string_view item = query.substr(0, ampersand);
        if (const auto equals = item.find('='); equals != std::string_view::npos) {
            items.emplace_back(PercentEncoding::decoded(item.substr(0, equals)),
                               PercentEncoding::decoded(item.substr(equals + 1)));
        }
        if (ampersand == std::string_view::npos) {
            break;
        }
        query.remove_prefix(ampersand + 1);
    }
    return items;
}

std::map<std::string, std::string> queryDictionary(const Url& callback) {
    std::map<std::string, std::string> dictionary;
    for (auto& [name, value] : itemsOf(callback)) {
        dictionary.emplace(std::move(name), std::move(value));
    }
    return dictionary;
}

bool answersSignIn(const Url& callback, std::string_view expectedState) {
    const auto query = queryDictionary(callback);
    const auto state = query.find("state");
    return state != query.end() && state->second == expectedState;
}

Verdict judge(const Url& callback, std::string_view expectedState) {
    if (repeatsAnAnswerItem(itemsOf(callback))) {
        return {};
    }
    const auto query = queryDictionary(callback);
    const auto state = query.find("state");
    const auto code = query.find("code");
    if (state != query.end() && state->second == expectedState && code != query.end()) {
        return {.kind = Verdict::Kind::grant, .value = code->second};
    }
    if (const auto error = query.find("error"); error != query.end()) {
        return {.kind = Verdict::Kind::rejected, .value = error->second};
    }
    return {};
}

bool completesSignIn(const Url& callback, std::string_view expectedState) {
    return judge(callback, expectedState).kind == Verdict::Kind::grant && !queryDictionary(callback).contains("error");
}

}  // namespace nudgerly::OAuthCallback
