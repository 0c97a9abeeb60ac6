#include "AddInPanel.h"

#include "AddInFamily.h"
#include "ErrorReport.h"
#include "Localization.h"
#include "Logging.h"
#include "ResourceBuffer.h"

#include <algorithm>
#include <utility>

namespace Quenzal::OutlookAddIn {

namespace {

constexpr int Gap = 9;          // title to icon row, icon to text, text to the Options button
constexpr int ButtonGap = 10;   // between the two buttons
constexpr int IconSize = 55;
constexpr int SeparatorGap = 4; // title to separator line
constexpr int ButtonPadding = 16; // a button's text to its edges, both sides together

HFONT GuiFont()
{
    return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
}

void DrawTextIn(HDC dc, const StringW& text, RECT box, UINT format)
{
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, format | DT_NOPREFIX);
}

// A text the member gives through its own interface; empty when it fails.
StringW AskAddIn(const IOutlookAddInPtr& addIn, HRESULT (STDMETHODCALLTYPE IOutlookAddIn::*member)(BSTR*))
{
    if (!addIn)
        return StringW();
    BSTR text = nullptr;
    HRESULT hr = (addIn.GetInterfacePtr()->*member)(&text);
    _bstr_t holder(text, false);
    return SUCCEEDED(hr) && text != nullptr ? StringW(text) : StringW();
}

} // namespace

CAddInPanel::CAddInPanel(int index, IOutlookAddIn* addIn, bool notConnected)
    : m_index(index), m_addIn(addIn), m_notConnected(notConnected)
{
}

SIZE CAddInPanel::MeasureTitle(HDC dc) const
{
    Ui::CSelectedObject font(dc, GuiFont());
    StringW title = GetQuenzalAddInDescription(m_index);
    SIZE size = {};
    if (!::GetTextExtentPoint32W(dc, title.c_str(), static_cast<int>(title.size()), &size))
        QZL_THROW(L"Quenzal::OutlookAddIn::CAddInPanel::MeasureTitle", CWinError());
    return size;
}

// The standard width, or wider when a translation of either button's text
// needs it; both buttons keep one width.
int CAddInPanel::MeasureButtons(HDC dc) const
{
    Ui::CSelectedObject font(dc, GuiFont());
    int width = ButtonWidth;
    for (int lid : {106, 185}) {
        StringW text = GetLocalizedMessage(lid) + L"...";
        SIZE size = {};
        if (!::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size))
            QZL_THROW(L"Quenzal::OutlookAddIn::CAddInPanel::MeasureButtons", CWinError());
        width = std::max(width, static_cast<int>(size.cx) + ButtonPadding);
    }
    return width;
}

HWND CAddInPanel::CreateButton(HWND parent, int lid, POINT at, int width)
{
    StringW text = GetLocalizedMessage(lid) + L"...";
    HWND button = ::CreateWindowExW(0, L"BUTTON", text.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP, at.x, at.y,
                                    width, ButtonHeight, parent, nullptr, Os::GetThisModule(), nullptr);
    if (button == nullptr)
        QZL_THROW(L"Quenzal::OutlookAddIn::CAddInPanel::Create", CWinError());
    ::SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont()), FALSE);
    return button;
}

void CAddInPanel::Create(HWND parent, POINT position, const RECT& area)
{
    Logging::Log(Logging::Trace, (L"Entered CAddInPanel::Create: " + GetQuenzalAddInProgId(m_index)).c_str());
    Ui::CWindowDC dc(parent);
    if (dc.Get() == nullptr)
        QZL_THROW(L"Quenzal::OutlookAddIn::CAddInPanel::Create", CWinError());
    LONG titleHeight = MeasureTitle(dc.Get()).cy;
    const int width = MeasureButtons(dc.Get());
    m_optionsPosition = {area.right - width, position.y + titleHeight + Gap};
    m_optionsButton = CreateButton(parent, 106, m_optionsPosition, width);
    if (m_addIn) {
        m_viewLogPosition = {m_optionsPosition.x - width - ButtonGap, m_optionsPosition.y};
        m_viewLogButton = CreateButton(parent, 185, m_viewLogPosition, width);
    } else {
        ::EnableWindow(m_optionsButton, FALSE);
    }
}

void CAddInPanel::MoveButtons(int dx)
{
    for (auto [button, position] : {std::pair{m_optionsButton, &m_optionsPosition},
                                    std::pair{m_viewLogButton, &m_viewLogPosition}}) {
        if (button == nullptr)
            continue;
        position->x += dx;
        ::SetWindowPos(button, nullptr, position->x, position->y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

HICON CAddInPanel::GetIcon()
{
    if (!std::exchange(m_iconLoaded, true)) {
        m_icon = LoadQuenzalAddInIcon(m_index);
        if (!m_icon)
            Logging::Log(Logging::Error,
                         (L"Unable to load logo resource: " + GetQuenzalAddInDescription(m_index)).c_str());
    }
    return m_icon.Get();
}

void CAddInPanel::Draw(HDC dc, POINT position, const RECT& area, HPEN pen)
{
    const LONG bottom = std::min(position.y + Pitch, area.bottom);
    SIZE title = MeasureTitle(dc);
    Ui::CSelectedObject font(dc, GuiFont());
    DrawTextIn(dc, GetQuenzalAddInDescription(m_index), {position.x, position.y, area.right, bottom},
               DT_SINGLELINE | DT_LEFT | DT_TOP);
    {
        Ui::CSelectedObject selectedPen(dc, pen);
        LONG middle = position.y + title.cy / 2;
        ::MoveToEx(dc, position.x + title.cx + SeparatorGap, middle, nullptr);
        ::LineTo(dc, area.right, middle);
    }

    const LONG top = position.y + title.cy + Gap;
    RECT textBox = {position.x + Gap, top, area.right, top + IconSize};
    if (HICON icon = GetIcon()) {
        if (!::DrawIconEx(dc, position.x + Gap, top, icon, IconSize, IconSize, 0, nullptr, DI_NORMAL))
            QZL_THROW(L"Quenzal::OutlookAddIn::CAddInPanel::Draw", CWinError());
        textBox.left = position.x + Gap + IconSize + Gap;
        if (m_optionsButton != nullptr)
            textBox.right = m_optionsPosition.x - Gap;
    }

    if (!m_addIn) {
        DrawTextIn(dc, GetLocalizedMessage(m_notConnected ? 166 : 167), textBox, DT_WORDBREAK | DT_LEFT | DT_TOP);
        return;
    }
    StringW version = GetVersion();
    if (!version.empty())
        DrawTextIn(dc, FormatLocalizedMessage(183, version), {position.x, top, area.right, bottom},
                   DT_SINGLELINE | DT_RIGHT | DT_BOTTOM);
}

StringW CAddInPanel::GetLogPath() const
{
    return AskAddIn(m_addIn, &IOutlookAddIn::GetLogPath);
}

StringW CAddInPanel::GetVersion() const
{
    return AskAddIn(m_addIn, &IOutlookAddIn::GetVersion);
}

} // namespace Quenzal::OutlookAddIn
