#include <array>
#include <csignal>
#include <string>
#include <vector>

#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/UniqueFd.h"
#include "demo/DemoHome.h"
#include "demo/DemoQueue.h"
#include "storage/AppEnvironment.h"
#include "storage/AppFiles.h"
#include "ui/UiTest.h"

extern char** environ;

namespace nudgerly::test {
namespace {

// The program started on `demo` offscreen, as scripts/run.sh --demo starts it; its output is thrown
// away. Returns its process id, or -1.
pid_t startProgram(const DemoHome& demo) {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable(*entry);
        if (!variable.starts_with("NUDGERLY_MODEL_PATH=") && !variable.starts_with("NUDGERLY_LLAMA_SERVER=")) {
            variables.push_back(variable);
        }
    }
    for (const std::string& variable :
         {"HOME=" + demo.home.string(), "XDG_DATA_HOME=" + demo.dataHome.string(),
          "XDG_CONFIG_HOME=" + demo.configHome.string(), "XDG_CACHE_HOME=" + (demo.home / ".cache").string(),
          "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (demo.home / "no-session-bus").string(),
          "NUDGERLY_MESSAGES_DATABASE=" + demo.database.string(), std::string("QT_QPA_PLATFORM=offscreen")}) {
        variables.push_back(variable);  // the later of two entries wins
    }
    std::vector<char*> environment;
    for (std::string& variable : variables) {
        environment.push_back(variable.data());
    }
    environment.push_back(nullptr);
    std::string program = NUDGERLY_PROGRAM;
    char* arguments[] = {program.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, arguments, environment.data());
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

// Waits up to `timeoutMs` for an inotify event naming `name`.
bool awaitEventOn(int inotify, const std::string& name, int timeoutMs) {
    std::array<char, 4096> buffer{};
    pollfd ready{.fd = inotify, .events = POLLIN, .revents = 0};
    while (::poll(&ready, 1, timeoutMs) == 1) {
        const ssize_t length = ::read(inotify, buffer.data(), buffer.size());
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
            if (event->len > 0 && name == event->name) {
                return true;
            }
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return false;
}

}  // namespace

// The real program, run as a separate process.
class ProgramTests : public QObject {
    Q_OBJECT

private slots:
    // A quit signal that comes while the program is still starting (here: as it opens its settings,
    // long before its window) ends it through its shutdown, as a later one does.
    void aSigtermDuringTheStartEndsTheProgramThroughItsShutdown() {
        QTemporaryDir root;
        const DemoHome demo = layOutDemoHome(root.filePath("home").toStdString(), "Alex");
        QVERIFY(saveDemoQueue(demo, "Alex") > 0);
        const std::filesystem::path configuration =
            AppEnvironment::withHomes(AppInfo(AppInfo::compiledDefaults()), demo.dataHome, demo.configHome)
                .configurationDirectory;
        const UniqueFd inotify(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
        QVERIFY(inotify.valid());
        QVERIFY(::inotify_add_watch(inotify.get(), configuration.c_str(), IN_OPEN) >= 0);

        const pid_t pid = startProgram(demo);
        QVERIFY(pid > 0);
        const bool opened = awaitEventOn(inotify.get(), AppFiles::settingsFile(configuration).filename(), 30000);
        ::kill(pid, SIGTERM);
        int status = 0;
        const bool ended = QTest::qWaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 30000);
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        QVERIFY2(opened, "the program never opened its settings");
        QVERIFY2(ended, "the program went on running");
        QVERIFY2(WIFEXITED(status), "the program was ended by the signal itself");
        QCOMPARE(WEXITSTATUS(status), 0);
    }
};

NUDGERLY_UI_TEST(ProgramTests);

}  // namespace nudgerly::test

#include "ProgramTests.moc"
