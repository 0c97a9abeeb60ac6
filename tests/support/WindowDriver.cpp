#include "WindowDriver.h"

#include "GdiObjects.h"
#include "SmartPointer.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>

namespace QzlTest {

namespace {

constexpr DWORD WaitLimitMs = 30000;

struct ScriptStopped {};

std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

bool IsOfClass(HWND window, const wchar_t* name)
{
    return _wcsicmp(ClassOf(window).c_str(), name) == 0;
}

struct MemoryDCDestructor {
    static bool IsValid(HDC dc) { return dc != nullptr; }
    static void Destroy(HDC dc) { ::DeleteDC(dc); }
};
using CMemoryDC = Quenzal::SmartPointer<HDC, MemoryDCDestructor>;

struct FontDestructor {
    static bool IsValid(HFONT font) { return font != nullptr; }
    static void Destroy(HFONT font) { ::DeleteObject(font); }
};
using CFont = Quenzal::SmartPointer<HFONT, FontDestructor>;

template <class F>
void ForEachChild(HWND parent, F&& visit)
{
    ::EnumChildWindows(
        parent,
        [](HWND child, LPARAM context) -> BOOL {
            (*reinterpret_cast<F*>(context))(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&visit));
}

template <class F>
void ForEachThreadWindow(DWORD thread, F&& visit)
{
    ::EnumThreadWindows(
        thread,
        [](HWND window, LPARAM context) -> BOOL {
            (*reinterpret_cast<F*>(context))(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&visit));
}

void AppendBigEndian(std::string& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void AppendChunk(std::string& out, const char* type, const std::string& data)
{
    AppendBigEndian(out, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    AppendBigEndian(out, static_cast<uint32_t>(
                             crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

// Rows of 32-bit BGRX pixels, top row first, as an 8-bit RGB PNG.
std::string EncodePng(const uint8_t* pixels, int width, int height)
{
    std::string raw;
    raw.reserve(static_cast<size_t>(height) * (width * 3 + 1));
    for (int y = 0; y < height; ++y) {
        raw.push_back('\0'); // no filter
        const uint8_t* row = pixels + static_cast<size_t>(y) * width * 4;
        for (int x = 0; x < width; ++x) {
            raw.push_back(static_cast<char>(row[x * 4 + 2]));
            raw.push_back(static_cast<char>(row[x * 4 + 1]));
            raw.push_back(static_cast<char>(row[x * 4]));
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
              static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION);
    packed.resize(packedSize);

    std::string header;
    AppendBigEndian(header, static_cast<uint32_t>(width));
    AppendBigEndian(header, static_cast<uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, deflate, no filter set, no interlace
    std::string png("\x89PNG\r\n\x1a\n", 8);
    AppendChunk(png, "IHDR", header);
    AppendChunk(png, "IDAT", packed);
    AppendChunk(png, "IEND", std::string());
    return png;
}

} // namespace

CWindowDriver::CWindowDriver(std::function<void(CWindowDriver&)> script) : m_testThread(::GetCurrentThreadId())
{
    m_thread = std::thread([this, script = std::move(script)] {
        try {
            script(*this);
            return;
        } catch (const ScriptStopped&) {
        } catch (const std::exception& e) {
            Expect(false, std::string("the script raised: ") + e.what());
        }
        CloseDialogs();
    });
}

CWindowDriver::~CWindowDriver()
{
    if (m_thread.joinable())
        m_thread.join();
}

std::vector<std::string> CWindowDriver::Finish()
{
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard<std::mutex> lock(m_lock);
    return m_failures;
}

void CWindowDriver::Expect(bool condition, const std::string& failure)
{
    if (condition)
        return;
    std::lock_guard<std::mutex> lock(m_lock);
    m_failures.push_back(failure);
}

void CWindowDriver::Stop(const std::string& failure)
{
    Expect(false, failure);
    throw ScriptStopped();
}

HWND CWindowDriver::FindWindowNow(const std::wstring& title, const std::vector<HWND>& except)
{
    HWND found = nullptr;
    ForEachThreadWindow(m_testThread, [&](HWND window) {
        if (found == nullptr && ::IsWindowVisible(window) && GetText(window) == title &&
            std::find(except.begin(), except.end(), window) == except.end())
            found = window;
    });
    return found;
}

HWND CWindowDriver::WaitForWindow(const std::wstring& title, const std::vector<HWND>& except)
{
    for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < WaitLimitMs; ::Sleep(20)) {
        if (HWND found = FindWindowNow(title, except)) {
            // Let it finish painting before anyone looks at it.
            ::Sleep(200);
            return found;
        }
    }
    Stop("no window titled \"" + std::string(title.begin(), title.end()) + "\" appeared");
}

void CWindowDriver::WaitUntil(const std::function<bool()>& condition, const std::string& what)
{
    for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < WaitLimitMs; ::Sleep(20)) {
        if (condition())
            return;
    }
    Stop("waited in vain for " + what);
}

void CWindowDriver::WaitUntilClosed(HWND window)
{
    WaitUntil([window] { return !::IsWindow(window) || !::IsWindowVisible(window); }, "a window to close");
}

HWND CWindowDriver::FindControl(HWND parent, const std::wstring& text)
{
    HWND found = nullptr;
    ForEachChild(parent, [&](HWND child) {
        if (found == nullptr && GetText(child) == text)
            found = child;
    });
    if (found == nullptr)
        Stop("no control \"" + std::string(text.begin(), text.end()) + "\"");
    return found;
}

HWND CWindowDriver::GetControl(HWND dialog, int id)
{
    HWND control = ::GetDlgItem(dialog, id);
    if (control == nullptr)
        Stop("no control " + std::to_string(id));
    return control;
}

// Read without a message: the window's thread may be waiting for the script.
std::wstring CWindowDriver::GetText(HWND window)
{
    wchar_t text[1024] = {};
    ::InternalGetWindowText(window, text, 1024);
    return text;
}

// The longest static text of the box: its message (the icon is a static too).
std::wstring CWindowDriver::GetMessageText(HWND box)
{
    std::wstring message;
    ForEachChild(box, [&](HWND child) {
        std::wstring text = GetText(child);
        if (IsOfClass(child, L"Static") && text.size() > message.size())
            message = text;
    });
    return message;
}

void CWindowDriver::Press(HWND button)
{
    if (!::IsWindowVisible(button) || !::IsWindowEnabled(button)) {
        std::wstring text = GetText(button);
        Stop("the button \"" + std::string(text.begin(), text.end()) + "\" cannot be pressed");
    }
    ::PostMessageW(button, BM_CLICK, 0, 0);
}

// Cancels every dialog and message box the test's thread still shows.
void CWindowDriver::CloseDialogs()
{
    for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < WaitLimitMs; ::Sleep(100)) {
        bool any = false;
        ForEachThreadWindow(m_testThread, [&](HWND window) {
            if (::IsWindowVisible(window) && ClassOf(window) == L"#32770") {
                any = true;
                ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
            }
        });
        if (!any)
            return;
    }
}

bool CWindowDriver::SaveWindowPicture(HWND window, const std::wstring& path)
{
    RECT bounds = {};
    if (!::GetWindowRect(window, &bounds))
        return false;
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    // The window's own device context reads what the window shows, whatever
    // other windows of the display lie over it.
    HDC source = ::GetWindowDC(window);
    CMemoryDC memory(::CreateCompatibleDC(source));
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height; // top row first
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    Quenzal::Ui::CBitmap picture(::CreateDIBSection(memory.Get(), &format, DIB_RGB_COLORS, &bits, nullptr, 0));
    bool copied = false;
    if (picture) {
        Quenzal::Ui::CSelectedObject selected(memory.Get(), picture.Get());
        copied = ::BitBlt(memory.Get(), 0, 0, width, height, source, 0, 0, SRCCOPY) != FALSE;
    }
    memory.Reset();
    ::ReleaseDC(window, source);
    if (!copied)
        return false;
    std::string png = EncodePng(static_cast<const uint8_t*>(bits), width, height);
    Quenzal::Os::CHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.Get(), png.data(), static_cast<DWORD>(png.size()), &written, nullptr) &&
           written == png.size();
}

namespace {

// The room a control leaves its text: a check mark, a button's border or a
// group box's frame take their part.
LONG TextRoom(HWND control, LONG width)
{
    if (!IsOfClass(control, L"Button"))
        return width;
    switch (::GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) {
    case BS_GROUPBOX:
        return width - 16;
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
    case BS_3STATE:
    case BS_AUTO3STATE:
        return width - ::GetSystemMetrics(SM_CXMENUCHECK) - 4;
    default:
        return width - 6;
    }
}

// Whether the font draws any character of the text as it draws a
// private-use character, which no font of the system has: as a box.
bool ShowsBoxes(HFONT font, const std::wstring& text)
{
    constexpr int Size = 32;
    BITMAPINFO format = {{sizeof(BITMAPINFOHEADER), Size, -Size, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    CMemoryDC memory(::CreateCompatibleDC(nullptr));
    void* bits = nullptr;
    Quenzal::Ui::CBitmap picture(::CreateDIBSection(memory.Get(), &format, DIB_RGB_COLORS, &bits, nullptr, 0));
    bool boxes = false;
    if (picture) {
        Quenzal::Ui::CSelectedObject selectedPicture(memory.Get(), picture.Get());
        Quenzal::Ui::CSelectedObject selectedFont(memory.Get(), font);
        auto draw = [&](wchar_t character) {
            RECT all = {0, 0, Size, Size};
            ::ExtTextOutW(memory.Get(), 0, 0, ETO_OPAQUE, &all, &character, 1, nullptr);
            ::GdiFlush();
            return std::vector<uint32_t>(static_cast<uint32_t*>(bits), static_cast<uint32_t*>(bits) + Size * Size);
        };
        const std::vector<uint32_t> box = draw(L'\xE000');
        boxes = std::any_of(text.begin(), text.end(), [&](wchar_t c) { return c > 0x7F && draw(c) == box; });
    }
    return boxes;
}

// Wine draws a greyed button's label into a black-and-white bitmap exactly as
// wide as the text measures, and draws some texts there a pixel or more wider
// than it measures them: what runs over that width is cut off.
bool IsGreyedLabelCut(HDC dc, const std::wstring& text, UINT format, const RECT& label)
{
    constexpr LONG Spare = 16;
    const LONG width = label.right + Spare;
    CMemoryDC memory(::CreateCompatibleDC(dc));
    Quenzal::Ui::CBitmap picture(::CreateBitmap(width, label.bottom, 1, 1, nullptr));
    if (!memory || !picture)
        return false;
    Quenzal::Ui::CSelectedObject selectedPicture(memory.Get(), picture.Get());
    Quenzal::Ui::CSelectedObject selectedFont(memory.Get(), ::GetCurrentObject(dc, OBJ_FONT));
    RECT all = {0, 0, width, label.bottom};
    ::FillRect(memory.Get(), &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    RECT bounds = label;
    ::DrawTextW(memory.Get(), text.c_str(), -1, &bounds, format | DT_NOCLIP);
    for (LONG x = label.right; x < width; ++x)
        for (LONG y = 0; y < label.bottom; ++y)
            if (::GetPixel(memory.Get(), x, y) == RGB(0, 0, 0))
                return true;
    return false;
}

bool IsClipped(HWND control, const std::wstring& text)
{
    const bool isButton = IsOfClass(control, L"Button");
    const LONG style = ::GetWindowLongW(control, GWL_STYLE);
    const bool wraps = isButton ? (style & BS_MULTILINE) != 0 : (style & SS_TYPEMASK) == SS_LEFT;
    RECT client = {};
    ::GetClientRect(control, &client);
    RECT needed = {0, 0, TextRoom(control, client.right), 0};
    {
        Quenzal::Ui::CWindowDC dc(control);
        Quenzal::Ui::CSelectedObject font(dc.Get(), reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
        const UINT format = wraps ? DT_WORDBREAK : DT_SINGLELINE;
        ::DrawTextW(dc.Get(), text.c_str(), -1, &needed, DT_CALCRECT | format);
        if (isButton && !::IsWindowEnabled(control) && IsGreyedLabelCut(dc.Get(), text, format, needed))
            return true;
    }
    const bool groupBox = isButton && (style & BS_TYPEMASK) == BS_GROUPBOX;
    return needed.right > TextRoom(control, client.right) || (!groupBox && needed.bottom > client.bottom);
}

// A caption's text runs from beside the window's icon to its close button.
bool IsCaptionClipped(HWND window, const std::wstring& text)
{
    RECT bounds = {};
    ::GetWindowRect(window, &bounds);
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    CFont font(::CreateFontIndirectW(&metrics.lfCaptionFont));
    Quenzal::Ui::CWindowDC dc(window);
    Quenzal::Ui::CSelectedObject selected(dc.Get(), font.Get());
    SIZE needed = {};
    ::GetTextExtentPoint32W(dc.Get(), text.c_str(), static_cast<int>(text.size()), &needed);
    return needed.cx > bounds.right - bounds.left - 2 * ::GetSystemMetrics(SM_CXDLGFRAME) -
                           ::GetSystemMetrics(SM_CXSMICON) - ::GetSystemMetrics(SM_CXSIZE) - 8 ||
           ShowsBoxes(font.Get(), text);
}

} // namespace

std::vector<std::wstring> CWindowDriver::ClippedTexts(HWND window)
{
    std::vector<std::wstring> clipped;
    if ((::GetWindowLongW(window, GWL_STYLE) & WS_CAPTION) == WS_CAPTION && IsCaptionClipped(window, GetText(window)))
        clipped.push_back(GetText(window));
    ForEachChild(window, [&](HWND control) {
        const std::wstring text = GetText(control);
        if (!text.empty() && ::IsWindowVisible(control) &&
            (IsOfClass(control, L"Button") || IsOfClass(control, L"Static")) &&
            (IsClipped(control, text) ||
             ShowsBoxes(reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)), text)))
            clipped.push_back(text);
    });
    return clipped;
}

std::wstring ScreenshotPath(const wchar_t* name)
{
    wchar_t folder[MAX_PATH] = {};
    ::GetFullPathNameW(L"..\\screenshots", MAX_PATH, folder, nullptr);
    ::CreateDirectoryW(folder, nullptr);
    return std::wstring(folder) + L"\\" + name;
}

} // namespace QzlTest
