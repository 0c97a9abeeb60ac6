#pragma once
// Another member of the add-in family as its own module answers through
// COMAddIn.Object: the family's IOutlookAddIn with a log path, a version and
// the answer to Configure.

#include "FakeObject.h"
#include "OutlookAddInInterfaces.h"

#include <string>

class CFamilyMemberStandIn : public QzlFake::CFakeObject, public IOutlookAddIn {
public:
    std::wstring logPath;
    std::wstring version = L"4.2.0";
    HRESULT configureResult = S_OK;
    int configures = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (object != nullptr && iid == __uuidof(IOutlookAddIn)) {
            *object = static_cast<IOutlookAddIn*>(this);
            AddRef();
            return S_OK;
        }
        return CFakeObject::QueryInterface(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return CFakeObject::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return CFakeObject::Release(); }

    HRESULT STDMETHODCALLTYPE GetLogPath(BSTR* path) override { return Answer(logPath, path); }
    HRESULT STDMETHODCALLTYPE LockLog() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UnlockLog() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetVersion(BSTR* text) override { return Answer(version, text); }
    HRESULT STDMETHODCALLTYPE Configure(HWND) override
    {
        configures++;
        return configureResult;
    }

private:
    static HRESULT Answer(const std::wstring& value, BSTR* out)
    {
        *out = ::SysAllocString(value.c_str());
        return S_OK;
    }
};
