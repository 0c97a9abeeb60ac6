#pragma once
// Expansion of environment-variable references ("%NAME%") in a text.

#include "StringW.h"

namespace Quenzal::Os {

// References to undefined variables stay in the text as they are.
StringW ExpandEnvironmentVariables(const std::wstring& text);

} // namespace Quenzal::Os
