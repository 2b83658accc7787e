// The main window on a few named states, and the privacy and feedback pages in it.
#include <QPlainTextEdit>

#include "Shot.h"
#include "statefakes/QuietWindow.h"
#include "statefakes/ScreenFixture.h"

namespace nudgerly::test {
namespace {

void saveWindow(ShotContext& context, std::string_view fixture, Section section, const QString& name,
                const std::function<void(MainWindow&)>& prepare = {}) {
    ScreenFixture screen(fixture);
    QuietWindow quiet(screen.state, screen.mainQueue);
    MainWindow& window = quiet.window;
    screen.state.published().setSection(section);
    if (prepare) {
        prepare(window);
    }
    context.save(window, name, window.minimumSizeHint());
}

}  // namespace

NUDGERLY_SHOT(window, "The main window: sidebar on each state of Local AI, the privacy and feedback pages") {
    saveWindow(context, "ready", Section::queue, "window-ready");
    saveWindow(context, "downloading", Section::accounts, "window-downloading");
    saveWindow(context, "basicMode", Section::privacy, "window-privacy");
    saveWindow(context, "ready", Section::feedback, "window-feedback", [](MainWindow& window) {
        window.page(Section::feedback)
            .findChild<QPlainTextEdit*>("feedbackEditor")
            ->setPlainText("The queue kept a conversation I had already answered.");
    });
}

}  // namespace nudgerly::test
