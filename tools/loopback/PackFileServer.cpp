#include "loopback/PackFileServer.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "core/Sha256.h"

namespace nudgerly::test {

const std::string PackFileServer::lastModified = "Wed, 21 Oct 2015 07:28:00 GMT";

PackFileServer::PackFileServer(std::string contents, bool refuseUntilOpened)
    : contents_(std::move(contents)),
      entityTag_("\"" + Sha256::hexDigest(contents_).substr(0, 16) + "\""),
      server_([this](const TestHttpRequest& request, ResponseWriter& writer) { serve(request, writer); }, true, 0,
              refuseUntilOpened) {}

void PackFileServer::setBehaviour(Behaviour behaviour) {
    std::lock_guard lock(mutex_);
    behaviour_ = std::move(behaviour);
    released_ = false;
}

void PackFileServer::release() {
    std::lock_guard lock(mutex_);
    released_ = true;
}

bool PackFileServer::isStalled() const {
    std::lock_guard lock(mutex_);
    return stalled_ > 0;
}

void PackFileServer::waitForRelease() {
    std::unique_lock lock(mutex_);
    ++stalled_;
    while (!released_ && !server_.isStopping()) {
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        lock.lock();
    }
    --stalled_;
}

void PackFileServer::serve(const TestHttpRequest& request, ResponseWriter& writer) {
    Behaviour behaviour;
    {
        std::lock_guard lock(mutex_);
        behaviour = behaviour_;
    }
    const uint64_t size = contents_.size();
    if (const auto redirect = behaviour.redirects.find(request.path()); redirect != behaviour.redirects.end()) {
        writer.respond(302, "", {{"Location", redirect->second}});
        return;
    }
    if (behaviour.status) {
        writer.respond(*behaviour.status, "");
        return;
    }
    uint64_t start = 0;
    const auto range = request.header("range");
    if (range && !behaviour.ignoreRange) {
        if (behaviour.rangeStatus) {
            writer.respond(*behaviour.rangeStatus, "", {{"Content-Range", "bytes */" + std::to_string(size)}});
            return;
        }
        const auto ifRange = request.header("if-range");
        const bool sameFile =
            !ifRange || *ifRange == lastModified || (behaviour.sendEntityTag && *ifRange == entityTag_);
        if (sameFile && range->starts_with("bytes=")) {
            start = std::stoull(range->substr(6));
            if (start >= size) {
                writer.respond(416, "", {{"Content-Range", "bytes */" + std::to_string(size)}});
                return;
            }
        }
    }
    std::vector<std::pair<std::string, std::string>> headers{{"Last-Modified", lastModified},
                                                             {"Accept-Ranges", "bytes"}};
    if (behaviour.sendEntityTag) {
        headers.emplace_back("ETag", entityTag_);
    }
    if (start > 0) {
        headers.emplace_back("Content-Range", "bytes " + std::to_string(start) + "-" + std::to_string(size - 1) + "/" +
                                                  std::to_string(size));
    }
    writer.writeHead(start > 0 ? 206 : 200, headers, size - start);
    for (uint64_t position = start; position < size;) {
        uint64_t end = std::min<uint64_t>(size, position + (1 << 20));
        for (const auto& mark : {behaviour.stallAt, behaviour.dropAt}) {
            if (mark && *mark > position) {
                end = std::min(end, *mark);
            }
        }
        if (server_.isStopping() || !writer.writeBody(std::string_view(contents_).substr(position, end - position))) {
            return;
        }
        position = end;
        if (behaviour.stallAt && position == *behaviour.stallAt) {
            waitForRelease();
        }
        if (behaviour.dropAt && position == *behaviour.dropAt) {
            writer.drop();
            return;
        }
    }
}

}  // namespace nudgerly::test
