#include "Exception.h"
#include "NetEncoding.h"

#include <gtest/gtest.h>

using namespace Quenzal;

TEST(HexDecode, DecodesBothCases)
{
    EXPECT_EQ(Net::HexDecode("0aFF"), std::string("\x0a\xff", 2));
    EXPECT_EQ(Net::HexDecode(""), "");
    EXPECT_EQ(Net::HexDecode("00"), std::string(1, '\0'));
}

TEST(HexDecode, RejectsOddLengthsAndForeignCharacters)
{
    for (const char* bad : {"0g", "abc", "0x", " 0", "g0"}) {
        try {
            Net::HexDecode(bad);
            FAIL() << bad;
        } catch (const CException& e) {
            EXPECT_EQ(e.GetDescription(), StringW(L"AtlHexDecode failed"));
        }
    }
}
