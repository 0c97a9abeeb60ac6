#include "Path.h"

#include <algorithm>
#include <cwctype>
#include <iterator>

namespace Quenzal::Os {

namespace {

constexpr wchar_t DirectorySeparators[] = L"\\/";
constexpr wchar_t ExtensionSeparators[] = L"\\/.";
constexpr wchar_t LongPathPrefix[] = L"\\\\?\\";
constexpr size_t LongPathPrefixLength = 4;
constexpr size_t UncPrefixLength = 8; // "\\?\UNC\"

// Sorted by UTF-16 code units, so that a binary search finds an entry.
constexpr const wchar_t* BlockedExtensions[] = {
    L"ade",     L"adp",     L"app",    L"asp",      L"bas",    L"bat",    L"cer",    L"chm",    L"cmd",
    L"cnt",     L"com",     L"cpl",    L"crt",      L"csh",    L"der",    L"exe",    L"fxp",    L"gadget",
    L"hlp",     L"hpj",     L"hta",    L"inf",      L"ins",    L"isp",    L"its",    L"js",     L"jse",
    L"ksh",     L"lnk",     L"mad",    L"maf",      L"mag",    L"mam",    L"maq",    L"mar",    L"mas",
    L"mat",     L"mau",     L"mav",    L"maw",      L"mda",    L"mdb",    L"mde",    L"mdt",    L"mdw",
    L"mdz",     L"msc",     L"msh",    L"msh1",     L"msh1xml", L"msh2",  L"msh2xml", L"mshxml", L"msi",
    L"msp",     L"mst",     L"ops",    L"osd",      L"pcd",    L"pif",    L"plg",    L"prf",    L"prg",
    L"ps1",     L"ps1xml",  L"ps2",    L"ps2xml",   L"psc1",   L"psc2",   L"pst",    L"reg",    L"scf",
    L"scr",     L"sct",     L"shb",    L"shs",      L"tmp",    L"url",    L"vb",     L"vbe",    L"vbs",
    L"vpb",     L"vsmacros", L"vsw",   L"ws",       L"wsc",    L"wsf",    L"wsh",    L"xnk",
};
static_assert(std::size(BlockedExtensions) == 89);

bool EndsWith(const std::wstring& text, wchar_t ch)
{
    return !text.empty() && text.back() == ch;
}

// Position of the dot that starts the extension, or npos.
size_t ExtensionDot(const std::wstring& path)
{
    size_t p = path.find_last_of(ExtensionSeparators);
    return p != std::wstring::npos && path[p] == L'.' ? p : std::wstring::npos;
}

} // namespace

StringW GetDirectoryFromPath(const std::wstring& path)
{
    // A bare file name has no folder part: answering with the name itself
    // would make callers create a folder where the file belongs.
    size_t p = path.find_last_of(DirectorySeparators);
    return p == std::wstring::npos ? StringW() : StringW(path.substr(0, p + 1));
}

StringW GetFileNameFromPath(const std::wstring& path)
{
    if (path.empty())
        return StringW();
    size_t p = path.find_last_of(DirectorySeparators);
    if (p == path.size() - 1)
        p = path.find_last_of(DirectorySeparators, p - 1); // p - 1 wraps to npos at 0: whole text
    if (p == std::wstring::npos)
        return StringW(path);
    StringW name(path.substr(p + 1));
    while (!name.empty() && (name.back() == L'\\' || name.back() == L'/'))
        name.pop_back();
    return name;
}

StringW GetFileExtension(const std::wstring& path)
{
    size_t dot = ExtensionDot(path);
    return dot == std::wstring::npos ? StringW() : StringW(path.substr(dot + 1));
}

StringW RemoveFileExtension(const std::wstring& path)
{
    size_t dot = ExtensionDot(path);
    return StringW(dot == std::wstring::npos ? path : path.substr(0, dot));
}

StringW AppendFileExtension(const std::wstring& name, const std::wstring& extension)
{
    StringW result(name);
    if (!EndsWith(result, L'.'))
        result.push_back(L'.');
    result.append(!extension.empty() && extension[0] == L'.' ? extension.substr(1) : extension);
    return result;
}

StringW CombinePath(const std::wstring& directory, const std::wstring& relativePath)
{
    StringW result = WithTrailingBackslash(StringW(directory));
    result.append(!relativePath.empty() && relativePath[0] == L'\\' ? relativePath.substr(1) : relativePath);
    return result;
}

size_t GetLongPathPrefixLength(const std::wstring& path)
{
    if (path.compare(0, LongPathPrefixLength, LongPathPrefix) != 0 && path.compare(0, 4, L"\\\\.\\") != 0)
        return 0;
    return path.size() >= UncPrefixLength && _wcsnicmp(path.c_str() + LongPathPrefixLength, L"UNC\\", 4) == 0
               ? UncPrefixLength
               : LongPathPrefixLength;
}

StringW GetLongPath(const std::wstring& path, PathRoom room)
{
    if (FitsPlainForm(path.size(), room))
        return StringW(path);
    // The system takes a prefixed path literally: slashes are no separators
    // there, and "." and ".." no steps, so it gets the path they stand for.
    StringW normal(path);
    std::replace(normal.begin(), normal.end(), L'/', L'\\');
    if (GetLongPathPrefixLength(normal) != 0)
        return normal;
    std::wstring full;
    if (TryGetFullPathName(normal, full))
        normal = full;
    if (normal.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + StringW(normal.substr(2));
    return LongPathPrefix + normal;
}

bool TryGetFullPathName(const std::wstring& path, std::wstring& full)
{
    full.assign(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0)
            return false;
        const bool fits = length < full.size();
        full.resize(length);
        if (fits)
            return true;
    }
}

StringW GetPlainForm(const std::wstring& systemForm, const std::wstring& path)
{
    if (GetLongPathPrefixLength(path) != 0 || systemForm.compare(0, LongPathPrefixLength, LongPathPrefix) != 0)
        return StringW(systemForm);
    return StringW(GetLongPathPrefixLength(systemForm) == UncPrefixLength ? L"\\\\" + systemForm.substr(UncPrefixLength)
                                                                          : systemForm.substr(LongPathPrefixLength));
}

bool IsInvalidFileNameChar(wchar_t ch)
{
    switch (ch) {
    case L'"':
    case L'*':
    case L'/':
    case L':':
    case L'<':
    case L'>':
    case L'?':
    case L'\\':
    case L'|':
        return true;
    default:
        return ch < 32;
    }
}

StringW SanitizeFileName(const std::wstring& text)
{
    constexpr size_t MaxExamined = 260;
    StringW result;
    size_t examined = std::min(text.size(), MaxExamined);
    for (size_t i = 0; i < examined; ++i) {
        if (!IsInvalidFileNameChar(text[i]))
            result.push_back(text[i]);
    }
    if (text.size() < MaxExamined)
        return result;
    // A cut name keeps its extension. The extension comes from text that was
    // never examined, so it is cleaned the same way, and it must fit.
    StringW extension;
    for (wchar_t ch : GetLastToken(text, L'.', true)) {
        if (!IsInvalidFileNameChar(ch))
            extension.push_back(ch);
    }
    if (!extension.empty() && extension.size() <= result.size())
        result.replace(result.size() - extension.size(), extension.size(), extension);
    return result;
}

bool IsBlockedFileExtension(const std::wstring& extension)
{
    if (extension.empty())
        return false;
    std::wstring lower(extension);
    for (wchar_t& ch : lower)
        ch = static_cast<wchar_t>(towlower(ch));
    auto it = std::lower_bound(std::begin(BlockedExtensions), std::end(BlockedExtensions), lower,
                               [](const wchar_t* entry, const std::wstring& key) { return key.compare(entry) > 0; });
    return it != std::end(BlockedExtensions) && lower == *it;
}

StringW WithTrailingBackslash(const std::wstring& path)
{
    StringW text(path);
    if (!EndsWith(text, L'\\'))
        text.push_back(L'\\');
    return text;
}

} // namespace Quenzal::Os
