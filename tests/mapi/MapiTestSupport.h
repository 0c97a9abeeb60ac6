#pragma once
// The test MAPI provider as the MAPI tests use it: its copies beside the test
// program (bin/mapi-provider), and binding it in the test's own process.

#include "MapiFunctions.h"
#include "MapiProvider.h"
#include "Modules.h"
#include "Os.h"
#include "TestMapiProvider.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace QzlTest {

// The copy of that name ("olmapi32", "QzlMail"...); no name gives the folder.
inline Quenzal::StringW MapiProviderPath(const wchar_t* name = nullptr)
{
    auto folder = Quenzal::Os::GetDirectoryFromPath(Quenzal::Os::GetModulePath(nullptr)) + L"mapi-provider";
    return name != nullptr ? folder + L"\\" + name + L".dll" : folder;
}

// Binds the provider loaded as "olmapi32.dll", which the binding takes first,
// and gives its control, reset; logs on when asked for a session. Call it
// before anything binds.
inline QzlTestMapi::IControl* BindTestMapiProvider(IMAPISession** session = nullptr)
{
    ::LoadLibraryW(MapiProviderPath(L"olmapi32").c_str());
    HMODULE provider = Quenzal::Mapi::GetMapiModule();
    EXPECT_EQ(provider, ::GetModuleHandleW(L"olmapi32.dll"));
    QzlTestMapi::IControl* control = provider != nullptr ? QzlTestMapi::GetControl(provider) : nullptr;
    if (control != nullptr)
        control->Reset();
    if (session != nullptr && Quenzal::Mapi::MAPILogonEx(0, nullptr, nullptr, MAPI_EXTENDED, session) != S_OK)
        ADD_FAILURE() << "MAPILogonEx failed";
    return control;
}

// The result and description of the E that body raised.
template <class E, class F>
std::pair<HRESULT, Quenzal::StringW> RaisedAs(F&& body)
{
    try {
        body();
        ADD_FAILURE() << "no exception";
    } catch (const E& e) {
        return {e.GetHResult(), e.GetDescription()};
    }
    return {};
}

// Values to hand the provider, which copies them: the texts and bytes
// pointed at need to live only until then.
inline SPropValue Prop(ULONG tag, const char* text)
{
    SPropValue value = {tag, 0, {}};
    value.Value.lpszA = const_cast<char*>(text);
    return value;
}
inline SPropValue Prop(ULONG tag, const wchar_t* text)
{
    SPropValue value = {tag, 0, {}};
    value.Value.lpszW = const_cast<wchar_t*>(text);
    return value;
}
inline SPropValue BinaryProp(ULONG tag, const std::string& bytes)
{
    SPropValue value = {tag, 0, {}};
    value.Value.bin = {static_cast<ULONG>(bytes.size()), reinterpret_cast<LPBYTE>(const_cast<char*>(bytes.data()))};
    return value;
}
inline SPropValue MultiProp(ULONG tag, std::vector<const char*>& texts)
{
    SPropValue value = {tag, 0, {}};
    value.Value.MVszA = {static_cast<ULONG>(texts.size()), const_cast<LPSTR*>(texts.data())};
    return value;
}
using PropRow = std::vector<SPropValue>;
inline std::vector<SRow> Rows(std::vector<PropRow>& rows)
{
    std::vector<SRow> result;
    for (PropRow& row : rows)
        result.push_back({0, static_cast<ULONG>(row.size()), row.data()});
    return result;
}

} // namespace QzlTest
