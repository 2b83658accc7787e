#include "ui/accounts/AccountsPage.h"

#include <initializer_list>

#include <QVBoxLayout>

#include "services/UpdateController.h"
#include "ui/accounts/AccountRows.h"
#include "ui/accounts/GmailConnectionGuide.h"
#include "ui/accounts/LocalAIModelRow.h"
#include "ui/kit/Divider.h"
#include "ui/kit/StateBridge.h"
#include "ui/shared/PageHeader.h"
#include "ui/shared/PermissionRow.h"
#include "ui/shared/SectionLabel.h"
#include "ui/shared/UpdateCheck.h"

namespace nudgerly {
namespace {

constexpr int pageSpacing = 24;

PermissionRow* permissionRow(const char* name) {
    auto* row = new PermissionRow;
    row->setObjectName(QString::fromLatin1(name));
    return row;
}

// A section of the page: its caption, then its cards one under another with a divider between each two.
QWidget* section(const QString& title, std::initializer_list<QWidget*> cards) {
    auto* block = new QWidget;
    auto* stack = new QVBoxLayout(block);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(8);
    stack->addWidget(new SectionLabel(title, block));
    auto* group = new QVBoxLayout;
    group->setContentsMargins(0, 0, 0, 0);
    group->setSpacing(0);
    for (QWidget* card : cards) {
        if (group->count() > 0) {
            group->addWidget(new Divider(Qt::Horizontal, block));
        }
        group->addWidget(card);
    }
    stack->addLayout(group);
    return block;
}

}  // namespace

AccountsPage::AccountsPage(AppStateView& state, UpdateController& updates, QWidget* parent)
    : PageFrame(pageSpacing, parent), state_(state), updates_(updates) {
    setObjectName(QStringLiteral("accountsPage"));
    setWindowTitle(QStringLiteral("Accounts"));

    modelRow_ = new LocalAIModelRow(state_);
    modelRow_->setObjectName(QStringLiteral("modelRow"));
    contactsRow_ = permissionRow("contactsRow");
    messagesRow_ = permissionRow("messagesRow");
    gmailRow_ = permissionRow("gmailRow");
    updatesRow_ = permissionRow("updatesRow");

    addBlock(new PageHeader(QStringLiteral("Accounts & permissions"),
                            QStringLiteral("Choose your Local AI setup, allow required Contacts access, then connect "
                                           "the conversation sources you want to review.")));
    addBlock(section(QStringLiteral("Get started"), {modelRow_, contactsRow_}));
    addBlock(section(QStringLiteral("Conversation sources"), {messagesRow_, gmailRow_}));
    addBlock(section(QStringLiteral("Software"), {updatesRow_}));

    // The version never changes while the program runs.
    updatesRow_->apply(updatesRowSpec(updates_.versionLabel(), [this] { checkForUpdates(updates_, this); }));

    bridge_ = new StateBridge(state_, this);
    connect(bridge_, &StateBridge::changed, this, &AccountsPage::sync);
    sync();
}

void AccountsPage::sync() {
    contactsRow_->apply(contactsRowSpec(state_));
    messagesRow_->apply(messagesRowSpec(state_));
    gmailRow_->apply(gmailRowSpec(state_, [this] { openConnectionGuide(); }));
}

void AccountsPage::openConnectionGuide() {
    if (guide_ && guide_->isVisible()) {
        guide_->raise();
        return;
    }
    guide_ = new GmailConnectionGuide([this] { state_.connectGmail(); }, [] {}, this);
    connect(guide_, &QDialog::finished, guide_, &QObject::deleteLater);
    guide_->open();
}

}  // namespace nudgerly
