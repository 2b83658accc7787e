#include <cstdlib>
#include <fstream>

#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <nlohmann/json.hpp>

#include "app/AppComposition.h"
#include "demo/DemoHome.h"
#include "statefakes/QuietWindow.h"
#include "ui/UiTest.h"
#include "ui/accounts/LocalAIModelRow.h"
#include "ui/kit/ElidedLabel.h"
#include "ui/kit/QtMainQueue.h"
#include "ui/kit/SymbolLabel.h"
#include "ui/kit/WrapLabel.h"
#include "ui/shared/SidebarStatusLine.h"
#include "ui/shell/QtClipboard.h"
#include "ui/shell/Sidebar.h"

namespace nudgerly::test {
namespace {

// Environment variables set for one test and removed after it.
struct ScopedVariables {
    explicit ScopedVariables(std::initializer_list<std::pair<const char*, std::string>> variables) {
        for (const auto& [name, value] : variables) {
            setenv(name, value.c_str(), 1);
            names.push_back(name);
        }
    }
    ~ScopedVariables() {
        for (const char* name : names) {
            unsetenv(name);
        }
    }
    std::vector<const char*> names;
};

}  // namespace

// The program's own parts on a demo home, with the model and its server named by the environment, as
// the README tells a user to run Local AI.
class EnvironmentModelTests : public QObject {
    Q_OBJECT

private slots:
    void theStatusesShowTheModelInUseAndItsFallback() {
        QTemporaryDir root;
        const DemoHome demo = layOutDemoHome(root.filePath("home").toStdString(), "Alex");
        // A stand-in server whose every launch exits at once: the model is there, but it cannot start.
        const std::string records = root.filePath("records").toStdString();
        std::filesystem::create_directory(records);
        const std::string model = root.filePath("model.gguf").toStdString();
        std::ofstream(model) << nlohmann::json{{"records", records}, {"launches", {{{"exitCode", 1}}}}}.dump();
        const ScopedVariables variables{{"NUDGERLY_MESSAGES_DATABASE", demo.database.string()},
                                        {"NUDGERLY_MODEL_PATH", model},
                                        {"NUDGERLY_LLAMA_SERVER", NUDGERLY_STANDIN_SERVER}};

        const AppEnvironment environment =
            AppEnvironment::withHomes(AppInfo(AppInfo::compiledDefaults()), demo.dataHome, demo.configHome);
        QtMainQueue queue;
        AppComposition composition(environment, queue, std::make_shared<QtClipboard>(), nullptr);
        AppState& state = composition.state();
        QuietWindow quiet(state, queue);
        MainWindow& window = quiet.window;
        state.start();
        window.show();
        QTRY_VERIFY(!state.state().isLoadingSavedQueues);
        const auto* localAI = window.sidebar().findChild<SidebarStatusLine*>("localAIStatus");
        const auto sidebarValue = [localAI] { return localAI->findChild<ElidedLabel*>("valueLabel")->text(); };
        QTRY_COMPARE(sidebarValue(), "Installed");

        state.setSection(Section::accounts);
        QCoreApplication::processEvents();
        auto* row = window.page(Section::accounts).findChild<LocalAIModelRow*>("modelRow");
        QVERIFY(row != nullptr);
        QCOMPARE(row->findChild<SymbolLabel*>("modelStatusLabel")->text(), "Installed");
        const QString detail = row->findChild<WrapLabel*>("modelDetail")->text();
        QVERIFY2(detail.contains(QString::fromStdString(model)), qPrintable(detail));
        auto* refreshQueue = row->findChild<QPushButton*>("refreshQueueButton");
        QVERIFY(refreshQueue->isVisible() && refreshQueue->isEnabled());
        QVERIFY(row->findChild<QPushButton*>("downloadButton")->isHidden());
        QVERIFY(!row->findChild<QComboBox*>("modelPicker")->isEnabled());  // no pack would be loaded

        QTest::mouseClick(refreshQueue, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(sidebarValue(), "Basic fallback", 30000);
        QCOMPARE(row->findChild<SymbolLabel*>("modelStatusLabel")->text(), "Basic fallback");
        QVERIFY(std::filesystem::exists(std::filesystem::path(records) / "launch-0.json"));
    }
};

NUDGERLY_UI_TEST(EnvironmentModelTests);

}  // namespace nudgerly::test

#include "EnvironmentModelTests.moc"
