#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

// The random parts and the command line of one launch of the local model server.
namespace nudgerly::LocalServerLaunchPolicy {

// The lowest port drawn; the range runs through 65535 (the dynamic ports).
inline constexpr int firstPort = 49152;

// A random port in 49152...65535 that is not in `excluding`, drawn from the system's cryptographic
// generator. Throws std::length_error when `excluding` holds 16,384 ports or more, since then no port
// might be left to draw.
int randomPort(const std::set<int>& excluding);

// A new 256-bit bearer key as 64 lowercase hexadecimal characters. Never stored.
std::string randomAPIKey();

// The server's arguments (the program itself not included): the model file, loopback only on `port`,
// the key, a 4096-token context, one parallel slot, the model's own chat template, no web page and no
// log.
std::vector<std::string> arguments(const std::filesystem::path& modelFile, int port, const std::string& apiKey);

// The server's compute threads on a computer with `physicalCores`: one core is left to the rest of
// the computer, so that a thread the system takes away for other work does not stall the others at
// every step; at least one.
int threadCount(int physicalCores);

// The settings the server reads from its environment beside the command line: `threads` compute
// threads for the answer and the prompt alike, and threads that sleep between jobs instead of
// spinning, which on a busy computer take cores from the very work they wait for.
std::vector<std::pair<std::string, std::string>> environment(int threads);

}  // namespace nudgerly::LocalServerLaunchPolicy
