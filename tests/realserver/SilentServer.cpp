// A model runtime that answers nothing: it takes llama-server's command line and reports healthy, but
// drops every chat request unanswered. The real-server test must fail against it.

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "loopback/LoopbackHttpServer.h"

int main(int argc, char** argv) {
    const pid_t parent = ::getppid();
    std::thread([parent] {  // never outlives the program that started it
        while (::getppid() == parent) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ::_exit(5);
    })
        .detach();

    const std::vector<std::string> arguments(argv + 1, argv + argc);
    uint16_t port = 0;
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == "--port") {
            port = static_cast<uint16_t>(std::stoi(arguments[i + 1]));
        }
    }
    using nudgerly::test::ResponseWriter;
    using nudgerly::test::TestHttpRequest;
    nudgerly::test::LoopbackHttpServer server(
        [](const TestHttpRequest& request, ResponseWriter& writer) {
            if (request.path() == "/health") {
                writer.respond(200, R"({"status":"ok"})");
            } else {
                writer.drop();
            }
        },
        false, port);
    for (;;) {
        ::pause();
    }
}
