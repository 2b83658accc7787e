#include "localmodel/LocalServerLaunchPolicy.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "core/SecureRandom.h"
#include "core/Sha256.h"

namespace nudgerly::LocalServerLaunchPolicy {

int randomPort(const std::set<int>& excluding) {
    if (excluding.size() >= 16384) {
        throw std::length_error("too many ports excluded");
    }
    for (;;) {
        uint64_t bits = 0;
        for (const uint8_t byte : secureRandomBytes(sizeof bits)) {
            bits = (bits << 8) | byte;
        }
        // The top 14 bits cover exactly the 16,384 dynamic ports.
        const int port = firstPort | static_cast<int>(bits >> 50);
        if (!excluding.contains(port)) {
            return port;
        }
    }
}

std::string randomAPIKey() {
    const auto random = secureRandomBytes(32);
    Sha256::Digest key{};  // same size, same lowercase hex
    std::copy(random.begin(), random.end(), key.begin());
    return Sha256::hex(key);
}

std::vector<std::string> arguments(const std::filesystem::path& modelFile, int port, const std::string& apiKey) {
    return {"-m",           modelFile.string(),
            "--host",       "127.0.0.1",
            "--port",       std::to_string(port),
            "--api-key",    apiKey,
            "--ctx-size",   "4096",
            "--parallel",   "1",
            "--jinja",      "--no-webui",
            "--log-disable"};
}

int threadCount(int physicalCores) {
    return std::max(1, physicalCores - 1);
}

std::vector<std::pair<std::string, std::string>> environment(int threads) {
    // The prompt's threads follow these when they are not set apart. The runtime's thread team is
    // OpenMP's, whose waiting policy is the environment's alone.
    return {{"LLAMA_ARG_THREADS", std::to_string(threads)}, {"OMP_WAIT_POLICY", "passive"}};
}

}  // namespace nudgerly::LocalServerLaunchPolicy
