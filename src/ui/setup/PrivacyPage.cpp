#include "ui/setup/PrivacyPage.h"

#include <string>
#include <vector>

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/system/UserFolders.h"
#include "ui/kit/ConfirmDialog.h"
#include "ui/kit/Divider.h"
#include "ui/kit/Look.h"
#include "ui/kit/PageFrame.h"
#include "ui/kit/StateBridge.h"
#include "ui/kit/WrapLabel.h"
#include "ui/shared/PageHeader.h"
#include "ui/shared/PrivacyRow.h"

namespace nudgerly {
namespace {

struct PrivacyStatement {
    const char* symbol;
    const char* title;
    std::string detail;
};

std::vector<PrivacyStatement> statements(const AppStateView& state) {
    return {
        {"lock.fill", "Messages stay on this computer",
         "Message content is read from the local Messages database and never uploaded."},
        {"cpu", "Classification runs locally",
         "Nudgerly can download your selected 2.50 GB or 5.03 GB model over HTTPS, but conversation content never "
         "goes to the download host or an internet inference service."},
        {"envelope.badge.shield.half.filled", "Gmail access is read-only",
         "Gmail is fetched with read-only access and cached in Nudgerly\u2019s local data folder (" +
             UserFolders::shown(state.dataFolder()) + ")."},
        {"hand.raised.fill", "Nudgerly never acts for you",
         "It never sends, archives, deletes, or marks a message as read."},
    };
}

// A block of the page opened by its caption, marked as a heading for assistive technology.
QVBoxLayout* captionedBlock(const QString& caption, QWidget* block) {
    auto* column = new QVBoxLayout(block);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    auto* label = new WrapLabel(TextStyle::subheadline, Tone::secondary, block);
    label->setTextStyle(TextStyle::subheadline, FontWeight::semibold);
    label->setText(caption);
    label->setAccessibleDescription(QStringLiteral("heading"));
    column->addWidget(label);
    return column;
}

}  // namespace

PrivacyPage::PrivacyPage(StateBridge& bridge, QWidget* parent) : PageFrame(28, parent), bridge_(bridge) {
    setObjectName(QStringLiteral("privacyPage"));
    setWindowTitle(QStringLiteral("Privacy"));

    addBlock(new PageHeader(
        QStringLiteral("Privacy"),
        QStringLiteral("Nudgerly is designed to review communication without taking control of your accounts."), this));

    auto* handling = new QWidget(this);
    QVBoxLayout* rows = captionedBlock(QStringLiteral("Data handling"), handling);
    const std::vector<PrivacyStatement> shown = statements(bridge_.state());
    for (const PrivacyStatement& statement : shown) {
        if (&statement != &shown.front()) {
            rows->addWidget(new Divider(Qt::Horizontal, handling));
        }
        rows->addWidget(new PrivacyRow(statement.symbol, QString::fromUtf8(statement.title),
                                       QString::fromStdString(statement.detail), handling));
    }
    addBlock(handling);

    auto* localData = new QWidget(this);
    QVBoxLayout* deletion = captionedBlock(QStringLiteral("Local data"), localData);
    deletion->addWidget(new Divider(Qt::Horizontal, localData));
    auto* line = new QHBoxLayout;
    line->setContentsMargins(0, 12, 0, 12);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    auto* title = new WrapLabel(TextStyle::headline, Tone::primary, localData);
    title->setText(QStringLiteral("Delete Nudgerly data"));
    auto* detail = new WrapLabel(TextStyle::subheadline, Tone::secondary, localData);
    detail->setText(QStringLiteral(
        "Disconnect Gmail and remove saved review snapshots, completed-item history, and imported Google "
        "configuration. Installed or partial Local AI model artifacts stay on this computer."));
    texts->addWidget(title);
    texts->addWidget(detail);
    line->addLayout(texts, 1);
    deleteButton_ = new QPushButton(QStringLiteral("Delete Local Data\u2026"), localData);
    deleteButton_->setObjectName(QStringLiteral("deleteLocalDataButton"));
    Look::setDestructive(*deleteButton_);
    line->addWidget(deleteButton_, 0, Qt::AlignVCenter);
    deletion->addLayout(line);
    addBlock(localData);

    connect(deleteButton_, &QPushButton::clicked, this, [this] { confirmDeletion(); });
    connect(&bridge_, &StateBridge::changed, this, [this] { sync(); });
    sync();
}

void PrivacyPage::confirmDeletion() {
    if (confirmation_) {
        return;
    }
    AppStateView& state = bridge_.state();
    confirmation_ = ConfirmDialog::present(
        this, QStringLiteral("Delete saved Nudgerly queue data?"),
        QStringLiteral("This removes Gmail credentials and saved Nudgerly queue data from this computer. It "
                       "preserves Local AI model artifacts and does not delete any messages or email from Messages or "
                       "Google."),
        {{QStringLiteral("Delete Local Data"), ConfirmButton::Role::destructive, [&state] { state.deleteLocalData(); }},
         {QStringLiteral("Cancel"), ConfirmButton::Role::cancel, nullptr}});
}

void PrivacyPage::sync() {
    deleteButton_->setEnabled(!bridge_.state().isRefreshing());
}

}  // namespace nudgerly
