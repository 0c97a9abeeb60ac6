#include "NxoDialog.h"

#include "CaughtException.h"
#include "ErrorReport.h"
#include "LocalizeUi.h"
#include "ResourceBuffer.h"
#include "Trindle.h"

using namespace Quenzal;

namespace {

const wchar_t ProductCaption[] = L"Quenzal Inbox Rampart";

} // namespace

INT_PTR CNxoDialog::DoModal(HWND parent)
{
    INT_PTR result = ::DialogBoxParamW(Os::GetThisModule(), MAKEINTRESOURCEW(m_templateId), parent, DialogProc,
                                       reinterpret_cast<LPARAM>(this));
    if (result == -1 || result == 0)
        QZL_THROW(QZL_FUNCTION, CWinError(L"Unable to show dialog"));
    return result;
}

void CNxoDialog::LocalizeAndSetIcon()
{
    Ui::LocalizeWindow(m_window);
    m_icon = Ui::GetQuenzalIcon();
    ::SendMessageW(m_window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon.Get()));
}

int CNxoDialog::ShowMessage(const std::wstring& text, UINT type) const
{
    return ::MessageBoxW(m_window, text.c_str(), ProductCaption, type);
}

INT_PTR CALLBACK CNxoDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<CNxoDialog*>(lParam)->m_window = window;
    }
    auto* dialog = reinterpret_cast<CNxoDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (dialog == nullptr)
        return FALSE;
    try {
        return dialog->HandleMessage(message, wParam, lParam);
    }
    QZL_CATCH_REPORT(QZL_FUNCTION)
    return TRUE;
}

INT_PTR CNxoDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        return TRUE;
    case WM_COMMAND: {
        WORD id = LOWORD(wParam);
        if (OnCommand(id, HIWORD(wParam)))
            return TRUE;
        if (id != IDCANCEL && id != IDCLOSE)
            return FALSE;
        EndDialog(id);
        return TRUE;
    }
    case WM_DRAWITEM:
        return OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)) ? TRUE : FALSE;
    default:
        return FALSE;
    }
}
