#pragma once

#include <optional>
#include <string_view>

#include "platform/system/SettingsStore.h"
#include "review/LookbackWindow.h"

// The user-defaults keys of the state object and how they are read.
namespace nudgerly::AppStateSettings {

inline constexpr std::string_view lookbackDays = "lookback-days";  // the older single lookback, read only
inline constexpr std::string_view lookbackDaysCombined = "lookback-days-combined";
inline constexpr std::string_view lookbackDaysMessages = "lookback-days-messages";
inline constexpr std::string_view lookbackDaysGmail = "lookback-days-gmail";
inline constexpr std::string_view queueSort = "queue-sort";
inline constexpr std::string_view contactsOnly = "contacts-only";
inline constexpr std::string_view completedItems = "completed-items";
inline constexpr std::string_view messagesContactsHistoryToken = "messages-contacts-history-token";
// True while the saved Messages queue was built with Contacts data that can no longer be told (the
// settings or the Contacts answer were damaged): it is kept, shown once access allows and rebuilt,
// however often the program starts, until a Messages refresh replaces it.
inline constexpr std::string_view messagesContactsHistoryTokenUnknown = "messages-contacts-history-token-unknown";
inline constexpr std::string_view modelChoiceVersion = "model-choice-version";

// The catalogue version for which the model choice counts as made.
inline constexpr std::string_view currentModelChoiceVersion = "0.7-model-catalog-v2";

// The lookback stored under `key`: absent when nothing is stored there or the stored day count is not
// 3, 7, 30, 60 or 90.
std::optional<LookbackWindow> storedLookback(const SettingsStore& settings, std::string_view key);

}  // namespace nudgerly::AppStateSettings
