#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <QApplication>
#include <QTest>

#include "statefakes/ScreenFixture.h"
#include "ui/UiTest.h"
#include "ui/kit/Look.h"

namespace nudgerly::test {
namespace {

std::map<std::string, UiTestFactory>& registry() {
    static std::map<std::string, UiTestFactory> tests;
    return tests;
}

}  // namespace

void registerUiTest(const char* name, UiTestFactory factory) {
    registry().emplace(name, std::move(factory));
}

}  // namespace nudgerly::test

// Usage: ui_tests [Class [Qt Test options]]. Without a class, every class runs.
int main(int argc, char** argv) {
    nudgerly::test::pinScreenEnvironment();
    QApplication app(argc, argv);
    nudgerly::Look::apply();

    auto& tests = nudgerly::test::registry();
    std::vector<char*> arguments{argv[0]};
    std::string only;
    if (argc > 1 && argv[1][0] != '-') {
        only = argv[1];
        if (!tests.contains(only)) {
            std::fprintf(stderr, "There is no test class named %s.\n", only.c_str());
            return 2;
        }
        arguments.insert(arguments.end(), argv + 2, argv + argc);
    } else {
        arguments.insert(arguments.end(), argv + 1, argv + argc);
    }
    int failures = 0;
    for (const auto& [name, factory] : tests) {
        if (!only.empty() && name != only) {
            continue;
        }
        const std::unique_ptr<QObject> test = factory();
        failures += QTest::qExec(test.get(), static_cast<int>(arguments.size()), arguments.data());
    }
    return failures == 0 ? 0 : 1;
}
