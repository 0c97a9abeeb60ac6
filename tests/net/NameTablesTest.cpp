#include "Guid.h"
#include "NameTables.h"
#include "Net.h"
#include "Registry.h"
#include "RegistryValues.h"

#include <gtest/gtest.h>

#include <regex>

using namespace Quenzal;
using namespace Quenzal::Net;

TEST(NameTables, LookupsIgnoreCaseButNotBlanks)
{
    EXPECT_EQ(GetHttpMethodTable().LookupValue(L"get"), HttpMethodGet);
    EXPECT_EQ(GetHttpMethodTable().LookupValue(L"gEt"), 2);
    EXPECT_EQ(GetHttpMethodTable().LookupValue(L" GET"), -1);
    EXPECT_EQ(GetHttpMethodTable().LookupValue(L"GE"), -1);
    EXPECT_EQ(GetHttpMethodTable().LookupValue(std::wstring(L"GET\0x", 5)), -1);
    EXPECT_EQ(GetHttpMethodTable().LookupName(HttpMethodPropfind), L"PROPFIND");
    EXPECT_EQ(GetConnectionOptionTable().LookupValue("Keep-Alive"), ConnectionOptionKeepAlive);
    EXPECT_EQ(GetCacheControlDirectiveTable().LookupName(CacheControlNoStore), "no-store");
    EXPECT_EQ(GetCacheControlDirectiveTable().LookupName(7), "");
}

TEST(NameTables, AliasesResolveToCanonicalNames)
{
    EXPECT_EQ(GetContentType(L"IMAGE/JPG"), ContentTypeImageJpeg);
    EXPECT_EQ(GetContentTypeName(45), L"image/jpeg");
    EXPECT_EQ(GetContentType(L"application/x-executable"), ContentTypeApplicationXMsdownload);
    EXPECT_EQ(GetContentTypeName(ContentTypeApplicationXMsdownload), L"application/x-msdownload");
    EXPECT_EQ(GetContentTypeName(1), L"");
    EXPECT_EQ(GetContentTypeName(-1), L"");
    EXPECT_EQ(GetContentTypeName(ContentTypeMultipartXQuenzalMapidata), L"multipart/x-quenzal-mapidata");
    EXPECT_EQ(GetContentType(L"text/plain; charset=utf-8"), -1);
}

TEST(NameTables, CodingTablesNumberDifferently)
{
    EXPECT_EQ(GetContentCodingTable().LookupValue(L"gzip"), 1);
    EXPECT_EQ(GetTransferCodingTable().LookupValue(L"gzip"), 2);
    EXPECT_EQ(GetTransferCodingTable().LookupName(TransferCodingChunked), L"chunked");
    EXPECT_EQ(GetContentCodingTable().LookupValue(L"chunked"), -1);
}

TEST(NameTables, MediaTypeOfTheTextBeforeTheSlash)
{
    EXPECT_EQ(GetMediaType(L"text/plain; charset=us-ascii"), MediaTypeText);
    EXPECT_EQ(GetMediaType(L"Multipart"), MediaTypeMultipart);
    EXPECT_EQ(GetMediaType(L""), -1);
    EXPECT_EQ(GetMediaType(L"/plain"), -1);
    EXPECT_EQ(GetMediaType(L"model/vrml"), -1);
}

TEST(NameTables, HttpStatusNames)
{
    EXPECT_EQ(GetHttpStatusName(302), L"OBJECT MOVED");
    EXPECT_EQ(GetHttpStatusName(301), L"UNIDENTIFIED ERROR");
    EXPECT_EQ(GetHttpStatusName(203), L"NON-AUTHORITATIVE INFORMATION");
    EXPECT_EQ(GetHttpStatusName(-1), L"UNIDENTIFIED ERROR");
}

TEST(FileExtensions, BuiltInTableComesFirst)
{
    EXPECT_EQ(GetContentTypeForFileExtension(L"txt"), L"text/plain");
    EXPECT_EQ(GetContentTypeForFileExtension(L"htm"), L"text/html");
    EXPECT_EQ(GetContentTypeForFileExtension(L"JPEG"), L"image/jpeg");
    EXPECT_EQ(GetContentTypeForFileExtension(L""), L"");
}

TEST(FileExtensions, OthersComeFromTheClassesRoot)
{
    StringW extension = StringW(L"qzl") + StringW(CreateGuidHexString()).substr(0, 8);
    StringW path = L"." + extension;
    {
        Os::CRegKeyHandle key = Os::CreateSubkey(HKEY_CLASSES_ROOT, path.c_str());
        Os::SetRegistryString(key.Get(), L"Content Type", L"application/x-quenzal-test");
    }
    StringW withoutDot = GetContentTypeForFileExtension(extension);
    StringW withDot = GetContentTypeForFileExtension(path);
    Os::DeleteRegistryKey(HKEY_CLASSES_ROOT, path.c_str());

    EXPECT_EQ(withoutDot, L"application/x-quenzal-test");
    EXPECT_EQ(withDot, L"application/x-quenzal-test");
    EXPECT_EQ(GetContentTypeForFileExtension(extension), L"");
}

TEST(FileExtensions, AnExtensionWithItsDotAsksOnlyTheRegistry)
{
    bool someDiffer = false;
    for (const wchar_t* extension : {L"csv", L"emf", L"gif", L"html", L"ics", L"jpg", L"eml", L"rtf", L"txt",
                                     L"vcf", L"wmf"}) {
        StringW withDot = L"." + StringW(extension);
        StringW registry = Os::TryGetRegistryString(HKEY_CLASSES_ROOT, withDot.c_str(), L"Content Type");
        EXPECT_EQ(GetContentTypeForFileExtension(withDot), registry) << withDot.ToUtf8();
        someDiffer = someDiffer || registry != GetContentTypeForFileExtension(extension);
    }
    EXPECT_TRUE(someDiffer);
}

TEST(NetText, EmailAddressesNeedTextAroundTheFirstAt)
{
    EXPECT_TRUE(IsEmailAddress(L"a@b"));
    EXPECT_TRUE(IsEmailAddress(L"user@example.com"));
    EXPECT_TRUE(IsEmailAddress(L"a@@"));
    EXPECT_FALSE(IsEmailAddress(L"@b"));
    EXPECT_FALSE(IsEmailAddress(L"ab@"));
    EXPECT_FALSE(IsEmailAddress(L"ab"));
    EXPECT_FALSE(IsEmailAddress(L""));
    EXPECT_FALSE(IsEmailAddress(L"/o=Org/cn=Recipients/cn=user"));
}

TEST(NetText, AsciiAndCodePageText)
{
    EXPECT_TRUE(IsAscii(L""));
    EXPECT_TRUE(IsAscii(L"plain \x7f"));
    EXPECT_FALSE(IsAscii(L"caf\x00e9"));
    EXPECT_EQ(ConvertToUnicode("caf\xc3\xa9", 65001), L"caf\x00e9");
    EXPECT_EQ(StringA("abcdef").Left(3), "abc");
    EXPECT_EQ(StringA("ab").Left(3), "ab");
    EXPECT_EQ(StringA::Format("%s_%02d", "x", 7), "x_07");
}

TEST(NetText, UniqueBoundariesNameTheHostAndANewGuid)
{
    std::string first = CreateUniqueBoundary();
    std::string second = CreateUniqueBoundary();
    EXPECT_TRUE(std::regex_match(first, std::regex("test_net_[0-9a-f]{32}"))) << first;
    EXPECT_NE(first, second);
}

TEST(BoundaryLines, MatchOnlyWholeDelimiterLines)
{
    const std::string delimiter = "--B";
    size_t matched = 0;
    auto find = [&](const std::string& data) { return FindBoundaryLine(data.data(), data.size(), delimiter, matched); };

    EXPECT_EQ(find("--B\r\nbody"), 0u);
    EXPECT_EQ(matched, 5u);
    EXPECT_EQ(find("x\n--B  \t\r\nbody"), 2u);
    EXPECT_EQ(matched, 8u);
    // Not at a line start, or followed by more than blanks: no delimiter line.
    EXPECT_EQ(find("x--B\r\n"), std::string::npos);
    EXPECT_EQ(find("\n--Bx\r\n"), std::string::npos);
    EXPECT_EQ(find("\n--B--\r\n"), std::string::npos);
    // The search goes on after a rejected match.
    EXPECT_EQ(find("--Bad\n--B\n"), 6u);
    EXPECT_EQ(matched, 4u);
    // The end of the buffer ends the line.
    EXPECT_EQ(find("a\n--B"), 2u);
    EXPECT_EQ(matched, 3u);
    EXPECT_EQ(find("a\n--B \r"), 2u);
    EXPECT_EQ(matched, 5u);
    EXPECT_EQ(find(std::string("--B\0rest", 8)), 0u);
    EXPECT_EQ(matched, 4u);
    EXPECT_EQ(find(""), std::string::npos);
    EXPECT_EQ(find("-"), std::string::npos);
}
