// The cached whitelist in the add-in's real data folder: the file as other
// runs read it, the legacy import and the cache's appliance.

#include "CachedWhitelist.h"
#include "File.h"
#include "NxoTestSupport.h"
#include "Os.h"
#include "TestSupport.h"
#include "Uri.h"

#include <gtest/gtest.h>

using namespace Quenzal;
using NxoTest::CDataFolderTurn;

namespace {

void WriteFile(const std::wstring& path, const std::string& text)
{
    Os::CreateDirectoryByPath(Os::GetDirectoryFromPath(path));
    Os::WriteFileContents(path, text.data(), text.size());
}

Net::CUri Server(const char* text)
{
    Net::CUri uri;
    uri.Parse(text);
    return uri;
}

} // namespace

TEST(CachedWhitelist, AnOverlongLineIsSkippedWholeAndAdditionsSurviveARestart)
{
    CDataFolderTurn turn;
    const std::string longLine = std::string(100, 'a') + "@" + std::string(4899, 'b');
    WriteFile(CDataFolderTurn::WhitelistPath(), "a@x.com\r\n\r\n  B@y.com \r\n" + longLine + "\r\n");
    QzlTest::CLogCapture log;
    {
        CCachedWhitelist cache;
        EXPECT_EQ(cache.GetAddresses(), (CCachedWhitelist::AddressSet{"a@x.com", "B@y.com"}));
        EXPECT_EQ(QzlTest::CountOf(log.Text(), "Invalid address found in cached whitelist: "), 2u);

        EXPECT_TRUE(cache.AddAddressToWhitelist("  new+one@z.org\t"));
        EXPECT_FALSE(cache.AddAddressToWhitelist("NEW+ONE@Z.ORG"));
        EXPECT_TRUE(log.Contains("Address already in whitelist: NEW+ONE@Z.ORG"));
        EXPECT_FALSE(cache.AddAddressToWhitelist(" no-at-sign "));
        EXPECT_TRUE(log.Contains("Attempt to add invalid address to whitelist: no-at-sign"));
    }
    const std::string file = QzlTest::ReadWholeFile(CDataFolderTurn::WhitelistPath());
    EXPECT_EQ(file.substr(file.size() - 17), "\r\nnew+one@z.org\r\n") << "appended, trimmed, CR LF";
    CCachedWhitelist restarted;
    EXPECT_EQ(restarted.GetAddresses().size(), 3u);
    EXPECT_TRUE(restarted.Contains("New+One@Z.org"));
}

TEST(CachedWhitelist, LegacyFileMovedOnlyWhenThereIsNoCurrentOneAndAnUnreadableFileIsReported)
{
    CDataFolderTurn turn;
    const StringW legacy = Os::CombinePath(CDataFolderTurn::LegacyFolder(), L"whitelist.txt");
    WriteFile(legacy, "old@legacy.com\r\n");
    EXPECT_TRUE(CCachedWhitelist().Contains("old@legacy.com"));
    EXPECT_EQ(Os::GetFileAttributes(CDataFolderTurn::LegacyFolder()), INVALID_FILE_ATTRIBUTES);
    WriteFile(legacy, "other@legacy.com\r\n");
    EXPECT_FALSE(CCachedWhitelist().Contains("other@legacy.com"));
    EXPECT_EQ(QzlTest::ReadWholeFile(legacy), "other@legacy.com\r\n");

    // Another program holds the file, sharing only its deletion: what it
    // stores is there again at the next start.
    Os::CHandle held(::CreateFileW(CDataFolderTurn::WhitelistPath().c_str(), GENERIC_READ, FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
    QzlTest::CLogCapture log;
    CCachedWhitelist cache;
    EXPECT_TRUE(cache.GetAddresses().empty());
    EXPECT_TRUE(log.Contains("Unable to load whitelist: Failure during CRT call"));
    EXPECT_FALSE(cache.AddAddressToWhitelist("b@y.com")) << "nor can it be written";
    held.Close();
    EXPECT_TRUE(CCachedWhitelist().Contains("old@legacy.com"));
}

TEST(CachedWhitelist, AnotherApplianceEmptiesTheCache)
{
    CDataFolderTurn turn;
    // A cache from before its appliance was recorded belongs to the first one bound.
    WriteFile(CDataFolderTurn::WhitelistPath(), "a@x.com\r\n");
    {
        CCachedWhitelist cache;
        cache.BindToAppliance(Server("https://Appliance.example:443/"));
        cache.BindToAppliance(Server("https://appliance.EXAMPLE/cgi-mod/mark.cgi"));
        EXPECT_TRUE(cache.Contains("a@x.com")) << "the same server";
    }
    CCachedWhitelist cache;
    cache.BindToAppliance(Server("https://appliance.example:8443"));
    EXPECT_TRUE(cache.GetAddresses().empty());
    EXPECT_EQ(Os::GetFileAttributes(CDataFolderTurn::WhitelistPath()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(cache.AddAddressToWhitelist("b@y.com"));
    CCachedWhitelist restarted;
    restarted.BindToAppliance(Server("https://appliance.example:8443"));
    EXPECT_TRUE(restarted.Contains("b@y.com"));
}

TEST(CachedWhitelist, ControlCharactersNeverReachTheFileAndABadLineEndsNoRead)
{
    CDataFolderTurn turn;
    QzlTest::CLogCapture log;
    using namespace std::string_literals;
    WriteFile(CDataFolderTurn::WhitelistPath(),
              "ctrl-z\x1A@x.com\r\nnul@x.com\0tail\r\ncr@x.com\rlf@x.com\r\nfirst@x.com\r\n"s);
    {
        CCachedWhitelist cache;
        for (const std::string& hostile : {"z\x1A@x.com"s, "cr@x.com\r\nlf@x.com"s, "nul@x.com\0x"s, "del\x7F@x.com"s,
                                           std::string(249, 'o') + "@x.com"})
            EXPECT_FALSE(cache.AddAddressToWhitelist(hostile));
        EXPECT_TRUE(cache.AddAddressToWhitelist("later@x.com"));
        EXPECT_TRUE(cache.AddAddressToWhitelist(std::string(248, 'o') + "@x.com"));
    }
    CCachedWhitelist restarted;
    EXPECT_EQ(restarted.GetAddresses(),
              (CCachedWhitelist::AddressSet{"first@x.com", "later@x.com", std::string(248, 'o') + "@x.com"}));
    EXPECT_TRUE(log.Contains("to whitelist: cr@x.com??lf@x.com\r\n"));
}
