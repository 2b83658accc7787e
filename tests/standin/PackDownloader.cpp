// Downloads one pack with the program's own download manager and curl transport until it is killed;
// the download tests kill it mid-way and resume what it left in another process.
// Usage: pack-downloader ROOT URL CA-FILE BYTE-COUNT SHA256
//        ROOT is the data folder; the pack is "test-pack", file "model.gguf", at URL.
#include <chrono>
#include <string>

#include "modelpacks/ModelDownloadManager.h"
#include "queues/ManualMainQueue.h"

int main(int argc, char** argv) {
    using namespace nudgerly;
    if (argc != 6) {
        return 2;
    }
    ModelPack pack = ModelPack::nudgerlyDefault();
    pack.identifier = "test-pack";
    pack.filename = "model.gguf";
    pack.sourceURL = argv[2];
    pack.byteCount = std::stoll(argv[4]);
    pack.sha256 = argv[5];

    ManualMainQueue queue;
    ModelDownloadManager manager({.mainQueue = queue,
                                  .pack = pack,
                                  .rootDirectory = argv[1],
                                  .configuration = {.caFile = std::string(argv[3])}});
    manager.beginDownload(false);
    // Runs until killed; a download that ends on its own says how.
    queue.runUntil([&] { return manager.state().kind != ModelDownloadState::Kind::downloading; },
                   std::chrono::hours(1));
    return manager.state().kind == ModelDownloadState::Kind::installed ? 0 : 1;
}
