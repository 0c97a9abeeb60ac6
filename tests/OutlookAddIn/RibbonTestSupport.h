#pragma once
// The test add-in connected to a stand-in Outlook of a given version, with
// Office's ribbon asking it for its XML and calling its callbacks.

#include "AddInTestSupport.h"
#include "FakeRibbon.h"

#include <memory>

class RibbonTest : public AddInTest {
protected:
    void TearDown() override;
    // Connects to Outlook of that version and loads the ribbon ids.
    void ConnectOutlook(const wchar_t* version, std::initializer_list<const wchar_t*> ribbonIds = {});
    void Disconnect();

    std::unique_ptr<QzlFake::CFakeRibbonHost> ribbon;
};

// The document with the id that is new on every call (the backstage layout
// container's) made fixed, and without CR.
std::string NormalizedXml(std::string xml);
