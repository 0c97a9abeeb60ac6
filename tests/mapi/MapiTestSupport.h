#pragma once
// The test MAPI provider as the MAPI tests use it: its copies beside the test
// program (bin/mapi-provider), and binding it in the test's own process.

#include "MapiFunctions.h"
#include "MapiProvider.h"
#include "MapiSession.h"
#include "Modules.h"
#include "Os.h"
#include "TestMapiProvider.h"

#include <gtest/gtest.h>

#include <utility>

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

// The provider logged on, its session held as the add-in holds it; at the
// end every object it handed out has been released.
class CMapiProviderTest : public ::testing::Test {
protected:
    QzlTestMapi::IControl* control = nullptr;
    Quenzal::Mapi::IMAPISessionPtr session;

    void SetUp() override
    {
        IMAPISession* raw = nullptr;
        control = BindTestMapiProvider(&raw);
        ASSERT_NE(control, nullptr);
        session.Attach(raw);
        Quenzal::Mapi::GetMapiSession().Set(session.GetInterfacePtr());
    }
    void TearDown() override
    {
        Quenzal::Mapi::GetMapiSession().Clear();
        session = nullptr;
        EXPECT_EQ(control->GetLiveObjects(), 0);
        EXPECT_EQ(control->GetForeignFrees(), 0);
    }
    Quenzal::Mapi::IMessagePtr Message(QzlTestMapi::PropRow values, std::vector<QzlTestMapi::PropRow> recipients = {})
    {
        return Quenzal::Mapi::IMessagePtr(control->CreateMessage(std::move(values), std::move(recipients)), false);
    }
};

} // namespace QzlTest
