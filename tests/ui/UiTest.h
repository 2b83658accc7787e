#pragma once

#include <functional>
#include <memory>

#include <QObject>

namespace nudgerly::test {

using UiTestFactory = std::function<std::unique_ptr<QObject>()>;

// Adds a Qt Test class to the program under its class name.
void registerUiTest(const char* name, UiTestFactory factory);

struct UiTestRegistration {
    UiTestRegistration(const char* name, UiTestFactory factory) { registerUiTest(name, std::move(factory)); }
};

}  // namespace nudgerly::test

// Registers a test class; the file's name is the class name, so CTest runs it as one entry.
#define NUDGERLY_UI_TEST(Class)                                                   \
    static const ::nudgerly::test::UiTestRegistration registration##Class(#Class, \
                                                                          [] { return std::make_unique<Class>(); })
