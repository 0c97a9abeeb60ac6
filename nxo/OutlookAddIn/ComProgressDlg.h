#pragma once
// The shell's standard progress dialog for the long operations that run while
// the user waits (the whitelist scan, the upload of linked attachments): a
// title, two lines, an "n of m" text and the Cancel button. The cancel answer
// outlives the dialog, so that the owner can still ask after closing it.
//
// JoinUserCancelable lets the UI thread wait for pool work without freezing
// Outlook, and turns the dialog's Cancel into a cancel of the work.

#include "StringW.h"

#include <windows.h>
#include <shlobj.h>
#include <comdef.h>

#include <cstdint>
#include <optional>

namespace Quenzal::Os {
class CCancelableThreadPoolWork;
}

// {EBBC7C04-315E-11D2-B62F-006097DF5BD4}; mingw's __uuidof of it is no constant.
inline constexpr IID IidProgressDialog = {0xEBBC7C04, 0x315E, 0x11D2, {0xB6, 0x2F, 0x00, 0x60, 0x97, 0xDF, 0x5B, 0xD4}};
using IProgressDialogPtr = _com_ptr_t<_com_IIID<IProgressDialog, &IidProgressDialog>>;

// A total that StepProgress leaves as it was (the whitelist scan does not
// know its count in advance).
inline constexpr uint64_t KeepProgressTotal = 0xFFFFFFFFFFFFFFFFull;

class CComProgressDlg {
public:
    CComProgressDlg(const std::wstring& title, uint32_t progressMessageId, uint64_t total);
    ~CComProgressDlg();
    CComProgressDlg(const CComProgressDlg&) = delete;
    CComProgressDlg& operator=(const CComProgressDlg&) = delete;

    // Modal to the owner when there is one.
    void Show(HWND owner);
    void Close();
    // Only while shown; otherwise nothing changes.
    void SetLine1(const std::wstring& text);
    void SetLine2(const std::wstring& text);
    void SetProgress(uint64_t completed, uint64_t total);
    void StepProgress(uint64_t position, uint64_t newTotal);
    // "3... of 10" in the progress message's words.
    Quenzal::StringW FormatProgressText() const;
    bool IsCancelled();

    // Null unless shown.
    IProgressDialog* GetDialog() const { return m_dialog.GetInterfacePtr(); }

private:
    HWND GetDialogWindow() const;
    void SetLine(DWORD number, const std::wstring& text, Quenzal::StringW& stored);

    HWND m_owner = nullptr;
    bool m_ownerWasEnabled = false;
    IProgressDialogPtr m_dialog;
    Quenzal::StringW m_title;
    Quenzal::StringW m_line1;
    Quenzal::StringW m_line2;
    uint32_t m_progressMessageId;
    uint64_t m_total;
    uint64_t m_current = 0;
    std::optional<HCURSOR> m_previousCursor;
    bool m_cancelled = false;
};

// Waits for the work while pumping every window message. With a dialog, a
// Cancel there cancels the work and returns at once, without waiting for the
// work to notice; the answer is asked for after every message and every
// tenth of a second, because the shell's dialog lives on a thread of its own. Without one it simply waits, except on the work's own
// thread, where waiting would never end.
void JoinUserCancelable(Quenzal::Os::CCancelableThreadPoolWork& work, IProgressDialog* dialog);
