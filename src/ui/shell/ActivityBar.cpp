#include "ui/shell/ActivityBar.h"

#include <QHBoxLayout>

#include "ui/kit/ElidedLabel.h"
#include "ui/kit/Look.h"
#include "ui/kit/PlainText.h"
#include "ui/kit/Spinner.h"
#include "ui/kit/StateBridge.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Symbols.h"

namespace nudgerly {
namespace {

constexpr int barHeight = 30;
constexpr int horizontalPadding = 12;
constexpr int spacing = 7;

}  // namespace

ActivityBar::ActivityBar(AppStateView& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("activityBar"));
    setFixedHeight(barHeight);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setFont(fontFor(TextStyle::caption));
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Look::barMaterial());
    setPalette(colours);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(horizontalPadding, 0, horizontalPadding, 0);
    row->setSpacing(spacing);
    spinner_ = new Spinner(Spinner::Size::small, this);
    spinner_->setObjectName(QStringLiteral("activitySpinner"));
    symbol_ = new SymbolView({}, Tone::secondary, Symbols::sizeForText(metricsOf(TextStyle::caption).pixelSize), this);
    symbol_->setObjectName(QStringLiteral("activitySymbol"));
    symbol_->setAccessibleName({});  // the text beside it says it all
    status_ = new ElidedLabel(TextStyle::caption, Tone::secondary, 1, this);
    status_->setObjectName(QStringLiteral("activityText"));
    range_ = new ElidedLabel(TextStyle::caption, Tone::secondary, 1, this);
    range_->setObjectName(QStringLiteral("rangeSummary"));
    row->addWidget(spinner_);
    row->addWidget(symbol_);
    // Centred, the one-line texts share the symbol's middle instead of the bar's top.
    row->addWidget(status_, 1, Qt::AlignVCenter);
    row->addStretch(0);
    row->addWidget(range_, 0, Qt::AlignVCenter);

    bridge_ = new StateBridge(state_, this);
    connect(bridge_, &StateBridge::changed, this, &ActivityBar::sync);
    sync();
}

void ActivityBar::sync() {
    model_ = activityBarModel(state_);
    using Leading = ActivityBarModel::Leading;
    const QString status = qtText(model_.statusText);
    spinner_->setVisible(model_.leading == Leading::spinner);
    spinner_->setAccessibleName(status);
    const bool showsSymbol = model_.leading == Leading::warning || model_.leading == Leading::check;
    symbol_->setVisible(showsSymbol);
    if (showsSymbol) {
        symbol_->setSymbol(model_.symbol());
    }
    status_->setVisible(model_.leading != Leading::none);
    status_->setText(status);
    range_->setVisible(model_.rangeSummary.has_value());
    range_->setText(qtText(model_.rangeSummary.value_or("")));
}

}  // namespace nudgerly
