#pragma once

#include <optional>
#include <string>

#include "review/RefreshProgress.h"
#include "ui/kit/RoundedBox.h"

class QProgressBar;

namespace nudgerly {

class ElidedLabel;
class SymbolView;

// The banner above the queue while a source refreshes: the source symbol, the step text, the counts
// when both are known, and a progress bar, determinate when the counts allow it. Updated in place by
// setProgress. Children: "sourceSymbol", "detailLabel", "countLabel", "progressBar".
class RefreshBanner : public RoundedBox {
    Q_OBJECT

public:
    explicit RefreshBanner(const RefreshProgress& progress = {}, QWidget* parent = nullptr);

    void setProgress(const RefreshProgress& progress);
    const RefreshProgress& progress() const { return progress_; }

    // "12 / 40"; absent unless both counts are present.
    static std::optional<std::string> countText(const RefreshProgress& progress);
    // The bar's fraction, clamped to 0...1; absent (a busy bar) unless both counts are present and the
    // total is at least 1.
    static std::optional<double> fraction(const RefreshProgress& progress);
    // "Messages refresh", "Gmail refresh".
    static std::string accessibilityLabel(const RefreshProgress& progress);
    // The detail, then ". " and the count label when there is one.
    static std::string accessibilityValue(const RefreshProgress& progress);

private:
    RefreshProgress progress_;
    SymbolView* symbol_ = nullptr;
    ElidedLabel* detail_ = nullptr;
    ElidedLabel* count_ = nullptr;
    QProgressBar* bar_ = nullptr;
};

}  // namespace nudgerly
