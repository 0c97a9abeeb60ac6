#include "ComRegistrar.h"

#include "ErrorReport.h"
#include "Guid.h"
#include "ModuleTypeInfo.h"
#include "Registry.h"
#include "RegistryKey.h"
#include "RegistryValues.h"

#include <oleauto.h>

#include <algorithm>
#include <exception>

namespace Quenzal::OutlookAddIn {

StringW GuidToString(const GUID& guid)
{
    std::string text = Guid::ToString(guid);
    return StringW(std::wstring(text.begin(), text.end()));
}

void CComRegistrar::AddInprocClass(const CLSID& clsid, const std::wstring& progId,
                                   const std::wstring& versionedProgId, const std::wstring& description,
                                   const std::wstring& modulePath, const std::wstring& threadingModel,
                                   const GUID* typeLibrary)
{
    const std::wstring classId = GuidToString(clsid);
    const std::wstring classKey = L"CLSID\\" + classId;
    Add({HKEY_CLASSES_ROOT, versionedProgId, {{nullptr, description}}});
    Add({HKEY_CLASSES_ROOT, versionedProgId + L"\\CLSID", {{nullptr, classId}}});
    Add({HKEY_CLASSES_ROOT, progId, {{nullptr, description}}});
    Add({HKEY_CLASSES_ROOT, progId + L"\\CLSID", {{nullptr, classId}}});
    Add({HKEY_CLASSES_ROOT, progId + L"\\CurVer", {{nullptr, versionedProgId}}});
    Add({HKEY_CLASSES_ROOT, classKey, {{nullptr, description}}});
    Add({HKEY_CLASSES_ROOT, classKey + L"\\ProgID", {{nullptr, versionedProgId}}});
    Add({HKEY_CLASSES_ROOT, classKey + L"\\VersionIndependentProgID", {{nullptr, progId}}});
    Add({HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32",
         {{nullptr, modulePath}, {L"ThreadingModel", threadingModel}}});
    if (typeLibrary != nullptr) {
        Add({HKEY_CLASSES_ROOT, classKey + L"\\Programmable", {}});
        Add({HKEY_CLASSES_ROOT, classKey + L"\\TypeLib", {{nullptr, GuidToString(*typeLibrary)}}});
    }
}

void CComRegistrar::Register() const
{
    for (const RegistrarKey& entry : m_keys) {
        Os::CRegKeyHandle key = Os::CreateSubkey(entry.root, entry.path.c_str());
        for (const RegistrarValue& value : entry.values) {
            if (const auto* text = std::get_if<std::wstring>(&value.data))
                Os::SetRegistryString(key.Get(), value.name, *text);
            else
                Os::SetRegistryDword(key.Get(), value.name, std::get<DWORD>(value.data));
        }
    }
}

namespace {

bool IsKeyEmpty(HKEY root, const std::wstring& path)
{
    Os::CRegistryKey key;
    DWORD subkeys = 0, values = 0;
    return key.TryOpen(root, path.c_str(), KEY_READ) &&
           ::RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                              nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

} // namespace

void CComRegistrar::Unregister() const
{
    // Other software may have added keys below ours; one key that cannot go
    // keeps none of the others back, and the first failure is raised at the end.
    std::exception_ptr failure;
    std::for_each(m_keys.rbegin(), m_keys.rend(), [&failure](const RegistrarKey& entry) {
        try {
            if (!entry.shared)
                Os::DeleteRegistryTree(entry.root, entry.path.c_str());
            else if (IsKeyEmpty(entry.root, entry.path))
                Os::DeleteEmptyRegistryKey(entry.root, entry.path.c_str());
        } catch (const CException&) {
            if (!failure)
                failure = std::current_exception();
        }
    });
    if (failure)
        std::rethrow_exception(failure);
}

namespace {

struct TypeLibraryHolder {
    ITypeLib* library = nullptr;
    ~TypeLibraryHolder()
    {
        if (library != nullptr)
            library->Release();
    }
};

bool IsTypeLibraryRegistered(const TLIBATTR& library)
{
    BSTR registeredPath = nullptr;
    if (FAILED(::QueryPathOfRegTypeLib(library.guid, library.wMajorVerNum, library.wMinorVerNum, library.lcid,
                                       &registeredPath)))
        return false;
    ::SysFreeString(registeredPath);
    return true;
}

// The keys that the library's registration wrote: its own, and those of its
// interfaces that name it.
CComRegistrar GetTypeLibraryKeys(ITypeLib* library, const GUID& libraryId)
{
    const StringW id = GuidToString(libraryId);
    CComRegistrar keys;
    keys.Add({HKEY_CLASSES_ROOT, L"TypeLib\\" + id, {}});
    for (UINT index = 0; index < library->GetTypeInfoCount(); ++index) {
        ITypeInfoPtr info;
        TYPEATTR* attributes = nullptr;
        if (FAILED(library->GetTypeInfo(index, &info)) || FAILED(info->GetTypeAttr(&attributes)))
            continue;
        const bool isInterface = attributes->typekind == TKIND_INTERFACE || attributes->typekind == TKIND_DISPATCH;
        const std::wstring key = L"Interface\\" + GuidToString(attributes->guid);
        info->ReleaseTypeAttr(attributes);
        if (isInterface &&
            _wcsicmp(Os::TryGetRegistryString(HKEY_CLASSES_ROOT, (key + L"\\TypeLib").c_str(), nullptr).c_str(),
                     id.c_str()) == 0)
            keys.Add({HKEY_CLASSES_ROOT, key, {}});
    }
    return keys;
}

} // namespace

void RegisterModuleTypeLibrary(const std::wstring& modulePath)
{
    TypeLibraryHolder holder;
    QZL_CHECK_COM_RESULT(QZL_FUNCTION, ::LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, &holder.library));
    std::wstring folder = modulePath.substr(0, modulePath.find_last_of(L'\\'));
    std::wstring path = modulePath;
    QZL_CHECK_COM_RESULT(QZL_FUNCTION, ::RegisterTypeLib(holder.library, path.data(), folder.data()));
}

void UnregisterModuleTypeLibrary(const std::wstring& modulePath)
{
    TypeLibraryHolder holder;
    QZL_CHECK_COM_RESULT(QZL_FUNCTION, ::LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, &holder.library));
    TLIBATTR* attributes = nullptr;
    QZL_CHECK_COM_RESULT(QZL_FUNCTION, holder.library->GetLibAttr(&attributes));
    TLIBATTR copy = *attributes;
    holder.library->ReleaseTLibAttr(attributes);
    // Taking away what is not there leaves the registry as wanted.
    if (!IsTypeLibraryRegistered(copy))
        return;
    const CComRegistrar keys = GetTypeLibraryKeys(holder.library, copy.guid);
    HRESULT hr = ::UnRegisterTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid, copy.syskind);
    // The system leaves a key below which other software added keys; what it
    // left goes here with all below it. Its own failure counts only when the
    // library is still registered after that.
    keys.Unregister();
    if (FAILED(hr) && IsTypeLibraryRegistered(copy))
        QZL_CHECK_COM_RESULT(QZL_FUNCTION, hr);
}

} // namespace Quenzal::OutlookAddIn
