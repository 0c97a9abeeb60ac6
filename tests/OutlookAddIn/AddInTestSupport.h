#pragma once
// The test add-in loaded into the stand-in Outlook, with its probe and log.

#include "AddInHost.h"
#include "TestAddIn.h"
#include "TestAddInProbe.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace QzlTest {

// Dispatches the thread's messages, thread messages too, until done() or ten
// seconds have passed; false when the time ran out.
bool PumpUntil(const std::function<bool()>& done);

} // namespace QzlTest

class AddInTest : public ::testing::Test {
protected:
    AddInTest();
    void SetUp() override;
    void TearDown() override;

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
