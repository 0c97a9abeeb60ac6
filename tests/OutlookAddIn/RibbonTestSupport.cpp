#include "RibbonTestSupport.h"

#include <algorithm>
#include <regex>

void RibbonTest::TearDown()
{
    ribbon.reset();
    AddInTest::TearDown();
}

void RibbonTest::ConnectOutlook(const wchar_t* version, std::initializer_list<const wchar_t*> ribbonIds)
{
    outlook.application->Value(L"Version") = version;
    ASSERT_EQ(S_OK, host.Connect(ext_cm_Startup));
    ribbon = std::make_unique<QzlFake::CFakeRibbonHost>(host.GetAddIn());
    for (const wchar_t* id : ribbonIds)
        EXPECT_EQ(S_OK, ribbon->Load(id));
}

void RibbonTest::Disconnect()
{
    ribbon.reset();
    EXPECT_EQ(S_OK, host.Disconnect());
    host.Load();
}

std::string NormalizedXml(std::string xml)
{
    xml = std::regex_replace(xml, std::regex("\"Control[0-9a-f]{32}\""), "\"Control{new GUID}\"");
    xml.erase(std::remove(xml.begin(), xml.end(), '\r'), xml.end());
    return xml;
}
