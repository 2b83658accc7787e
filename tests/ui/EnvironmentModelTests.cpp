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

    // An installation whose prefix holds the runtime and the shipped model, and nothing named by the
    // environment.
    void theShippedModelCountsAsInstalled() {
        QTemporaryDir root;
        const DemoHome demo = layOutDemoHome(root.filePath("home").toStdString(), "Alex");
        const std::filesystem::path prefix = root.filePath("prefix").toStdString();
        const std::filesystem::path records = root.filePath("records").toStdString();
        std::filesystem::create_directories(records);
        std::filesystem::create_directories(prefix / "lib/nudgerly/ModelRuntime");
        std::filesystem::create_symlink(NUDGERLY_STANDIN_SERVER, prefix / "lib/nudgerly/ModelRuntime/llama-server");
        std::filesystem::create_directories(prefix / "share/nudgerly/Models");
        const nlohmann::json decision = {{"include_in_queue", true},        {"status", "reply"}, {"confidence", 0.8},
                                         {"summary", "From the model"},     {"reason", "R"},     {"draft", nullptr},
                                         {"tags", nlohmann::json::array()}, {"sensitive", false}};
        std::ofstream(prefix / "share/nudgerly/Models/Qwen3-4B-Q4_K_M.gguf")
            << nlohmann::json{{"records", records.string()}, {"answers", {{{"content", decision.dump()}}}}}.dump();
        unsetenv("NUDGERLY_MODEL_PATH");
        unsetenv("NUDGERLY_LLAMA_SERVER");
        const ScopedVariables variables{{"NUDGERLY_MESSAGES_DATABASE", demo.database.string()}};

        const AppEnvironment environment =
            AppEnvironment::withHomes(AppInfo(AppInfo::compiledDefaults()), demo.dataHome, demo.configHome);
        QtMainQueue queue;
        AppComposition composition(environment, queue, std::make_shared<QtClipboard>(), nullptr,
                                   ModelCatalog::nudgerly(),
                                   {.privateLibrary = prefix / "lib/nudgerly", .resources = prefix / "share/nudgerly"});
        AppState& state = composition.state();
        QuietWindow quiet(state, queue);
        MainWindow& window = quiet.window;
        state.start();
        window.show();
        QTRY_VERIFY(!state.state().isLoadingSavedQueues);
        const auto* localAI = window.sidebar().findChild<SidebarStatusLine*>("localAIStatus");
        const auto sidebarValue = [localAI] { return localAI->findChild<ElidedLabel*>("valueLabel")->text(); };
        QTRY_COMPARE(sidebarValue(), "Installed");
        QCOMPARE(state.feedbackDiagnostics().modelState, "installed");

        state.setSection(Section::accounts);
        QCoreApplication::processEvents();
        auto* row = window.page(Section::accounts).findChild<LocalAIModelRow*>("modelRow");
        QVERIFY(row != nullptr);
        QCOMPARE(row->findChild<SymbolLabel*>("modelStatusLabel")->text(), "Installed");
        const QString detail = row->findChild<WrapLabel*>("modelDetail")->text();
        QVERIFY2(detail.contains("is installed"), qPrintable(detail));
        QVERIFY(row->findChild<QPushButton*>("downloadButton")->isHidden());
        QVERIFY(row->findChild<QPushButton*>("removeButton") == nullptr ||
                row->findChild<QPushButton*>("removeButton")->isHidden());
        auto* refreshQueue = row->findChild<QPushButton*>("refreshQueueButton");
        QVERIFY(refreshQueue->isVisible() && refreshQueue->isEnabled());

        // The model decides the queue, and keeps its decisions under the file's own signature.
        QTest::mouseClick(refreshQueue, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(records / "chat-0.json"), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!state.isRefreshing(), 30000);
        QCOMPARE(sidebarValue(), "Installed");
        const ReviewSnapshot* snapshot = state.state().snapshot(ReviewSource::messages);
        QVERIFY(snapshot != nullptr && snapshot->classificationCache && !snapshot->classificationCache->empty());
        bool modelEntry = false;
        for (const auto& entry : *snapshot->classificationCache) {
            if (entry.engineSignature.starts_with("local-model:")) {
                modelEntry = true;
                QVERIFY2(entry.engineSignature.find(ModelPack::nudgerlyDefault().sha256) == std::string::npos,
                         entry.engineSignature.c_str());
            }
        }
        QVERIFY(modelEntry);
    }
};

NUDGERLY_UI_TEST(EnvironmentModelTests);

}  // namespace nudgerly::test

#include "EnvironmentModelTests.moc"
