#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/formats/Url.h"

// Reading the query of the browser's redirect back to the loopback callback, and what it says about
// the sign-in.
namespace nudgerly::OAuthCallback {

// The items of a query in order: split at "&", then at the first "=", name and value percent-decoded
// ("+" stays a plus sign). Items without "=" are dropped.
std::vector<std::pair<std::string, std::string>> queryItems(std::string_view query);

// The callback's query items by name; the first of a repeated name counts. Empty without a query.
std::map<std::string, std::string> queryDictionary(const Url& callback);

// True when the callback's state (the first, if repeated) is `expectedState`: the identity provider's
// answer to this sign-in, rather than another program's request or an old browser tab's.
bool answersSignIn(const Url& callback, std::string_view expectedState);

struct Verdict {
    enum class Kind {
        grant,     // the expected state and a code: `value` is the code
        rejected,  // an "error" item: `value` is its value
        invalid,   // neither
    };

    Kind kind = Kind::invalid;
    std::string value;

    friend bool operator==(const Verdict&, const Verdict&) = default;
};

// A grant needs "state" equal to `expectedState` and a "code"; otherwise an "error" item rejects the
// sign-in, whatever the state; anything else is invalid. A query that names "state", "code" or
// "error" more than once is invalid: which of two codes or states to believe cannot be told.
Verdict judge(const Url& callback, std::string_view expectedState);

// True for a grant that carries no "error" item: only then does the browser page say the sign-in
// succeeded.
bool completesSignIn(const Url& callback, std::string_view expectedState);

}  // namespace nudgerly::OAuthCallback
