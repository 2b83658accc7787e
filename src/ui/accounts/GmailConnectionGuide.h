#pragma once

#include <functional>

#include <QDialog>

class QPushButton;

namespace nudgerly {

// What to check before the browser sign-in, and how to pass Google's unverified-app warning only when
// those checks hold. A window-modal dialog of a fixed size whose text scrolls above a fixed button bar.
// "Continue to Google" (the default button, so Return) closes the guide and then runs `onContinue`;
// "Cancel", Escape and any other way of closing run `onCancel`. Exactly one of the two runs, once.
// Children: "cancelButton", "continueButton", and each step, one accessible element, "step1" to
// "step3".
class GmailConnectionGuide : public QDialog {
    Q_OBJECT

public:
    static constexpr QSize fixedSize{590, 610};

    GmailConnectionGuide(std::function<void()> onContinue, std::function<void()> onCancel, QWidget* parent = nullptr);

    // "Step 2. " followed by the title, a blank and the detail: what a screen reader says for a step.
    static QString stepAccessibleName(int number, const QString& title, const QString& detail);

    void done(int result) override;

private:
    QWidget* buildGuideText();

    std::function<void()> onContinue_;
    std::function<void()> onCancel_;
    bool answered_ = false;
};

}  // namespace nudgerly
