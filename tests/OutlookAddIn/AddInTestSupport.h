#pragma once
// The test add-in loaded into the stand-in Outlook, with its probe and log.

#include "AddInHost.h"
#include "RegistryTestSupport.h"
#include "TestAddIn.h"
#include "TestAddInProbe.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace QzlTest {

// Dispatches the thread's messages, thread messages too, until done() or ten
// seconds have passed; false when the time ran out.
bool PumpUntil(const std::function<bool()>& done);

// The product's own tests share its settings key and look for its message
// boxes by their caption anywhere on the display: a test that writes the
// family's settings or shows such boxes takes its turn with them.
std::unique_ptr<CNamedTestLock> TakeProductTurn();

} // namespace QzlTest

// Outlook items the windows show: a mail item (sent or being composed) and a
// folder of an item type (0 mail, 1 appointments, 6 posts).
QzlFake::CFakeRef MakeMailItem(bool sent);
QzlFake::CFakeRef MakeFolder(long defaultItemType);

// The HRESULT of the CComError the body raises; S_OK when it raises none.
template <class F>
HRESULT RaisedComError(F&& body)
{
    try {
        body();
    } catch (const Quenzal::CComError& e) {
        return e.GetHResult();
    }
    return S_OK;
}

class AddInTest : public ::testing::Test {
protected:
    AddInTest();
    void SetUp() override;
    void TearDown() override;

    // Loads the module again after it was unloaded; its probe is a new one.
    void ReloadAddIn();
    // What the add-in's module wrote to its log.
    std::string AddInLog() const { return QzlTest::ReadWholeFile(m_logPath); }
    // Outlook after the add-in has gone: no sink advised, no reference kept,
    // the module ready to unload.
    void ExpectOutlookReleased();

    QzlFake::CFakeOutlook outlook;
    QzlFake::CAddInHost host;
    TestAddInProbe* probe = nullptr;

private:
    Quenzal::StringW m_logPath;
};
