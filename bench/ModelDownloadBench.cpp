// Downloads a 1 GiB model file from a loopback HTTPS server through the download manager, verified
// and installed, and in the same run times `curl -o` followed by `sha256sum` on the same file from
// the same server. Prints the median of each and their ratio.
//
// Usage: ModelDownloadBench [MiB] [rounds]     (defaults: 1024 MiB, 3 rounds)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <stdlib.h>

#include "core/MainQueue.h"
#include "core/Sha256.h"
#include "modelpacks/ModelDownloadManager.h"
#include "support/PackFileServer.h"

namespace {

using namespace nudgerly;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// Bytes that do not compress and are quick to make.
std::string makeContents(std::size_t size) {
    std::string contents(size, '\0');
    uint64_t state = 0x9E3779B97F4A7C15ull;
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::memcpy(contents.data() + i, &state, 8);
    }
    return contents;
}

double seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Returns the time, or a negative number on failure.
double timeManager(const ModelPack& pack, const fs::path& root, const std::string& caFile) {
    ManualMainQueue queue;
    const auto start = Clock::now();
    double elapsed = -1;
    {
        ModelDownloadManager manager(pack, root, {.caFile = caFile}, nullptr, queue);
        Clock::time_point verifying;
        manager.observe([&](const ModelDownloadState& state) {
            if (state.kind == ModelDownloadState::Kind::verifying) {
                verifying = Clock::now();
            }
        });
        manager.beginDownload(false);
        const auto done = [&] {
            const auto kind = manager.state().kind;
            return kind == ModelDownloadState::Kind::installed || kind == ModelDownloadState::Kind::failed;
        };
        queue.runUntil(done, std::chrono::minutes(10));
        if (manager.state().kind == ModelDownloadState::Kind::installed) {
            elapsed = seconds(Clock::now() - start);
            std::printf("  manager: transfer %.2f s, verify and install %.2f s\n", seconds(verifying - start),
                        seconds(Clock::now() - verifying));
        } else {
            std::cerr << "download failed: " << manager.state().message << "\n";
        }
        manager.remove();
    }
    return elapsed;
}

double timeCurlAndSha256sum(const std::string& url, const std::string& caFile, const fs::path& file,
                            const std::string& expectedDigest) {
    const auto start = Clock::now();
    const std::string download = "curl -sS --fail --cacert '" + caFile + "' -o '" + file.string() + "' '" + url + "'";
    if (std::system(download.c_str()) != 0) {
        std::cerr << "curl failed\n";
        return -1;
    }
    const auto downloaded = Clock::now();
    FILE* pipe = ::popen(("sha256sum '" + file.string() + "'").c_str(), "r");
    char digest[65] = {};
    const bool read = pipe && std::fread(digest, 1, 64, pipe) == 64;
    if (pipe) {
        ::pclose(pipe);
    }
    const double elapsed = seconds(Clock::now() - start);
    std::printf("  curl: download %.2f s, sha256sum %.2f s\n", seconds(downloaded - start), seconds(Clock::now() - downloaded));
    fs::remove(file);
    if (!read || expectedDigest != digest) {
        std::cerr << "sha256sum disagrees\n";
        return -1;
    }
    return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t mebibytes = argc > 1 ? std::stoul(argv[1]) : 1024;
    const int rounds = argc > 2 ? std::stoi(argv[2]) : 3;

    std::cout << "Preparing " << mebibytes << " MiB..." << std::endl;
    test::PackFileServer server(makeContents(mebibytes << 20));
    ModelPack pack = ModelPack::nudgerlyDefault();
    pack.identifier = "bench-pack";
    pack.filename = "bench.gguf";
    pack.sourceURL = server.url();
    pack.byteCount = static_cast<int64_t>(server.contents().size());
    pack.sha256 = Sha256::hexDigest(server.contents());

    std::string folder = (fs::temp_directory_path() / "nudgerly-bench-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) {
        std::cerr << "cannot make a temporary folder\n";
        return 1;
    }
    const fs::path root = folder;

    std::vector<double> managerTimes;
    std::vector<double> curlTimes;
    bool ok = true;
    for (int round = 0; round < rounds && ok; ++round) {
        // Alternating which goes first spreads the effects of the previous round's disk writes evenly.
        double manager = 0;
        double curl = 0;
        const auto runCurl = [&] {
            curl = timeCurlAndSha256sum(server.url(), server.caFile(), root / "curl-download.bin", pack.sha256);
        };
        if (round % 2 == 1) {
            runCurl();
        }
        manager = timeManager(pack, root, server.caFile());
        if (round % 2 == 0) {
            runCurl();
        }
        ok = manager > 0 && curl > 0;
        managerTimes.push_back(manager);
        curlTimes.push_back(curl);
        std::printf("round %d: manager %.2f s, curl -o + sha256sum %.2f s\n", round + 1, manager, curl);
    }
    fs::remove_all(root);
    if (!ok) {
        return 1;
    }
    const double managerMedian = median(managerTimes);
    const double curlMedian = median(curlTimes);
    std::printf("median: manager (download, verify, install) %.2f s; curl -o + sha256sum %.2f s; ratio %.2fx\n",
                managerMedian, curlMedian, managerMedian / curlMedian);
    return 0;
}
