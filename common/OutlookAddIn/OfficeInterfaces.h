#pragma once
// Our own declarations of the Office and Outlook interfaces that an add-in
// implements and Office calls through their virtual tables: the add-in
// connection interface, ribbon extensibility and Outlook's options page. Everything else of Outlook and Office is
// reached by name through IDispatch (DispatchObject.h); its interface ids and
// event numbers are in OutlookIds.h.

#include <oaidl.h>

// How Outlook loaded the add-in (OnConnection).
enum ext_ConnectMode {
    ext_cm_AfterStartup = 0,
    ext_cm_Startup = 1,
    ext_cm_External = 2,
    ext_cm_CommandLine = 3,
};

// Why Outlook unloads it (OnDisconnection).
enum ext_DisconnectMode {
    ext_dm_HostShutdown = 0,
    ext_dm_UserClosed = 1,
};

// {B65AD801-ABAF-11D0-BB8B-00A0C90F2744}
MIDL_INTERFACE("B65AD801-ABAF-11D0-BB8B-00A0C90F2744")
_IDTExtensibility2 : public IDispatch
{
public:
    virtual HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application, ext_ConnectMode connectMode,
                                                   IDispatch* addInInstance, SAFEARRAY** custom) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnDisconnection(ext_DisconnectMode removeMode, SAFEARRAY** custom) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY** custom) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY** custom) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY** custom) = 0;
};
__CRT_UUID_DECL(_IDTExtensibility2, 0xB65AD801, 0xABAF, 0x11D0, 0xBB, 0x8B, 0x00, 0xA0, 0xC9, 0x0F, 0x27, 0x44)

// {000C0396-0000-0000-C000-000000000046}; the slot carries the name the
// type-library wrappers give it.
MIDL_INTERFACE("000C0396-0000-0000-C000-000000000046")
IRibbonExtensibility : public IDispatch
{
public:
    virtual HRESULT STDMETHODCALLTYPE raw_GetCustomUI(BSTR ribbonId, BSTR* ribbonXml) = 0;
};
__CRT_UUID_DECL(IRibbonExtensibility, 0x000C0396, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46)

// {0006307E-0000-0000-C000-000000000046}: a page of Outlook's Options dialog.
// Outlook asks it whether it has changes (Dirty) and applies them (Apply)
// when the user confirms the dialog.
MIDL_INTERFACE("0006307E-0000-0000-C000-000000000046")
PropertyPage : public IDispatch
{
public:
    virtual HRESULT STDMETHODCALLTYPE GetPageInfo(BSTR* helpFile, long* helpContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Dirty(VARIANT_BOOL* dirty) = 0;
    virtual HRESULT STDMETHODCALLTYPE Apply() = 0;
};
__CRT_UUID_DECL(PropertyPage, 0x0006307E, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46)
