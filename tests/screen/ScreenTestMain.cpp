// Usage: screen_tests [Qt Test options]. Starts a private X server, shows the real window on it
// through Qt's X11 platform and measures what the server holds.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>

#include <QApplication>
#include <QTest>

#include "ButtonContrastTests.h"
#include "TextContrastTests.h"
#include "XvfbServer.h"
#include "statefakes/ScreenFixture.h"
#include "ui/kit/Look.h"

int main(int argc, char** argv) {
    std::optional<nudgerly::test::XvfbServer> server;
    try {
        server.emplace();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    setenv("DISPLAY", server->display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    nudgerly::test::pinScreenEnvironment();
    int failures = 0;
    {
        QApplication app(argc, argv);
        nudgerly::Look::apply();
        nudgerly::test::ButtonContrastTests buttons;
        failures = QTest::qExec(&buttons, argc, argv);
        nudgerly::test::TextContrastTests texts;
        failures += QTest::qExec(&texts, argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
