#include "NxoClientConfig.h"

#include "ErrorReport.h"
#include "TiXmlUtil.h"

#include <cwchar>

using namespace Quenzal;

CNxoClientConfig::CNxoClientConfig(const std::string& text)
{
    TiXmlDocument document = ParseXmlDocument(text, "info");
    const StringW size = GetChildElementText(*document.RootElement(), "max_kvd_file_size");
    unsigned long long value = 0;
    // A fractional size is read up to its point.
    if (size.empty() || !IsNumericString(size) || swscanf_s(size.c_str(), L"%I64u", &value) != 1)
        QZL_THROW(L"CNxoClientConfig::CNxoClientConfig",
                  CException(L"Unable to parse max_kvd_file_size from info XML: " + size));
    m_maxKvdFileSize = value;
}
