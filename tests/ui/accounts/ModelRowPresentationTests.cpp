#include <limits>

#include <QTest>

#include "ui/UiTest.h"
#include "ui/accounts/ModelRowPresentation.h"

Q_DECLARE_METATYPE(nudgerly::PublishedState)

namespace nudgerly::test {
namespace {

using Kind = ModelDownloadState::Kind;

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

const ModelPack& testPack() {
    static const ModelPack pack{.identifier = "test-pack",
                                .displayName = "Test Pack",
                                .repository = "owner/test",
                                .filename = "test.gguf",
                                .byteCount = 2'500'000'000};
    return pack;
}

constexpr int64_t mib = 1024 * 1024;
constexpr int64_t gib = 1024 * mib;

// A set-up machine in Basic Mode with the test pack selected; each case changes what it is about.
PublishedState base(ModelDownloadState download = ModelDownloadState::missing()) {
    PublishedState state;
    state.selectedModelPack = testPack();
    state.contactsPermission = ContactsPermission::granted;
    state.modelDownloadState = std::move(download);
    return state;
}

PublishedState choosing(PublishedState state) {
    state.needsModelChoice = true;
    return state;
}

PublishedState withoutContacts(PublishedState state, ContactsPermission permission = ContactsPermission::denied) {
    state.contactsPermission = permission;
    return state;
}

PublishedState removing(PublishedState state) {
    state.isRemovingModel = true;
    return state;
}

PublishedState switching(PublishedState state) {
    state.isSwitchingModel = true;
    return state;
}

PublishedState withIssue(PublishedState state) {
    state.modelRuntimeIssue = "Local AI stopped responding.";
    return state;
}

PublishedState withProgress(PublishedState state, int64_t received, int64_t total) {
    state.modelDownloadProgress = ModelDownloadProgress{received, total};
    return state;
}

const ModelDownloadState downloading = ModelDownloadState::downloading(500'000'000, 2'500'000'000);
const ModelDownloadState failed = ModelDownloadState::failed("The network connection was lost.");

// "text/style/role/enabled" for each button, in order.
QStringList buttons(const PublishedState& state, bool refreshing = false) {
    QStringList list;
    for (const ModelButton& button : modelButtons(state, refreshing)) {
        list << text(button.text) + (button.style == ModelButton::Style::prominent ? "/prominent" : "") +
                    (button.role == ModelButton::Role::destructive ? "/destructive" : "") +
                    (button.enabled ? "" : "/disabled");
    }
    return list;
}

}  // namespace

class ModelRowPresentationTests : public QObject {
    Q_OBJECT

private slots:
    void statusTakesRemovalThenSwitchingThenTheDownloadState() {
        const auto status = [](const PublishedState& state) {
            const ModelStatus s = modelStatus(state);
            return text(s.label) + "|" + text(s.symbol) + "|" + text(std::string(toRaw(s.tone)));
        };
        QCOMPARE(status(removing(switching(base(failed)))), "Removing|trash|orange");
        QCOMPARE(status(switching(base(failed))), "Switching|arrow.triangle.2.circlepath|accent");
        QCOMPARE(status(base(downloading)), "Downloading|arrow.down.circle.fill|accent");
        QCOMPARE(status(base(failed)), "Download failed|exclamationmark.triangle.fill|red");
        QCOMPARE(status(choosing(base())), "Setup choice required|questionmark.circle|accent");
        QCOMPARE(status(base()), "Basic mode|checkmark.circle|secondary");
        QCOMPARE(status(base(ModelDownloadState::paused())), "Paused|pause.circle.fill|orange");
        QCOMPARE(status(base(ModelDownloadState::verifying())), "Verifying|checkmark.shield|accent");
        QCOMPARE(status(base(ModelDownloadState::installed())), "Installed|checkmark.circle.fill|green");
        QCOMPARE(status(withIssue(base(ModelDownloadState::installed()))),
                 "Basic fallback|exclamationmark.triangle.fill|orange");
    }

    void detailToneFollowsOnlyFailureAndTheRunIssue() {
        QCOMPARE(modelDetailTone(base(failed)), Tone::red);
        QCOMPARE(modelDetailTone(withIssue(base(failed))), Tone::red);
        PublishedState shipped = base(failed);  // a shipped model serves whatever the download did
        shipped.shippedModelFile = "/usr/share/nudgerly/Models/model.gguf";
        QVERIFY(modelDetailTone(shipped) != Tone::red);
        QCOMPARE(modelDetailTone(withIssue(base(ModelDownloadState::installed()))), Tone::orange);
        QCOMPARE(modelDetailTone(removing(withIssue(base(ModelDownloadState::installed())))), Tone::orange);
        QCOMPARE(modelDetailTone(switching(base(failed))), Tone::red);
        QCOMPARE(modelDetailTone(removing(base(ModelDownloadState::installed()))), Tone::secondary);
        QCOMPARE(modelDetailTone(base(downloading)), Tone::secondary);
    }

    void detailSentences_data() {
        QTest::addColumn<PublishedState>("state");
        QTest::addColumn<QString>("detail");
        const QString next = " Allow required Contacts access next.";

        QTest::newRow("removing, whatever the download")
            << removing(base(downloading)) << "Removing Test Pack from this computer.";
        QTest::newRow("switching") << switching(withoutContacts(base(failed)))
                                   << "Switching the selected Local AI model.";
        const QString downloadingText =
            "Downloading Test Pack, 500 MB of 2.50 GB, over HTTPS. You can pause and resume at any time.";
        QTest::newRow("downloading") << base(downloading) << downloadingText;
        QTest::newRow("downloading, choosing, no contacts")
            << withoutContacts(choosing(base(downloading)), ContactsPermission::notDetermined)
            << downloadingText +
                   " The queue and Gmail stay blocked until installation finishes or you explicitly choose "
                   "lower-accuracy Basic Mode." +
                   next;
        QTest::newRow("failed") << base(failed)
                                << "Test Pack could not be installed. The network connection was lost. Basic Mode "
                                   "remains active; retry the model download when you are ready.";
        QTest::newRow("failed, choosing, no contacts")
            << withoutContacts(choosing(base(failed)))
            << "Test Pack could not be installed. The network connection was lost. Retry it or explicitly choose "
               "lower-accuracy Basic Mode to continue." +
                   next;
        QTest::newRow("missing, choosing") << withoutContacts(choosing(base()))
                                           << "Download the selected model to continue. Lower-accuracy Basic Mode is "
                                              "available only after an explicit warning; Contacts access is the next "
                                              "required step.";
        QTest::newRow("missing, choosing, contacts ready")
            << choosing(base())
            << "Download the selected model to continue. Lower-accuracy Basic Mode is available only after an "
               "explicit warning.";
        QTest::newRow("missing, basic mode") << base()
                                             << "Lower-accuracy Basic Mode is active. Download the selected model for "
                                                "full Local AI classification.";
        QTest::newRow("missing, basic mode, no contacts")
            << withoutContacts(base())
            << "Lower-accuracy Basic Mode is active. Allow required Contacts access below to continue, or download the "
               "selected model for full Local AI classification.";
        QTest::newRow("paused, no progress") << base(ModelDownloadState::paused())
                                             << "Test Pack is paused. Basic Mode remains active; resume installation "
                                                "when you are ready.";
        QTest::newRow("paused at, choosing, no contacts")
            << withProgress(withoutContacts(choosing(base(ModelDownloadState::paused()))), 1'500'000'000, 2'500'000'000)
            << "Test Pack is paused at 1.50 GB of 2.50 GB. Resume installation or explicitly choose lower-accuracy "
               "Basic "
               "Mode to continue." +
                   next;
        QTest::newRow("verifying") << base(ModelDownloadState::verifying())
                                   << "Download complete. Nudgerly is verifying Test Pack before installation. Basic "
                                      "Mode remains active until verification succeeds.";
        QTest::newRow("verifying, choosing, no contacts")
            << withoutContacts(choosing(base(ModelDownloadState::verifying())))
            << "Download complete. Nudgerly is verifying Test Pack before installation. Setup remains blocked until "
               "verification succeeds or you explicitly choose lower-accuracy Basic Mode." +
                   next;
        QTest::newRow("installed")
            << base(ModelDownloadState::installed())
            << "Test Pack is installed on this computer. Refresh the queue when you want Local AI to "
               "review conversations.";
        QTest::newRow("installed, no contacts")
            << withoutContacts(base(ModelDownloadState::installed()))
            << "Test Pack is installed on this computer. Allow required Contacts access below to continue.";
        QTest::newRow("installed with issue")
            << withIssue(base(ModelDownloadState::installed()))
            << "Test Pack is installed on this computer. Local AI stopped responding. "
               "Refresh the queue to retry Local AI.";
        QTest::newRow("installed with issue, no contacts")
            << withIssue(withoutContacts(base(ModelDownloadState::installed())))
            << "Test Pack is installed on this computer. Local AI stopped responding." + next +
                   " Refresh the queue to retry Local AI.";
    }

    void detailSentences() {
        QFETCH(PublishedState, state);
        QFETCH(QString, detail);
        QCOMPARE(text(modelDetail(state)), detail);
    }

    void aModelNamedByTheEnvironmentIsInUseWhateverTheDownload() {
        PublishedState state = base(failed);
        state.environmentModelFile = "/models/own.gguf";
        state.modelAvailability = ModelAvailability::bundled();
        const QString inUse = "Local AI uses /models/own.gguf, the model file NUDGERLY_MODEL_PATH names.";
        QCOMPARE(text(modelStatus(state).label), "Installed");
        QCOMPARE(modelDetailTone(state), Tone::secondary);
        QCOMPARE(text(modelDetail(state)),
                 inUse + " Refresh the queue when you want Local AI to review conversations.");
        QCOMPARE(buttons(state), QStringList{"Refresh Queue/prominent"});
        QCOMPARE(modelProgress(state), ModelProgress{});

        QCOMPARE(text(modelDetail(withIssue(state))),
                 inUse + " Local AI stopped responding. Refresh the queue to retry Local AI.");
        // Without a server program to run it, nothing uses the model.
        state.modelAvailability = ModelAvailability::missing();
        QCOMPARE(text(modelStatus(state).label), "Basic fallback");
        QCOMPARE(modelDetailTone(state), Tone::orange);
        QVERIFY(text(modelDetail(state)).contains("NUDGERLY_LLAMA_SERVER"));
    }

    void progressShowsBarsSpinnersOrNothing() {
        using enum ModelProgress::Kind;
        QCOMPARE(modelProgress(removing(base(downloading))),
                 (ModelProgress{.kind = spinner, .accessibleName = "Removing Local AI model"}));
        QCOMPARE(modelProgress(switching(base(downloading))),
                 (ModelProgress{.kind = spinner, .accessibleName = "Switching Local AI model"}));
        QCOMPARE(modelProgress(base(downloading)), (ModelProgress{.kind = bar,
                                                                  .fraction = 0.2,
                                                                  .accessibleName = "Downloading Test Pack",
                                                                  .accessibleValue = "500 MB of 2.50 GB"}));
        QCOMPARE(modelProgress(base(ModelDownloadState::verifying())),
                 (ModelProgress{.kind = spinner, .accessibleName = "Verifying Test Pack"}));
        QCOMPARE(modelProgress(withProgress(base(ModelDownloadState::paused()), gib, 2 * gib)),
                 (ModelProgress{.kind = bar,
                                .fraction = 0.5,
                                .accessibleName = "Local AI model download paused",
                                .accessibleValue = "1.07 GB of 2.15 GB"}));
        for (const PublishedState& state :
             {base(ModelDownloadState::paused()), base(), base(failed), base(ModelDownloadState::installed())}) {
            QCOMPARE(modelProgress(state).kind, none);
        }
    }

    void progressFractionStaysWithinTheBar() {
        const auto fractionOf = [](int64_t received, int64_t total) {
            return modelProgress(base(ModelDownloadState::downloading(received, total))).fraction;
        };
        QCOMPARE(fractionOf(500, 0), 0.0);  // no total yet: an empty bar, not a division by zero
        QCOMPARE(fractionOf(500, -1), 0.0);
        QCOMPARE(fractionOf(3 * gib, 2 * gib), 1.0);
        QCOMPARE(fractionOf(-10, 2 * gib), 0.0);
        QCOMPARE(fractionOf(1, 1), 1.0);
        QCOMPARE(modelProgress(base(ModelDownloadState::downloading(-10, -1))).accessibleValue, "0 MB of 0 MB");
    }

    void buttonsFollowTheDownloadStateAlone() {
        QCOMPARE(buttons(choosing(base())),
                 (QStringList{"Download Selected Model\u2026/prominent", "Use Basic Mode Instead\u2026"}));
        QCOMPARE(buttons(base()), QStringList{"Download Selected Model\u2026/prominent"});
        QCOMPARE(buttons(choosing(base(downloading))), (QStringList{"Pause", "Use Basic Mode Instead\u2026"}));
        QCOMPARE(buttons(base(ModelDownloadState::paused())),
                 (QStringList{"Resume/prominent", "Cancel Download\u2026/destructive"}));
        QCOMPARE(buttons(choosing(base(ModelDownloadState::verifying()))), QStringList{"Use Basic Mode Instead\u2026"});
        QCOMPARE(buttons(base(ModelDownloadState::verifying())), QStringList{});
        QCOMPARE(buttons(choosing(base(failed))), (QStringList{"Retry/prominent", "Use Basic Mode Instead\u2026",
                                                               "Remove Selected Download\u2026/destructive"}));
        QCOMPARE(buttons(base(ModelDownloadState::installed())),
                 (QStringList{"Refresh Queue/prominent", "Remove Selected Model\u2026/destructive"}));

        // Removal or switching on top disables the buttons but keeps them.
        for (const auto& busy : {removing, switching}) {
            QCOMPARE(buttons(busy(choosing(base(ModelDownloadState::paused())))),
                     (QStringList{"Resume/prominent/disabled", "Cancel Download\u2026/destructive/disabled",
                                  "Use Basic Mode Instead\u2026/disabled"}));
            QCOMPARE(buttons(busy(base(failed))),
                     (QStringList{"Retry/prominent/disabled", "Remove Selected Download\u2026/destructive/disabled"}));
            QCOMPARE(buttons(busy(base(ModelDownloadState::installed()))),
                     (QStringList{"Refresh Queue/prominent", "Remove Selected Model\u2026/destructive/disabled"}));
            QCOMPARE(buttons(busy(base(downloading))), QStringList{"Pause/disabled"});
            QCOMPARE(buttons(busy(base())), QStringList{"Download Selected Model\u2026/prominent/disabled"});
        }
    }

    void refreshQueueWaitsForContactsAndIdleSources() {
        const PublishedState installed = base(ModelDownloadState::installed());
        QCOMPARE(buttons(installed, true),
                 (QStringList{"Refresh Queue/prominent/disabled", "Remove Selected Model\u2026/destructive/disabled"}));
        QCOMPARE(buttons(withoutContacts(installed, ContactsPermission::notDetermined)),
                 (QStringList{"Refresh Queue/prominent/disabled", "Remove Selected Model\u2026/destructive"}));
        QCOMPARE(buttons(withoutContacts(installed)).first(), "Refresh Queue/prominent/disabled");
        QCOMPARE(buttons(withoutContacts(installed, ContactsPermission::limited)).first(), "Refresh Queue/prominent");
    }

    void buttonsCarryTheirActions() {
        const auto actions = [](const PublishedState& state) {
            std::vector<ModelAction> list;
            for (const ModelButton& button : modelButtons(state, false)) {
                list.push_back(button.action);
            }
            return list;
        };
        using enum ModelAction;
        QCOMPARE(actions(choosing(base())), (std::vector{confirmDownload, confirmBasicMode}));
        QCOMPARE(actions(base(downloading)), std::vector{pause});
        QCOMPARE(actions(base(ModelDownloadState::paused())), (std::vector{resume, confirmCancel}));
        QCOMPARE(actions(base(failed)), (std::vector{retry, confirmRemove}));
        QCOMPARE(actions(base(ModelDownloadState::installed())), (std::vector{refreshQueue, confirmRemove}));
    }

    // The dialogs' full texts are checked on screen (LocalAIModelRowTests); here what varies with the state.
    void confirmationsFollowTheChoiceAndTheSelectedPack() {
        PublishedState state = base();
        QCOMPARE(text(modelConfirmation(ModelConfirmationKind::cancelDownload, state).message),
                 "The partial model download will be removed. Your current setup choice stays in place.");
        QCOMPARE(text(modelConfirmation(ModelConfirmationKind::cancelDownload, choosing(state)).message),
                 "The partial model download will be removed. Setup stays blocked until a model is installed or you "
                 "explicitly choose lower-accuracy Basic Mode.");
        const ModelConfirmation download = modelConfirmation(ModelConfirmationKind::download, state);
        QCOMPARE(text(download.title), "Download Test Pack?");
        QCOMPARE(text(download.confirmTitle), "Download 2.50 GB Model");  // decimal gigabytes, unlike the detail
        QVERIFY(modelConfirmation(ModelConfirmationKind::remove, state)
                    .message.starts_with("This removes only owner/test \u2014 test.gguf and its partial download."));

        state.selectedModelPack = ModelPack::nudgerlyLarge();
        QCOMPARE(text(modelConfirmation(ModelConfirmationKind::download, state).confirmTitle),
                 "Download 5.03 GB Model");
        QCOMPARE(text(modelConfirmation(ModelConfirmationKind::remove, state).title),
                 "Remove " + text(ModelPack::nudgerlyLarge().displayName) + "?");
    }

    void recommendationAndContactsSentence() {
        QCOMPARE(text(modelRecommendation(ModelPack::nudgerlyDefault())),
                 "Recommended: best balance of accuracy, speed, memory use, and download size.");
        QCOMPARE(text(modelRecommendation(ModelPack::nudgerlyLarge())),
                 "Larger model with slower inference and higher memory use; intended for computers with 16 GB or more "
                 "memory.");
        QCOMPARE(text(contactsNextDetail(ContactsPermission::granted)), "");
        QCOMPARE(text(contactsNextDetail(ContactsPermission::limited)), "");
        QCOMPARE(text(contactsNextDetail(ContactsPermission::notDetermined)), " Allow required Contacts access next.");
        QCOMPARE(text(contactsNextDetail(ContactsPermission::denied)), " Allow required Contacts access next.");
    }

    void byteCounts_data() {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("shown");
        // Decimal units throughout, the catalogue's own: the pack of 2,497,280,256 bytes is 2.50 GB
        // everywhere it is shown.
        QTest::newRow("zero") << qint64(0) << "0 MB";
        QTest::newRow("negative") << qint64(-5) << "0 MB";
        QTest::newRow("under half a megabyte") << qint64(499'999) << "0 MB";
        QTest::newRow("half a megabyte rounds up") << qint64(500'000) << "1 MB";
        QTest::newRow("512 MiB") << qint64(512 * mib) << "537 MB";
        QTest::newRow("just under a gigabyte") << qint64(999'499'999) << "999 MB";
        QTest::newRow("rounds to a gigabyte") << qint64(999'500'000) << "1.00 GB";
        QTest::newRow("two fraction digits") << qint64(1'234'567'890) << "1.23 GB";
        QTest::newRow("default pack") << qint64(2'497'280'256) << "2.50 GB";
        QTest::newRow("a GiB") << qint64(gib) << "1.07 GB";
        QTest::newRow("largest") << qint64(std::numeric_limits<int64_t>::max()) << "9223372036.85 GB";
    }

    void byteCounts() {
        QFETCH(qint64, bytes);
        QFETCH(QString, shown);
        QCOMPARE(text(formatByteCount(bytes)), shown);
    }
};

NUDGERLY_UI_TEST(ModelRowPresentationTests);

}  // namespace nudgerly::test

#include "ModelRowPresentationTests.moc"
