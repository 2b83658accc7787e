#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/net/HttpClient.h"
#include "sources/gmail/GmailRecords.h"

namespace nudgerly {

// Query items in the order they are sent; items without a value are left out.
using GmailQuery = std::vector<std::pair<std::string, std::optional<std::string>>>;

struct GmailApiEndpoint {
    static constexpr std::string_view defaultBaseAddress = "https://gmail.googleapis.com/gmail/v1";

    std::string baseAddress{defaultBaseAddress};
    // Certificates to trust instead of the system's; only tests against a loopback server set it.
    std::optional<std::string> caFile;
    // An answer that comes in at under one byte a second for this long fails as timed out, and so is
    // retried, instead of holding the call to its whole time-out; tests shorten it.
    std::chrono::seconds stallTimeout{15};
};

// The Gmail REST API's read calls: an authorised GET with up to three attempts, waiting between them
// after rate limiting, server errors and transient transport failures, and the answer decoded as the
// expected record. Holds no state between calls, so concurrent calls from several threads are safe.
class GmailApiClient {
public:
    using Sleeper = std::function<void(std::chrono::milliseconds, std::stop_token)>;

    static constexpr int maximumAttempts = 3;
    static constexpr std::chrono::seconds requestTimeout{60};
    // A thread with every body is a few MiB at most; far larger answers are refused.
    static constexpr std::size_t largestAnswer = 32 << 20;

    // `sleeper` waits between attempts and throws CancelledError on a stop request; by default sleepFor.
    explicit GmailApiClient(std::shared_ptr<HttpClient> http, GmailApiEndpoint endpoint = {}, Sleeper sleeper = {});

    // The answer to GET base + path + query, decoded as `Record`. Throws GmailError::google with the
    // server's message for an unsuccessful answer (every status but 200 once retries are used up), the
    // JsonDecodingError of a 200 answer that is not the record, the HttpError of a transport failure, and
    // CancelledError when `stop` is requested before an attempt, during a wait or during a request.
    template <typename Record>
    Record api(std::string_view path, const GmailQuery& query, const std::string& accessToken,
               std::stop_token stop) const {
        return decodeGmailRecord<Record>(successfulBody(path, query, accessToken, stop));
    }

    // The address of a call: the base, the path as given, then the query items with a value.
    std::string address(std::string_view path, const GmailQuery& query) const;

    static constexpr std::string_view profilePath = "/users/me/profile";
    static constexpr std::string_view messagesPath = "/users/me/messages";
    // "/users/me/threads/" and the id as one path segment: no id can reach another resource.
    static std::string threadPath(std::string_view threadID);

private:
    std::string successfulBody(std::string_view path, const GmailQuery& query, const std::string& accessToken,
                               std::stop_token stop) const;

    std::shared_ptr<HttpClient> http_;
    GmailApiEndpoint endpoint_;
    Sleeper sleeper_;
};

}  // namespace nudgerly
