#pragma once
// The locale in which dates and times are shown to the user: the user's
// default until a message language is chosen, then that language's LANGID.

#include <windows.h>

namespace Quenzal::Localization {

LCID GetDisplayLocale();
void SetDisplayLocale(LCID locale);

} // namespace Quenzal::Localization
