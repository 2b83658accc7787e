#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "loopback/LoopbackHttpServer.h"

namespace nudgerly::test {

// Serves one file over loopback HTTPS the way a model hub does: an entity tag, a modification date
// and byte ranges, honoured while If-Range still names this file. Misbehaves on request.
class PackFileServer {
public:
    struct Behaviour {
        bool ignoreRange = false;                      // always the whole file with 200
        bool sendEntityTag = true;                     // without it only Last-Modified validates
        std::optional<int> status;                     // every request: this status, no body
        std::optional<int> rangeStatus;                // requests for a range: this status, no body
        std::map<std::string, std::string> redirects;  // path -> Location of a 302 answer
        std::optional<uint64_t> stallAt;               // hold the body at this offset until release()
        std::optional<uint64_t> dropAt;                // reset the connection at this offset
    };

    // With `refuseUntilOpened`, a host that is down until open() is called.
    explicit PackFileServer(std::string contents, bool refuseUntilOpened = false);
    PackFileServer(const PackFileServer&) = delete;
    PackFileServer& operator=(const PackFileServer&) = delete;

    // Applies to requests that arrive from now on.
    void setBehaviour(Behaviour behaviour);
    // Lets stalled bodies go on (until the next setBehaviour).
    void release();
    // True while some answer is held at the stall offset.
    bool isStalled() const;

    std::string url(const std::string& path = "/pack.gguf") const { return server_.baseUrl() + path; }
    std::string baseUrl() const { return server_.baseUrl(); }
    void open() { server_.open(); }
    const std::string& caFile() const { return server_.caFile(); }
    const std::string& entityTag() const { return entityTag_; }
    static const std::string lastModified;
    const std::string& contents() const { return contents_; }
    std::vector<TestHttpRequest> requests() const { return server_.requests(); }

private:
    void serve(const TestHttpRequest& request, ResponseWriter& writer);
    void waitForRelease();

    const std::string contents_;
    const std::string entityTag_;
    mutable std::mutex mutex_;
    Behaviour behaviour_;
    bool released_ = false;
    int stalled_ = 0;
    LoopbackHttpServer server_;  // last: it stops before the rest goes away
};

}  // namespace nudgerly::test
