#include "LinkSeal.h"

#include "NxoOutlookAddInConfig.h"
#include "Util.h"

namespace Quenzal::Stubbing {

namespace {

StringW Seal(const std::string& key, const std::wstring& path)
{
    // The path's own UTF-16 units: no conversion can make two paths one.
    return StringW::FromAnsi(BytesToHex(CalculateHmacSha256(key, path.data(), path.size() * sizeof(wchar_t))),
                             CP_ACP);
}

} // namespace

StringW SealLinkPath(const std::wstring& path)
{
    return Seal(CNxoOutlookAddInConfig::GetInstance().GetLinkSealKey(true), path);
}

bool IsLinkSealValid(const std::wstring& path, const std::wstring& seal)
{
    const std::string key = CNxoOutlookAddInConfig::GetInstance().GetLinkSealKey(false);
    return !key.empty() && !seal.empty() && Seal(key, path) == seal;
}

} // namespace Quenzal::Stubbing
