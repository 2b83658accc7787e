// Downloads a model file from a loopback HTTPS server through the download manager, verified and
// installed, and in the same run times `curl -o` followed by `openssl dgst -sha256` on the same file
// from the same server. Prints the medians of the transfers alone and of the whole, and their ratios.
//
// Usage: ModelDownloadBench [MiB] [rounds]     (defaults: 512 MiB, 5 rounds)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <stdlib.h>

#include "core/MainQueue.h"
#include "core/Sha256.h"
#include "loopback/PackFileServer.h"
#include "modelpacks/ModelDownloadManager.h"
#include "queues/ManualMainQueue.h"

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

struct Timing {
    double transfer = -1;  // until the file is there, before any hashing
    double whole = -1;     // negative on failure
};

Timing timeManager(const ModelPack& pack, const fs::path& root, const std::string& caFile) {
    ManualMainQueue queue;
    const auto start = Clock::now();
    Timing timing;
    {
        ModelDownloadManager manager(
            {.mainQueue = queue, .pack = pack, .rootDirectory = root, .configuration = {.caFile = caFile}});
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
            timing = {.transfer = seconds(verifying - start), .whole = seconds(Clock::now() - start)};
            std::printf("  manager: transfer %.2f s, verify and install %.2f s\n", timing.transfer,
                        timing.whole - timing.transfer);
        } else {
            std::cerr << "download failed: " << manager.state().message << "\n";
        }
        manager.remove();
    }
    return timing;
}

Timing timeCurlAndOpenssl(const std::string& url, const std::string& caFile, const fs::path& file,
                          const std::string& expectedDigest) {
    const auto start = Clock::now();
    const std::string download = "curl -sS --fail --cacert '" + caFile + "' -o '" + file.string() + "' '" + url + "'";
    if (std::system(download.c_str()) != 0) {
        std::cerr << "curl failed\n";
        return {};
    }
    const auto downloaded = Clock::now();
    // "-r" prints the digest first, as "<hex> *<file>".
    FILE* pipe = ::popen(("openssl dgst -sha256 -r '" + file.string() + "'").c_str(), "r");
    char digest[65] = {};
    const bool read = pipe && std::fread(digest, 1, 64, pipe) == 64;
    if (pipe) {
        ::pclose(pipe);
    }
    const Timing timing{.transfer = seconds(downloaded - start), .whole = seconds(Clock::now() - start)};
    std::printf("  curl: download %.2f s, openssl dgst %.2f s\n", timing.transfer, timing.whole - timing.transfer);
    fs::remove(file);
    if (!read || expectedDigest != digest) {
        std::cerr << "openssl dgst disagrees\n";
        return {};
    }
    return timing;
}

// The load of the machine, which is shared: figures of a busy minute are not those of an idle one.
std::string loadAverage() {
    std::string line;
    std::getline(std::ifstream("/proc/loadavg"), line);
    return line.substr(0, line.find(' ', line.find(' ', line.find(' ') + 1) + 1));
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t mebibytes = argc > 1 ? std::stoul(argv[1]) : 512;
    const int rounds = argc > 2 ? std::stoi(argv[2]) : 5;

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

    std::vector<double> managerTransfers;
    std::vector<double> managerTimes;
    std::vector<double> curlTransfers;
    std::vector<double> curlTimes;
    bool ok = true;
    for (int round = 0; round < rounds && ok; ++round) {
        // Alternating which goes first spreads the effects of the previous round's disk writes evenly.
        Timing manager;
        Timing curl;
        const auto runCurl = [&] {
            curl = timeCurlAndOpenssl(server.url(), server.caFile(), root / "curl-download.bin", pack.sha256);
        };
        if (round % 2 == 1) {
            runCurl();
        }
        manager = timeManager(pack, root, server.caFile());
        if (round % 2 == 0) {
            runCurl();
        }
        ok = manager.whole > 0 && curl.whole > 0;
        managerTransfers.push_back(manager.transfer);
        managerTimes.push_back(manager.whole);
        curlTransfers.push_back(curl.transfer);
        curlTimes.push_back(curl.whole);
        std::printf("round %d (load %s): manager %.2f s, curl -o + openssl dgst %.2f s\n", round + 1,
                    loadAverage().c_str(), manager.whole, curl.whole);
    }
    fs::remove_all(root);
    if (!ok) {
        return 1;
    }
    const double transfer = median(managerTransfers);
    const double curlTransfer = median(curlTransfers);
    const double whole = median(managerTimes);
    const double curlWhole = median(curlTimes);
    std::printf("median of %d rounds, %zu MiB:\n", rounds, mebibytes);
    std::printf("  transfer: manager %.2f s; curl -o %.2f s; ratio %.2fx\n", transfer, curlTransfer,
                transfer / curlTransfer);
    std::printf("  download, verify, install: manager %.2f s; curl -o + openssl dgst -sha256 %.2f s; ratio %.2fx\n",
                whole, curlWhole, whole / curlWhole);
    return 0;
}
