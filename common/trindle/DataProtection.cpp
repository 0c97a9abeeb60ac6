#include "DataProtection.h"

#include "ErrorReport.h"
#include "SmartPointer.h"

#include <windows.h>
#include <dpapi.h>

namespace Quenzal::Os {

namespace {

struct LocalFreeDestructor {
    static bool IsValid(BYTE* p) { return p != nullptr; }
    static void Destroy(BYTE* p) { ::LocalFree(p); }
};

} // namespace

std::string DecryptData(const void* data, size_t length)
{
    if (data == nullptr || length == 0)
        return std::string();
    DATA_BLOB in = {static_cast<DWORD>(length), static_cast<BYTE*>(const_cast<void*>(data))};
    DATA_BLOB out = {};
    if (!::CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out))
        QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), nullptr));
    SmartPointer<BYTE*, LocalFreeDestructor> holder(out.pbData);
    if (out.cbData == 0 || out.pbData == nullptr)
        return std::string();
    std::string plain(reinterpret_cast<const char*>(out.pbData), out.cbData);
    // The plain bytes are a secret: none stays behind in freed memory.
    ::SecureZeroMemory(out.pbData, out.cbData);
    return plain;
}

std::string DecryptDataString(const std::string& data)
{
    return DecryptData(data.empty() ? nullptr : data.data(), data.size());
}

} // namespace Quenzal::Os
