#pragma once
// The add-in module's registration: what DllRegisterServer writes for the
// add-in's class, its type library and Outlook's add-in entry, and what
// DllUnregisterServer takes away again.

#include "ComRegistrar.h"

#include <string>

inline constexpr const wchar_t* NxoModuleFileName = L"NxoOutlookAddIn.dll";
inline constexpr const wchar_t* NxoAddInProgId = L"Quenzal.NxoOutlookAddIn";
inline constexpr const wchar_t* NxoOutlookAddInsPath = L"Software\\Microsoft\\Office\\Outlook\\Addins\\";

// The registry table of the module at that path.
Quenzal::OutlookAddIn::CComRegistrar MakeNxoRegistrar(const std::wstring& modulePath);
HRESULT RegisterNxoModule(const std::wstring& modulePath);
HRESULT UnregisterNxoModule(const std::wstring& modulePath);
