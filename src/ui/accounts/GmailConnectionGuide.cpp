#include "ui/accounts/GmailConnectionGuide.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "ui/kit/Divider.h"
#include "ui/kit/Look.h"
#include "ui/kit/RoundedBox.h"
#include "ui/kit/SymbolLabel.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/WrapLabel.h"

namespace nudgerly {
namespace {

struct Step {
    QString title;
    QString detail;
};

const Step steps[] = {
    {QStringLiteral("Click Advanced."), QStringLiteral("Google first explains that it has not verified Nudgerly.")},
    {QStringLiteral("Click \u201CGo to Nudgerly (unsafe)\u201D only if the checks above match."),
     QStringLiteral("Do not use this bypass for an unfamiliar app.")},
    {QStringLiteral("Review the permission, then continue."), QStringLiteral("Approve only read-only Gmail access.")},
};

const QString checks[] = {
    QStringLiteral("You installed Nudgerly from the official Nudgerly website."),
    QStringLiteral("The browser address starts with https://accounts.google.com."),
    QStringLiteral("The app name is Nudgerly."),
    QStringLiteral("The requested Gmail permission is read-only."),
};

// The step's number in white on a blue disc. Screen readers skip it: the step's name says the number.
class StepBadge : public QWidget {
public:
    StepBadge(int number, QWidget* parent) : QWidget(parent), number_(QString::number(number)) { setFixedSize(22, 22); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Look::color(Tone::blue));
        painter.drawEllipse(rect());
        painter.setPen(Qt::white);
        painter.setFont(fontFor(TextStyle::caption, FontWeight::bold));
        painter.drawText(rect(), Qt::AlignCenter, number_);
    }

private:
    QString number_;
};

WrapLabel* label(const QString& text, TextStyle style, Tone tone, QWidget* parent,
                 std::optional<FontWeight> weight = std::nullopt) {
    auto* result = new WrapLabel(style, tone, parent);
    if (weight) {
        result->setTextStyle(style, weight);
    }
    result->setText(text);
    return result;
}

QVBoxLayout* column(int spacing) {
    auto* layout = new QVBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

}  // namespace

GmailConnectionGuide::GmailConnectionGuide(std::function<void()> onContinue, std::function<void()> onCancel,
                                           QWidget* parent)
    : QDialog(parent), onContinue_(std::move(onContinue)), onCancel_(std::move(onCancel)) {
    setWindowTitle(QStringLiteral("Connect Gmail"));
    setWindowModality(Qt::WindowModal);
    setFixedSize(fixedSize);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("guideScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(buildGuideText());
    page->addWidget(scroll, 1);
    page->addWidget(new Divider(Qt::Horizontal, this));

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(16, 16, 16, 16);
    bar->setSpacing(10);
    bar->addStretch(1);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setAutoDefault(false);  // Return continues wherever the focus is
    auto* proceed = new QPushButton(QStringLiteral("Continue to Google"), this);
    proceed->setObjectName(QStringLiteral("continueButton"));
    proceed->setAutoDefault(false);
    proceed->setDefault(true);
    Look::setProminent(*proceed);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(proceed, &QPushButton::clicked, this, &QDialog::accept);
    bar->addWidget(cancel);
    bar->addWidget(proceed);
    page->addLayout(bar);
}

QWidget* GmailConnectionGuide::buildGuideText() {
    auto* content = new QWidget;
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(20);

    auto* titleBlock = column(6);
    titleBlock->addWidget(label(QStringLiteral("Before you connect Gmail"), TextStyle::title2, Tone::primary, content,
                                FontWeight::semibold));
    titleBlock->addWidget(label(QStringLiteral("Google may show an unverified-app warning while Nudgerly\u2019s review "
                                               "is still in progress."),
                                TextStyle::subheadline, Tone::secondary, content));
    stack->addLayout(titleBlock);

    auto* warning = new RoundedBox(content);
    warning->setObjectName(QStringLiteral("warningBox"));
    warning->setFill(Tone::orange, 0.08);
    warning->setCornerRadius(8);
    auto* warningRow = new QHBoxLayout(warning);
    warningRow->setContentsMargins(14, 14, 14, 14);
    warningRow->setSpacing(12);
    auto* shield = new SymbolView("exclamationmark.shield.fill", Tone::orange,
                                  Symbols::sizeForText(metricsOf(TextStyle::title3).pixelSize), warning);
    warningRow->addWidget(shield, 0, Qt::AlignTop);
    auto* warningTexts = column(4);
    warningTexts->addWidget(label(QStringLiteral("Continue only after checking these details"), TextStyle::headline,
                                  Tone::primary, warning));
    warningTexts->addWidget(label(QStringLiteral("If anything is different, close the Google page and cancel "
                                                 "authorization in Nudgerly."),
                                  TextStyle::subheadline, Tone::secondary, warning));
    warningRow->addLayout(warningTexts, 1);
    stack->addWidget(warning);

    auto* checklist = column(10);
    checklist->addWidget(label(QStringLiteral("Verify first"), TextStyle::headline, Tone::primary, content));
    for (const QString& check : checks) {
        auto* line = new SymbolLabel("checkmark.circle.fill", TextStyle::subheadline, Tone::primary,
                                     SymbolLabel::Lines::wrap, content);
        line->setText(check);
        checklist->addWidget(line);
    }
    stack->addLayout(checklist);
    stack->addWidget(new Divider(Qt::Horizontal, content));

    auto* instructions = column(12);
    instructions->addWidget(
        label(QStringLiteral("If Google shows the warning"), TextStyle::headline, Tone::primary, content));
    int number = 0;
    for (const Step& step : steps) {
        ++number;
        auto* item = new QWidget(content);
        item->setObjectName(QStringLiteral("step%1").arg(number));
        item->setAccessibleName(stepAccessibleName(number, step.title, step.detail));
        auto* row = new QHBoxLayout(item);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(12);
        row->addWidget(new StepBadge(number, item), 0, Qt::AlignTop);
        auto* texts = column(2);
        texts->addWidget(label(step.title, TextStyle::subheadline, Tone::primary, item, FontWeight::semibold));
        texts->addWidget(label(step.detail, TextStyle::subheadline, Tone::secondary, item));
        row->addLayout(texts, 1);
        instructions->addWidget(item);
    }
    stack->addLayout(instructions);

    stack->addWidget(label(QStringLiteral("Nudgerly can read Gmail messages for your private queue. It cannot send, "
                                          "delete, archive, relabel, or mark email as read."),
                           TextStyle::footnote, Tone::secondary, content));
    stack->addStretch(1);
    return content;
}

QString GmailConnectionGuide::stepAccessibleName(int number, const QString& title, const QString& detail) {
    return QStringLiteral("Step %1. %2 %3").arg(number).arg(title, detail);
}

void GmailConnectionGuide::done(int result) {
    if (answered_) {
        QDialog::done(result);
        return;
    }
    answered_ = true;
    // Taken out first: closing may delete the guide.
    const std::function<void()> answer = result == QDialog::Accepted ? onContinue_ : onCancel_;
    QDialog::done(result);
    if (answer) {
        answer();
    }
}

}  // namespace nudgerly
