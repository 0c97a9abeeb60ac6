#include "ComProgressDlg.h"

#include "ErrorReport.h"
#include "FatalExit.h"
#include "Localization.h"
#include "Logging.h"
#include "Os.h"
#include "ThreadPoolWork.h"
#include "Ui.h"

#include <algorithm>

using namespace Quenzal;

namespace {

// {F8383852-FCD3-11D1-A6B9-006097DF5BD4}
constexpr DWORD CancelPollMilliseconds = 100;

constexpr CLSID ClsidProgressDialog = {0xF8383852, 0xFCD3, 0x11D1, {0xA6, 0xB9, 0x00, 0x60, 0x97, 0xDF, 0x5B, 0xD4}};

} // namespace

CComProgressDlg::CComProgressDlg(const std::wstring& title, uint32_t progressMessageId, uint64_t total)
    : m_title(title), m_progressMessageId(progressMessageId), m_total(total)
{
    m_line1 = FormatProgressText();
}

CComProgressDlg::~CComProgressDlg()
{
    try {
        Close();
    } catch (...) {
        Logging::Log(Logging::Error, L"Caught exception while closing progress dialog; ignoring");
    }
    m_dialog = nullptr;
}

HWND CComProgressDlg::GetDialogWindow() const
{
    return Ui::GetWindowHandleFromOleWindow(m_dialog.GetInterfacePtr());
}

void CComProgressDlg::Show(HWND owner)
{
    if (m_dialog) {
        // Zero means the window was hidden, which only a failed stop leaves behind.
        if (!::ShowWindow(GetDialogWindow(), SW_SHOW))
            QZL_THROW(L"CComProgressDlg::Show", CWinError());
        return;
    }
    m_previousCursor = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    IProgressDialog* raw = nullptr;
    QZL_CHECK_COM_RESULT(L"CComProgressDlg::Show",
                         ::CoCreateInstance(ClsidProgressDialog, nullptr, CLSCTX_ALL, IidProgressDialog,
                                            reinterpret_cast<void**>(&raw)));
    IProgressDialogPtr dialog(raw, false);
    m_owner = owner;
    m_ownerWasEnabled = owner != nullptr && ::IsWindowEnabled(owner);
    const DWORD flags = owner != nullptr ? PROGDLG_MODAL : PROGDLG_NOMINIMIZE;
    QZL_CHECK_COM_RESULT(L"CComProgressDlg::Show", dialog->StartProgressDialog(owner, nullptr, flags, nullptr));
    m_dialog = dialog;
    m_cancelled = false;
    QZL_CHECK_COM_RESULT(L"CComProgressDlg::Show", m_dialog->SetTitle(m_title.c_str()));
    if (!m_line1.empty())
        SetLine1(StringW(m_line1));
    if (!m_line2.empty())
        SetLine2(StringW(m_line2));
    if (m_total != 0)
        SetProgress(m_current, m_total);
    ::ShowWindow(GetDialogWindow(), SW_SHOW);
}

void CComProgressDlg::Close()
{
    if (!m_dialog)
        return;
    m_cancelled = m_dialog->HasUserCancelled() != FALSE;
    HWND window = GetDialogWindow();
    Ui::RestoreCursor(m_previousCursor);
    ::ShowWindow(window, SW_HIDE);
    QZL_CHECK_COM_RESULT(L"CComProgressDlg::Close", m_dialog->StopProgressDialog());
    m_dialog = nullptr;
    if (m_owner != nullptr) {
        // The shell destroys its window asynchronously; the owner is brought
        // back only once it is gone, or the dialog would take the focus along.
        while (::IsWindow(window)) {
            Ui::PumpMessages();
            if (::IsWindow(window))
                ::MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, 0);
        }
        // Not every implementation of the shell's dialog gives the owner its
        // input back, and Outlook would stay frozen without it.
        if (m_ownerWasEnabled && !::IsWindowEnabled(m_owner))
            ::EnableWindow(m_owner, TRUE);
        ::BringWindowToTop(m_owner);
    }
}

void CComProgressDlg::SetLine(DWORD number, const std::wstring& text, StringW& stored)
{
    if (!m_dialog)
        return;
    QZL_CHECK_COM_RESULT(L"CComProgressDlg::SetLine", m_dialog->SetLine(number, text.c_str(), FALSE, nullptr));
    stored = text;
}

void CComProgressDlg::SetLine1(const std::wstring& text)
{
    SetLine(1, text, m_line1);
}

void CComProgressDlg::SetLine2(const std::wstring& text)
{
    SetLine(2, text, m_line2);
}

void CComProgressDlg::SetProgress(uint64_t completed, uint64_t total)
{
    if (!m_dialog)
        return;
    HRESULT hr = m_dialog->SetProgress64(completed, total);
    if (hr != S_FALSE)
        QZL_CHECK_COM_RESULT(L"CComProgressDlg::SetProgress", hr);
}

void CComProgressDlg::StepProgress(uint64_t position, uint64_t newTotal)
{
    m_current = position;
    if (newTotal != KeepProgressTotal)
        m_total = newTotal;
    SetProgress(std::min(m_current, m_total), m_total);
    if (m_progressMessageId != 0)
        SetLine1(FormatProgressText());
}

StringW CComProgressDlg::FormatProgressText() const
{
    if (m_progressMessageId == 0)
        return StringW();
    // The step past the last item still reads the total as its position.
    StringW position = StringW::Format(L"%I64u...", std::min(m_current + 1, m_total));
    StringW total = StringW::Format(L"%I64u", m_total);
    return FormatLocalizedMessage(static_cast<int>(m_progressMessageId), position, total);
}

bool CComProgressDlg::IsCancelled()
{
    if (m_dialog)
        m_cancelled = m_dialog->HasUserCancelled() != FALSE;
    return m_cancelled;
}

void JoinUserCancelable(Os::CCancelableThreadPoolWork& work, IProgressDialog* dialog)
{
    if (dialog == nullptr) {
        if (work.GetThreadId() != ::GetCurrentThreadId())
            Os::WaitForObject(work.GetCompletionEvent(), DateTimeSpan());
        return;
    }
    HANDLE completion = work.GetCompletionEvent();
    DWORD result = WAIT_TIMEOUT;
    for (;;) {
        if (result == WAIT_TIMEOUT || result == WAIT_OBJECT_0 + 1 || result == WAIT_ABANDONED_0) {
            if (result == WAIT_ABANDONED_0)
                Logging::Log(Logging::Warning,
                             L"Wait call returned WAIT_ABANDONED; previous owner of waitable object abandoned it");
            Ui::PumpMessages();
            if (dialog->HasUserCancelled()) {
                work.Cancel();
                return;
            }
        } else if (result == WAIT_OBJECT_0) {
            return;
        } else {
            DWORD error = result == WAIT_FAILED ? ::GetLastError() : result;
            QZL_FATAL_EXIT(error == 0 ? 0xFFFFFFFF : error, L"JoinUserCancelable");
        }
        // The shell's dialog runs on a thread of its own: a click on its Cancel
        // button sends this thread nothing, so the answer is also asked for
        // at short intervals.
        result = ::MsgWaitForMultipleObjectsEx(1, &completion, CancelPollMilliseconds, QS_ALLINPUT, 0);
    }
}
