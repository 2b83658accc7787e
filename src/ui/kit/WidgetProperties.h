#pragma once

// How the window's widgets are found and read in tests, and how screens follow the state. Every
// screen keeps to these rules.
//
// objectName
//   Every interactive widget, and every widget a test reads, carries the member name the screens are
//   described with ("refreshButton", "statusPicker", "primaryButton"). Names are unique among the
//   children of one view, so `view->findChild<QPushButton*>("primaryButton")` finds exactly one.
//
// Dynamic properties (constants below)
//   "symbol"      the named symbol a widget shows ("message.fill"), on every widget that shows one,
//                 also when the picture behind it comes from a theme or resource; empty for none.
//   "tone"        the raw name of the Tone a widget draws in ("red", "secondary"), on every widget
//                 whose colour carries meaning (badges, readiness labels, status dots, tinted symbols).
//   "prominent"   true on the main button of a place (accent fill, white text); set with
//                 Look::setProminent.
//   "destructive" true on a button that deletes or discards (red text); set with Look::setDestructive.
//   Tests assert these properties and never compare pixels.
//
// Plain text
//   Text that comes from data (names, summaries, errors, file names) may contain markup. It is always
//   shown as plain text: ElidedLabel paints it, WrapLabel and ConfirmDialog fix the plain format, and
//   tooltips go through setPlainToolTip. Never put data into a bare QLabel or QMessageBox.
//
// Following the state
//   A screen builds its widgets once and keeps them. On StateBridge::changed it re-reads the state and
//   updates the widgets in place (texts, visibility, enabled flags), never rebuilding them. While it
//   syncs, it blocks the widgets' signals (QSignalBlocker), so syncing never writes back. The state is
//   written only from user signals: textEdited, activated, clicked, toggled by the user.
//
// Hiding
//   A view that a description says is absent is hidden, not destroyed, so that widgets keep their
//   identity across changes; hidden widgets take no room in layouts.

#include <string_view>

#include <QVariant>
#include <QWidget>

#include "core/RawEnum.h"
#include "ui/kit/Tone.h"

namespace nudgerly {

inline constexpr char symbolProperty[] = "symbol";
inline constexpr char toneProperty[] = "tone";
inline constexpr char prominentProperty[] = "prominent";
inline constexpr char destructiveProperty[] = "destructive";

inline void setSymbolProperty(QObject& object, std::string_view symbol) {
    object.setProperty(symbolProperty, QString::fromUtf8(symbol.data(), static_cast<qsizetype>(symbol.size())));
}

inline void setToneProperty(QObject& object, Tone tone) {
    const std::string_view raw = toRaw(tone);
    object.setProperty(toneProperty, QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size())));
}

}  // namespace nudgerly
