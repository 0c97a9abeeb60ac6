#pragma once
// The platform's Extended MAPI declarations, completed with what mingw-w64's
// headers lack: three result codes, the hard-delete flag, the SMTP and proxy
// address tags, the named-property sets the layer reads and writes, the MSI
// lookup of the system's MAPI stub, and interface ids for __uuidof.
//
// The layer binds the provider at run time (MapiFunctions.h): call the flat
// functions there qualified (Mapi::HrGetOneProp), because the global
// declarations below would make an unqualified call ambiguous.

#include <windows.h>

#include <mapicode.h>
#include <mapidefs.h>
#include <mapitags.h>
#include <mapiutil.h>
#include <mapix.h>

#ifndef MAPI_E_STORE_FULL
#define MAPI_E_STORE_FULL MAKE_MAPI_E(0x60C)
#endif
#ifndef MAPI_E_RECONNECTED
#define MAPI_E_RECONNECTED MAKE_MAPI_E(0x125)
#endif
#ifndef MAPI_E_OFFLINE
#define MAPI_E_OFFLINE MAKE_MAPI_E(0x126)
#endif

// IMAPIFolder::DeleteMessages: delete without moving to Deleted Items.
#ifndef DELETE_HARD_DELETE
#define DELETE_HARD_DELETE ((ULONG)0x00000010)
#endif

#ifndef PR_SMTP_ADDRESS_A
#define PR_SMTP_ADDRESS_A PROP_TAG(PT_STRING8, 0x39FE)
#define PR_SMTP_ADDRESS_W PROP_TAG(PT_UNICODE, 0x39FE)
#endif
#ifndef PR_EMS_AB_PROXY_ADDRESSES_A
#define PR_EMS_AB_PROXY_ADDRESSES_A PROP_TAG(PT_MV_STRING8, 0x800F)
#define PR_EMS_AB_PROXY_ADDRESSES_W PROP_TAG(PT_MV_UNICODE, 0x800F)
#endif

// The mail client's path from its Windows Installer component, answered by
// the system's MAPI stub (mapi32.dll or mapistub.dll).
typedef BOOL(STDAPICALLTYPE FGETCOMPONENTPATH)(LPSTR component, LPSTR qualifier, LPSTR dllPath, DWORD dllPathSize,
                                               BOOL install);
typedef FGETCOMPONENTPATH* LPFGETCOMPONENTPATH;

// Named properties that become internet headers when a message is sent.
inline constexpr GUID PS_INTERNET_HEADERS = {0x00020386, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// Named properties of contacts (their e-mail addresses).
inline constexpr GUID PSETID_Address = {0x00062004, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

#define QZL_MAPI_UUID(type, id) __CRT_UUID_DECL(type, id, 0x0000, 0x0000, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)
QZL_MAPI_UUID(IMAPISession, 0x00020300)
QZL_MAPI_UUID(IMAPITable, 0x00020301)
QZL_MAPI_UUID(IMAPIAdviseSink, 0x00020302)
QZL_MAPI_UUID(IMAPIProp, 0x00020303)
QZL_MAPI_UUID(IMessage, 0x00020307)
QZL_MAPI_UUID(IMailUser, 0x0002030A)
QZL_MAPI_UUID(IMAPIContainer, 0x0002030B)
QZL_MAPI_UUID(IMAPIFolder, 0x0002030C)
#undef QZL_MAPI_UUID
