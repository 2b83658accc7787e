#include "ui/shared/RefreshBanner.h"

#include <algorithm>
#include <cmath>

#include <QHBoxLayout>
#include <QProgressBar>
#include <QVBoxLayout>

#include "ui/kit/ElidedLabel.h"
#include "ui/kit/PlainText.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/TextStyle.h"
#include "ui/shared/ReviewDisplay.h"

namespace nudgerly {
namespace {

constexpr int barSteps = 1000;

}  // namespace

RefreshBanner::RefreshBanner(const RefreshProgress& progress, QWidget* parent) : RoundedBox(parent) {
    setFill(Tone::accent, 0.08);
    setCornerRadius(0);
    setContentsMargins(16, 10, 16, 10);
    setFont(fontFor(TextStyle::caption));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(7);
    auto* line = new QHBoxLayout;
    line->setSpacing(7);
    symbol_ = new SymbolView({}, Tone::primary, Symbols::sizeForText(metricsOf(TextStyle::caption).pixelSize), this);
    symbol_->setObjectName(QStringLiteral("sourceSymbol"));
    detail_ = new ElidedLabel(TextStyle::caption, Tone::primary, 1, this);
    detail_->setObjectName(QStringLiteral("detailLabel"));
    count_ = new ElidedLabel(TextStyle::caption, Tone::primary, 1, this);
    count_->setObjectName(QStringLiteral("countLabel"));
    count_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);  // the counts are never cut
    line->addWidget(symbol_);
    line->addWidget(detail_, 1);
    line->addWidget(count_);
    stack->addLayout(line);
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("progressBar"));
    bar_->setTextVisible(false);
    bar_->setFixedHeight(6);
    stack->addWidget(bar_);

    setProgress(progress);
}

void RefreshBanner::setProgress(const RefreshProgress& progress) {
    progress_ = progress;
    symbol_->setSymbol(ReviewDisplay::sourceSymbol(progress.source));
    detail_->setText(qtText(progress.detail));
    const std::optional<std::string> counts = countText(progress);
    count_->setText(counts ? qtText(*counts) : QString());
    count_->setVisible(counts.has_value());
    if (const std::optional<double> part = fraction(progress)) {
        bar_->setRange(0, barSteps);
        bar_->setValue(static_cast<int>(std::lround(*part * barSteps)));
    } else {
        bar_->setRange(0, 0);  // busy
    }
    setAccessibleName(qtText(accessibilityLabel(progress)));
    setAccessibleDescription(qtText(accessibilityValue(progress)));
}

std::optional<std::string> RefreshBanner::countText(const RefreshProgress& progress) {
    if (!progress.completed || !progress.total) {
        return std::nullopt;
    }
    return std::to_string(*progress.completed) + " / " + std::to_string(*progress.total);
}

std::optional<double> RefreshBanner::fraction(const RefreshProgress& progress) {
    if (!progress.completed || !progress.total || *progress.total < 1) {
        return std::nullopt;
    }
    const double part = static_cast<double>(*progress.completed) / static_cast<double>(*progress.total);
    return std::clamp(part, 0.0, 1.0);
}

std::string RefreshBanner::accessibilityLabel(const RefreshProgress& progress) {
    return std::string(ReviewDisplay::sourceName(progress.source)) + " refresh";
}

std::string RefreshBanner::accessibilityValue(const RefreshProgress& progress) {
    const std::optional<std::string> counts = progress.countLabel();
    return counts ? progress.detail + ". " + *counts : progress.detail;
}

}  // namespace nudgerly
