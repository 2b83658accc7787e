#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>

#include <QWidget>

#include "ui/kit/PageFrame.h"

#include "services/FeedbackReceipt.h"

class QCheckBox;
class QComboBox;
class QPlainTextEdit;
class QPushButton;

namespace nudgerly {

class BackgroundExecutor;
class FeedbackSender;
class MainQueue;
class RoundedBox;
class Spinner;
class StateBridge;
class SymbolLabel;

// The feedback page: a category, an area and a description ("categoryPicker", "areaPicker",
// "feedbackEditor"), optional safe diagnostics ("includeDiagnosticsToggle"), the send button
// ("sendFeedbackButton"), the receipt ("receiptBanner") and a status line ("statusLine"). The report
// goes out on a worker; its answer comes back on the main thread to this page only while it exists.
// The window keeps one page for its life, so a draft, a receipt or a send in flight survive a page switch.
class FeedbackPage : public PageFrame {
    Q_OBJECT

public:
    struct Services {
        std::shared_ptr<const FeedbackSender> sender;
        BackgroundExecutor& executor;
        MainQueue& mainQueue;
    };

    FeedbackPage(StateBridge& bridge, Services services, QWidget* parent = nullptr);

    // The send button's action: sends the report unless one is on its way or the text is not valid.
    void submit();
    // "NU-" and the first 8 characters of the receipt's id, upper-cased.
    static QString receiptNumber(const std::string& receiptID);

    bool canSubmit() const;
    bool isSubmitting() const { return isSubmitting_; }
    const QString& reportID() const { return reportID_; }

private:
    using Outcome = std::variant<FeedbackReceipt, std::string>;  // the receipt, or why it failed

    void finishSubmission(const Outcome& outcome);
    std::optional<std::string> validationMessage() const;
    std::string details() const;
    void sync();

    StateBridge& bridge_;
    Services services_;
    QString reportID_;
    bool isSubmitting_ = false;
    std::optional<QString> submittedID_;
    std::optional<QString> submissionError_;

    QComboBox* category_ = nullptr;
    QComboBox* area_ = nullptr;
    QPlainTextEdit* editor_ = nullptr;
    QCheckBox* includeDiagnostics_ = nullptr;
    RoundedBox* receiptBanner_ = nullptr;
    SymbolLabel* receiptLabel_ = nullptr;
    SymbolLabel* statusLine_ = nullptr;
    QPushButton* sendButton_ = nullptr;
    Spinner* spinner_ = nullptr;
};

}  // namespace nudgerly
