#pragma once
// The mapping between the charset names that MIME and HTTP use and the numeric
// code pages that Windows converts with.

#include "StringW.h"

#include <cstdint>

namespace Quenzal::Net {

inline constexpr uint32_t kNoCodePage = 0xFFFFFFFF;

// The code page of a charset name (any letter case; "cp<n>" and "ibm<n>" of a
// known code page resolve too); kNoCodePage, logged, when there is none.
uint32_t GetCodePageFromCharsetName(const std::wstring& name);
// The name written into outgoing messages for a code page; empty when unknown.
StringW GetCharsetNameFromCodePage(uint32_t codePage);
// The code page tried when a conversion with this one fails; kNoCodePage when none.
uint32_t GetFallbackCodePage(uint32_t codePage);

} // namespace Quenzal::Net

namespace Quenzal::Os {

StringW GetCodePageName(uint32_t codePage);
uint32_t GetFallbackCodePage(uint32_t codePage);
// "utf-8 (65001)", or "Unknown (1)" for a code page without a name.
StringW DescribeCodePage(uint32_t codePage);

} // namespace Quenzal::Os
