#include "ui/setup/FeedbackPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QUuid>
#include <QVBoxLayout>

#include "core/BackgroundExecutor.h"
#include "core/CancelledError.h"
#include "core/MainQueue.h"
#include "core/RawEnum.h"
#include "core/Text.h"
#include "core/UserFacingError.h"
#include "services/FeedbackSender.h"
#include "services/FeedbackSubmissionPolicy.h"
#include "services/WireValues.h"
#include "ui/kit/Look.h"
#include "ui/kit/PageFrame.h"
#include "ui/kit/PlainText.h"
#include "ui/kit/RoundedBox.h"
#include "ui/kit/Spinner.h"
#include "ui/kit/StateBridge.h"
#include "ui/kit/SymbolLabel.h"
#include "ui/kit/WrapLabel.h"
#include "ui/shared/PageHeader.h"
#include "ui/shared/SectionLabel.h"

namespace nudgerly {
namespace {

constexpr std::pair<FeedbackCategory, const char*> categories[] = {
    {FeedbackCategory::bug, "Something is broken"},
    {FeedbackCategory::incorrectClassification, "Incorrect classification"},
    {FeedbackCategory::experience, "Something is confusing"},
    {FeedbackCategory::featureRequest, "Feature request"},
};

constexpr std::pair<FeedbackArea, const char*> areas[] = {
    {FeedbackArea::general, "General"},  {FeedbackArea::messages, "Messages"},       {FeedbackArea::gmail, "Gmail"},
    {FeedbackArea::localAI, "Local AI"}, {FeedbackArea::interface, "App interface"},
};

QString newReportID() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
}

// A caption above a control, both leading-aligned across the full width.
QWidget* field(const QString& title, QWidget* content, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    auto* caption = new WrapLabel(TextStyle::caption, Tone::secondary, box);
    caption->setTextStyle(TextStyle::caption, FontWeight::semibold);
    caption->setText(title);
    column->addWidget(caption);
    column->addWidget(content);
    return box;
}

QWidget* section(QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    return box;
}

template <typename Enum, std::size_t count>
QComboBox* picker(const char* name, const std::pair<Enum, const char*> (&choices)[count], QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    for (const auto& [value, title] : choices) {
        box->addItem(QString::fromUtf8(title), static_cast<int>(value));
    }
    return box;
}

}  // namespace

FeedbackPage::FeedbackPage(StateBridge& bridge, Services services, QWidget* parent)
    : PageFrame(24, parent), bridge_(bridge), services_(std::move(services)), reportID_(newReportID()) {
    setObjectName(QStringLiteral("feedbackPage"));
    setWindowTitle(QStringLiteral("Feedback"));

    addBlock(new PageHeader(QStringLiteral("Send feedback"),
                            QStringLiteral("Report a problem or idea without sending your Messages or Gmail content."),
                            this));

    receiptBanner_ = new RoundedBox(this);
    receiptBanner_->setObjectName(QStringLiteral("receiptBanner"));
    receiptBanner_->setFill(Tone::green, 0.08);
    receiptBanner_->setCornerRadius(8);
    receiptBanner_->setContentsMargins(12, 12, 12, 12);
    auto* bannerRow = new QHBoxLayout(receiptBanner_);
    receiptLabel_ = new SymbolLabel("checkmark.circle.fill", TextStyle::subheadline, Tone::green,
                                    SymbolLabel::Lines::wrap, receiptBanner_);
    receiptLabel_->setTextStyle(TextStyle::subheadline, FontWeight::semibold);
    bannerRow->setContentsMargins(0, 0, 0, 0);
    bannerRow->addWidget(receiptLabel_);
    addBlock(receiptBanner_);

    QWidget* what = section(this);
    what->layout()->addWidget(new SectionLabel(QStringLiteral("What should we know?"), what));
    auto* pickers = new QHBoxLayout;
    pickers->setSpacing(12);
    category_ = picker("categoryPicker", categories, what);
    category_->setAccessibleName(QStringLiteral("Type"));
    area_ = picker("areaPicker", areas, what);
    area_->setAccessibleName(QStringLiteral("Area"));
    pickers->addWidget(field(QStringLiteral("Type"), category_, what), 1);
    pickers->addWidget(field(QStringLiteral("Area"), area_, what), 1);
    static_cast<QVBoxLayout*>(what->layout())->addLayout(pickers);

    auto* editorBox = new RoundedBox(what);
    editorBox->setFill(Look::controlBackground());
    editorBox->setOutline(Look::separator());
    editorBox->setCornerRadius(6);
    editorBox->setContentsMargins(6, 6, 6, 6);
    auto* editorLayout = new QVBoxLayout(editorBox);
    editorLayout->setContentsMargins(0, 0, 0, 0);
    editor_ = new QPlainTextEdit(editorBox);
    editor_->setObjectName(QStringLiteral("feedbackEditor"));
    editor_->setFont(fontFor(TextStyle::body));
    editor_->setFrameShape(QFrame::NoFrame);
    editor_->setMinimumHeight(170);
    editor_->setTabChangesFocus(true);
    editorLayout->addWidget(editor_);
    what->layout()->addWidget(field(QStringLiteral("Feedback \u00B7 Required"), editorBox, what));
    addBlock(what);

    QWidget* diagnostics = section(this);
    diagnostics->layout()->addWidget(new SectionLabel(QStringLiteral("Safe diagnostics"), diagnostics));
    includeDiagnostics_ = new QCheckBox(QStringLiteral("Include technical details"), diagnostics);
    includeDiagnostics_->setObjectName(QStringLiteral("includeDiagnosticsToggle"));
    includeDiagnostics_->setChecked(true);
    diagnostics->layout()->addWidget(includeDiagnostics_);
    auto* diagnosticsNote = new WrapLabel(TextStyle::caption, Tone::secondary, diagnostics);
    diagnosticsNote->setText(QStringLiteral(
        "This includes app and system versions, selected model, permission states, refresh state, and queue "
        "counts. It never includes names, account addresses, message text, drafts, OAuth tokens, or passwords."));
    diagnostics->layout()->addWidget(diagnosticsNote);
    addBlock(diagnostics);

    QWidget* sending = section(this);
    auto* privacyNote = new WrapLabel(TextStyle::caption, Tone::secondary, sending);
    privacyNote->setText(QStringLiteral(
        "By sending, you confirm this report does not include private conversation content, passwords, or tokens."));
    sending->layout()->addWidget(privacyNote);
    statusLine_ =
        new SymbolLabel("info.circle", TextStyle::subheadline, Tone::secondary, SymbolLabel::Lines::wrap, sending);
    statusLine_->setObjectName(QStringLiteral("statusLine"));
    sending->layout()->addWidget(statusLine_);
    auto* actions = new QHBoxLayout;
    spinner_ = new Spinner(Spinner::Size::small, sending);
    spinner_->setObjectName(QStringLiteral("sendingSpinner"));
    sendButton_ = new QPushButton(sending);
    sendButton_->setObjectName(QStringLiteral("sendFeedbackButton"));
    Look::setProminent(*sendButton_);
    auto* reviewNote = new WrapLabel(TextStyle::caption, Tone::secondary, sending);
    reviewNote->setText(QStringLiteral("Reports are kept private and reviewed by Nudgerly."));
    actions->addWidget(spinner_);
    actions->addWidget(sendButton_);
    actions->addStretch(1);
    actions->addWidget(reviewNote);
    static_cast<QVBoxLayout*>(sending->layout())->addLayout(actions);
    addBlock(sending);

    connect(editor_, &QPlainTextEdit::textChanged, this, [this] {
        submissionError_.reset();  // a new text deserves a new verdict; a receipt stays
        sync();
    });
    connect(sendButton_, &QPushButton::clicked, this, [this] { submit(); });
    sync();
}

std::string FeedbackPage::details() const {
    return editor_->toPlainText().toStdString();
}

std::optional<std::string> FeedbackPage::validationMessage() const {
    return FeedbackSubmissionPolicy::validationMessage(details());
}

bool FeedbackPage::canSubmit() const {
    return !isSubmitting_ && !validationMessage();
}

QString FeedbackPage::receiptNumber(const std::string& receiptID) {
    const QString id = qtText(receiptID);
    // Eight characters, never half of one written as two UTF-16 units.
    qsizetype end = 0;
    for (int characters = 0; characters < 8 && end < id.size(); ++characters) {
        end += (id[end].isHighSurrogate() && end + 1 < id.size()) ? 2 : 1;
    }
    return QStringLiteral("NU-") + id.left(end).toUpper();
}

void FeedbackPage::submit() {
    if (isSubmitting_ || validationMessage()) {
        return;
    }
    // Marked at once, so a second press before the worker starts sends nothing.
    isSubmitting_ = true;
    submittedID_.reset();
    submissionError_.reset();

    const std::string trimmed = text::trimmed(details());
    FeedbackSubmission submission{
        .clientReportID = reportID_.toStdString(),
        .category = static_cast<FeedbackCategory>(category_->currentData().toInt()),
        .area = static_cast<FeedbackArea>(area_->currentData().toInt()),
        .summary = FeedbackSubmissionPolicy::summary(trimmed),
        .details = trimmed,
        .expectedOutcome = "",
        .contactEmail = "",
        .privacyConfirmed = true,
        .diagnostics = includeDiagnostics_->isChecked()
                           ? std::optional<FeedbackDiagnostics>(bridge_.state().feedbackDiagnostics())
                           : std::nullopt,
        .channel = std::string(WireValues::channel),
    };
    sync();

    QPointer<FeedbackPage> page(this);
    MainQueue& mainQueue = services_.mainQueue;
    services_.executor.submit("Feedback report", [sender = services_.sender, submission = std::move(submission), page,
                                                  &mainQueue](std::stop_token stop) {
        Outcome outcome;
        try {
            outcome = sender->submit(submission, stop);
        } catch (const CancelledError&) {
            return;  // the program is closing: nobody waits for the answer
        } catch (const UserFacingError& error) {
            outcome = std::string(error.what());
        } catch (const std::exception&) {
            outcome = std::string("The feedback could not be sent. Try again.");
        }
        mainQueue.post([page, outcome = std::move(outcome)] {
            if (page) {
                page->finishSubmission(outcome);
            }
        });
    });
}

void FeedbackPage::finishSubmission(const Outcome& outcome) {
    if (const auto* receipt = std::get_if<FeedbackReceipt>(&outcome)) {
        submittedID_ = receiptNumber(receipt->id);
        reportID_ = newReportID();
        isSubmitting_ = false;
        const QSignalBlocker blocker(editor_);
        editor_->clear();
    } else {
        // The same report id goes out again on the next attempt.
        submissionError_ = qtText(std::get<std::string>(outcome));
        isSubmitting_ = false;
    }
    sync();
}

void FeedbackPage::sync() {
    receiptBanner_->setVisible(submittedID_.has_value());
    if (submittedID_) {
        receiptLabel_->setText(QStringLiteral("Feedback received \u00B7 ") + *submittedID_);
    }

    const auto validation = validationMessage();
    if (submissionError_) {
        statusLine_->setSymbol("exclamationmark.triangle.fill");
        statusLine_->setTone(Tone::red);
        statusLine_->setText(*submissionError_);
    } else if (validation) {
        statusLine_->setSymbol("info.circle");
        statusLine_->setTone(Tone::secondary);
        statusLine_->setText(qtText(*validation));
    }
    statusLine_->setVisible(submissionError_ || validation);

    sendButton_->setEnabled(canSubmit());
    sendButton_->setText(isSubmitting_ ? QStringLiteral("Sending\u2026") : QStringLiteral("Send Feedback"));
    setPlainToolTip(*sendButton_, validation ? qtText(*validation) : QStringLiteral("Send feedback privately"));
    spinner_->setVisible(isSubmitting_);
}

}  // namespace nudgerly
