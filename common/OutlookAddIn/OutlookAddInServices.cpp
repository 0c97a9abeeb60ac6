// What the add-in tells about Outlook and itself: the active window, its
// COMAddIn entry, Outlook's version, the diagnostics written at connection,
// and the IOutlookAddIn members of the base.
#include "OutlookAddIn.h"

#include "CaughtException.h"
#include "DateTime.h"
#include "ErrorReport.h"
#include "Logging.h"
#include "OutlookAddInUtil.h"
#include "ResourceBuffer.h"
#include "SystemInfo.h"
#include "Ui.h"
#include "VersionInfo.h"

namespace Quenzal::OutlookAddIn {

HWND COutlookAddIn::GetActiveOutlookWindow()
{
    const wchar_t* function = L"Quenzal::OutlookAddIn::COutlookAddIn::GetActiveOutlookWindow";
    try {
        if (!m_application)
            QZL_THROW(function, CComError(E_POINTER));
        CDispatchObject window = m_application.GetDispatch(L"ActiveWindow");
        if (!window) {
            Logging::Log(Logging::Error, L"No active Outlook window exists");
            return nullptr;
        }
        return Ui::GetWindowHandleFromOleWindow(window.GetInterface());
    }
    QZL_CATCH_REPORT(function)
    return nullptr;
}

CDispatchObject COutlookAddIn::GetComAddIn()
{
    const wchar_t* function = L"Quenzal::OutlookAddIn::COutlookAddIn::GetComAddIn";
    if (!m_application)
        return CDispatchObject();
    try {
        StringW progId = GetProgId();
        CDispatchObject addIns = m_application.GetDispatch(L"COMAddIns");
        if (!addIns)
            QZL_THROW(function, CComError(E_POINTER, L"COMAddIns"));
        CDispatchObject entry = addIns.GetDispatch(L"Item", {_variant_t(progId.c_str())});
        if (!entry)
            Logging::Log(Logging::Error, L"Unable to retrieve COMAddIn from application's collection");
        return entry;
    }
    QZL_CATCH_REPORT(function)
    return CDispatchObject();
}

int COutlookAddIn::GetOutlookVersion()
{
    const wchar_t* function = L"Quenzal::OutlookAddIn::COutlookAddIn::GetOutlookVersion";
    try {
        if (!m_application)
            QZL_THROW(function, CComError(E_POINTER));
        return _wtoi(m_application.GetString(L"Version").c_str());
    }
    QZL_CATCH_REPORT(function)
    return 0;
}

void COutlookAddIn::LogAddInDiagnostics()
{
    Os::LogWindowsVersion();
    Logging::LogFormat(Logging::Debug, L"System timezone: %s (%s)",
                       FormatTimezoneBias(Os::GetSystemTimezoneBias()).c_str(), Os::GetSystemTimezoneName().c_str());
    if (!m_application)
        QZL_THROW(L"Quenzal::OutlookAddIn::COutlookAddIn::LogAddInDiagnostics",
                  CException(L"Outlook application not initialized"));
    Logging::LogFormat(Logging::Debug, L"Outlook version: %s", m_application.GetString(L"Version").c_str());
    if (IsOutlookClickToRun())
        Logging::Log(Logging::Warning, L"Outlook Click-to-Run detected");
}

void COutlookAddIn::LogExchangeConnectionMode()
{
    CDispatchObject session = m_application.GetDispatch(L"Session");
    if (!session)
        QZL_THROW(L"Quenzal::OutlookAddIn::COutlookAddIn::LogExchangeConnectionMode", CComError(E_POINTER, L"Session"));
    long mode = session.GetLong(L"ExchangeConnectionMode");
    Logging::Log(Logging::Debug, (L"Exchange connection mode: " + GetExchangeConnectionModeName(mode)).c_str());
}

int COutlookAddIn::GetMinimumOutlookVersion()
{
    // Outlook 2003.
    return 11;
}

Com::IDispatchPtr COutlookAddIn::GetComAddInObject()
{
    IDispatch* self = nullptr;
    HRESULT hr = QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&self));
    if (hr == E_NOINTERFACE)
        return Com::IDispatchPtr();
    QZL_CHECK_COM_RESULT(L"Quenzal::OutlookAddIn::COutlookAddIn::GetComAddInObject", hr);
    return Com::IDispatchPtr(self, false);
}

// Outlook 2010 and later have the backstage instead.
bool COutlookAddIn::ShouldAddPropertyPage()
{
    if (GetOutlookVersion() < 14)
        return true;
    Logging::Log(Logging::Trace, L"Outlook version is >= 2010; not adding property page");
    return false;
}

HRESULT COutlookAddIn::LockLog()
{
    return S_OK;
}

HRESULT COutlookAddIn::UnlockLog()
{
    return S_OK;
}

// The first three numbers of the module's file version.
HRESULT COutlookAddIn::GetVersion(BSTR* formatted)
{
    const wchar_t* function = L"Quenzal::OutlookAddIn::COutlookAddIn::GetVersion";
    try {
        if (formatted == nullptr)
            QZL_THROW(function, CComError(E_POINTER));
        std::vector<StringW> parts = Split(Os::GetModuleVersionString(Os::GetThisModule(), false), L'.');
        StringW text;
        for (size_t i = 0; i < parts.size() && i < 3; ++i)
            text.AppendFormat(i == 0 ? L"%d" : L".%d", _wtoi(parts[i].c_str()));
        *formatted = ::SysAllocString(text.c_str());
        if (*formatted == nullptr)
            QZL_THROW(function, CComError(E_OUTOFMEMORY));
        return S_OK;
    }
    QZL_CATCH_RETURN(function)
}

} // namespace Quenzal::OutlookAddIn
