#include "DisplayLocale.h"

#include <atomic>

namespace Quenzal::Localization {

namespace {

std::atomic<LCID>& DisplayLocale()
{
    static std::atomic<LCID> locale{LOCALE_USER_DEFAULT};
    return locale;
}

} // namespace

LCID GetDisplayLocale()
{
    return DisplayLocale().load();
}

void SetDisplayLocale(LCID locale)
{
    DisplayLocale().store(locale);
}

} // namespace Quenzal::Localization
