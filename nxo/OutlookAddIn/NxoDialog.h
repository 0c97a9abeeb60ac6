#pragma once
// A modal dialog of the add-in over a template in the add-in's own module.
// The dialog procedure is the boundary no exception may cross: a derived
// class handles its own failures, and anything that still escapes is
// reported here and the message counts as handled.

#include "OsHelperObjects.h"

#include <windows.h>

class CNxoDialog {
public:
    explicit CNxoDialog(int templateId) : m_templateId(templateId) {}
    virtual ~CNxoDialog() = default;
    CNxoDialog(const CNxoDialog&) = delete;
    CNxoDialog& operator=(const CNxoDialog&) = delete;

    // IDOK, IDCANCEL or IDCLOSE; raises CWinError when the dialog cannot be made.
    INT_PTR DoModal(HWND parent);

protected:
    HWND GetWindow() const { return m_window; }
    HWND GetItem(int id) const { return ::GetDlgItem(m_window, id); }
    bool IsChecked(int id) const { return ::IsDlgButtonChecked(m_window, id) == BST_CHECKED; }
    void SetChecked(int id, bool checked) const { ::CheckDlgButton(m_window, id, checked ? BST_CHECKED : BST_UNCHECKED); }
    void EnableItem(int id, bool enabled) const { ::EnableWindow(GetItem(id), enabled ? TRUE : FALSE); }
    void EndDialog(INT_PTR result) const { ::EndDialog(m_window, result); }
    // Localizes every text and shows the maker's icon in the caption.
    void LocalizeAndSetIcon();
    // A message box over the dialog with the product's caption.
    int ShowMessage(const std::wstring& text, UINT type) const;

    virtual void OnInitDialog() = 0;
    // A button or notification; false leaves it to the default handling,
    // which ends the dialog with IDCANCEL or IDCLOSE.
    virtual bool OnCommand(WORD id, WORD code) = 0;
    virtual bool OnDrawItem(const DRAWITEMSTRUCT&) { return false; }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    int m_templateId;
    HWND m_window = nullptr;
    Quenzal::Os::CIcon m_icon;
};
