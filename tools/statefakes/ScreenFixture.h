#pragma once

#include <cstdlib>
#include <ctime>
#include <string_view>

#include <QLocale>
#include <unicode/locid.h>

#include "statefakes/FakeAppState.h"
#include "statefakes/StateFixtures.h"
#include "ui/kit/QtMainQueue.h"

namespace nudgerly::test {

// Offscreen (unless a platform is chosen), in one time zone and the en_US locale, so that screens read
// the same on every machine. Call before the QApplication is made.
inline void pinScreenEnvironment() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("TZ", "America/Los_Angeles", 1);
    tzset();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("en_US"), status);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

// A fake state object on Qt's event loop, standing still at the fixtures' moment and holding one of the
// named states. For the screen tests and the screenshot tool; needs a QApplication.
struct ScreenFixture {
    QtMainQueue mainQueue;
    FixedClock clock;
    FakeAppState state{mainQueue, clock};

    explicit ScreenFixture(std::string_view fixture = "ready") { show(fixture); }

    // Replaces the whole published state with the named one; observers hear it on the next pass.
    void show(std::string_view fixture) { state.published().replaceAll(stateFixture(fixture, clock.now())); }
};

}  // namespace nudgerly::test
