#include "Localization.h"

#include "ErrorReport.h"
#include "Logging.h"
#include "SmartPointer.h"

#include <cwchar>
#include <vector>

namespace Quenzal::Localization {

namespace {

struct LocalMemoryDestructor {
    static bool IsValid(HLOCAL memory) { return memory != nullptr; }
    static void Destroy(HLOCAL memory) { ::LocalFree(memory); }
};

using CLocalMemory = SmartPointer<HLOCAL, LocalMemoryDestructor>;

// What the insertion points of a message ask for.
struct InsertionPoints {
    bool valid = true;
    DWORD count = 0;
    DWORD highest = 0;
};

InsertionPoints ScanInsertionPoints(const wchar_t* message)
{
    InsertionPoints points;
    for (const wchar_t* p = message; *p != L'\0'; ++p) {
        if (*p != L'%')
            continue;
        wchar_t next = p[1];
        if (next == L'%' || next == L' ' || next == L'!' || next == L'0' || next == L'n' || next == L'r' ||
            next == L't') {
            ++p;
        } else if (next >= L'1' && next <= L'9') {
            ++points.count;
            // The number read here is never smaller than the one the system
            // formatter takes from the same digits, so it bounds what it reads.
            int number = _wtoi(p + 1);
            if (number > 0 && static_cast<DWORD>(number) > points.highest)
                points.highest = static_cast<DWORD>(number);
            while (p[1] >= L'0' && p[1] <= L'9')
                ++p;
        } else {
            points.valid = false;
            break;
        }
    }
    return points;
}

} // namespace

StringW FormatLocalizedMessage(const wchar_t* message, const wchar_t* const* arguments, DWORD argumentCount)
{
    if (message == nullptr || *message == L'\0')
        return StringW();
    InsertionPoints points = ScanInsertionPoints(message);
    if (!points.valid)
        return StringW();
    if (points.highest > argumentCount && points.highest > points.count) {
        Logging::LogFormat(Logging::Error, L"Invalid message (insertion point out of range): %s", message);
        return StringW();
    }
    if (points.count > argumentCount) {
        Logging::LogFormat(Logging::Warning, L"Invalid message (argument underrun); will pad: %s", message);
        std::vector<const wchar_t*> padded(points.count, L"");
        for (DWORD i = 0; i < argumentCount; ++i)
            padded[i] = arguments[i];
        return ReplaceInsertionPoints(message, padded.data());
    }
    return ReplaceInsertionPoints(message, arguments);
}

StringW ReplaceInsertionPoints(const wchar_t* message, const wchar_t* const* arguments)
{
    wchar_t* buffer = nullptr;
    // With an argument array the arguments travel as pointer-sized values.
    DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, message, 0, 0,
        reinterpret_cast<LPWSTR>(&buffer), 0,
        reinterpret_cast<va_list*>(const_cast<wchar_t**>(arguments)));
    CLocalMemory holder(buffer);
    if (length == 0)
        QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), message));
    return StringW(buffer, length);
}

} // namespace Quenzal::Localization

namespace Quenzal {

StringW FormatLocalizedMessage(int lid, const std::wstring& argument1)
{
    StringW message = GetLocalizedMessage(lid);
    if (message.empty())
        return message;
    const wchar_t* arguments[] = {argument1.c_str()};
    return Localization::FormatLocalizedMessage(message.c_str(), arguments, 1);
}

StringW FormatLocalizedMessage(int lid, const std::wstring& argument1, const std::wstring& argument2)
{
    StringW message = GetLocalizedMessage(lid);
    if (message.empty())
        return message;
    const wchar_t* arguments[] = {argument1.c_str(), argument2.c_str()};
    return Localization::FormatLocalizedMessage(message.c_str(), arguments, 2);
}

} // namespace Quenzal
