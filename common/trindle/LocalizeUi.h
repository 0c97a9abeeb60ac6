#pragma once
// Dialog localization: window texts of the form "lid_" followed by a message
// number (and any suffix, such as ":" or "...") are replaced by that message
// in the current language. A test mode checks whether each language's text
// fits its one-line control.

#include "Localization.h"

#include <windows.h>

#include <array>
#include <string>

namespace Quenzal::Localization {

// One table per row of the language table, in its order.
using LanguageTables = std::array<MessageTable, LanguageCount>;

// Replaces a placeholder text by its message and suffix; false (and the text
// untouched) when the text is no placeholder.
bool ParseLidText(HWND window, StringW& text);
// The "TestLocalizationFit" switch, read once per process.
bool IsLocalizationFitTestEnabled();

} // namespace Quenzal::Localization

namespace Quenzal::Ui {

// Localizes the window's own text and those of all its descendants.
void LocalizeWindow(HWND window);
// Whether the message with the suffix fits the window in every language;
// overflows (and near overflows) are logged.
bool DoesLocalizedMessageFitInWindow(HWND window, int lid, const std::wstring& suffix);
// The same against the given tables (each language on its own, no English underneath).
bool DoesLocalizedMessageFitInWindow(HWND window, int lid, const std::wstring& suffix,
                                     const Localization::LanguageTables& tables);

} // namespace Quenzal::Ui
