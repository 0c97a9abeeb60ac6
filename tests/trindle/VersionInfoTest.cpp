#include "ErrorReport.h"
#include "Modules.h"
#include "TestLibrary.h"
#include "TestSupport.h"
#include "VersionInfo.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace Quenzal;
using namespace Quenzal::Os;
using QzlTest::CLogCapture;
using QzlTest::CTemporaryFile;

namespace {

// Builds the binary form of a version resource, node by node, so that tests
// can make the malformed ones a resource compiler never writes.
struct VersionNode {
    std::wstring key;
    std::string value;
    WORD valueLength = 0;
    WORD type = 1;
    std::vector<VersionNode> children;

    std::string Bytes() const
    {
        std::string out(6, '\0');
        out.append(reinterpret_cast<const char*>(key.c_str()), (key.size() + 1) * sizeof(wchar_t));
        out.resize((out.size() + 3) & ~size_t(3), '\0');
        out += value;
        out.resize((out.size() + 3) & ~size_t(3), '\0');
        for (const VersionNode& child : children)
            out += child.Bytes();
        WORD header[3] = {static_cast<WORD>(out.size()), valueLength, type};
        memcpy(out.data(), header, sizeof(header));
        return out;
    }
};

VersionNode Text(const wchar_t* name, const wchar_t* text)
{
    std::wstring value(text);
    return {name, std::string(reinterpret_cast<const char*>(value.c_str()), (value.size() + 1) * sizeof(wchar_t)),
            static_cast<WORD>(value.size() + 1), 1, {}};
}

VersionNode Translations(std::vector<WORD> words)
{
    std::string value(reinterpret_cast<const char*>(words.data()), words.size() * sizeof(WORD));
    return {L"Translation", value, static_cast<WORD>(value.size()), 0, {}};
}

VersionNode Resource(std::vector<std::pair<const wchar_t*, std::vector<VersionNode>>> tables,
                     std::vector<VersionNode> vars)
{
    VS_FIXEDFILEINFO fixed = {};
    fixed.dwSignature = 0xFEEF04BD;
    fixed.dwStrucVersion = 0x10000;
    VersionNode root{L"VS_VERSION_INFO", std::string(reinterpret_cast<const char*>(&fixed), sizeof(fixed)),
                     sizeof(fixed), 0, {}};
    VersionNode strings{L"StringFileInfo", "", 0, 1, {}};
    for (auto& table : tables)
        strings.children.push_back({table.first, "", 0, 1, std::move(table.second)});
    root.children.push_back(strings);
    if (!vars.empty())
        root.children.push_back({L"VarFileInfo", "", 0, 1, std::move(vars)});
    return root;
}

// A copy of the test library whose only resource is the given version resource
// (none when the bytes are empty).
StringW LibraryWithVersion(const std::string& bytes)
{
    StringW path = QzlTest::UniqueTempPath(L"qzlver") + L".dll";
    EXPECT_TRUE(CopyFileW(QzlTest::TestLibraryPath().c_str(), path.c_str(), FALSE));
    HANDLE update = BeginUpdateResourceW(path.c_str(), TRUE);
    EXPECT_NE(update, nullptr);
    if (!bytes.empty()) {
        EXPECT_TRUE(UpdateResourceW(update, RT_VERSION, MAKEINTRESOURCEW(1), 0x409, const_cast<char*>(bytes.data()),
                                    static_cast<DWORD>(bytes.size())));
    }
    EXPECT_TRUE(EndUpdateResourceW(update, FALSE));
    return path;
}

std::string StandardVersion(std::vector<VersionNode> strings)
{
    return Resource({{L"040904b0", std::move(strings)}}, {Translations({0x409, 1200})}).Bytes();
}

} // namespace

TEST(VersionInfo, ReadsAllSixEntries)
{
    VersionInfo info = GetVersionInfo(QzlTest::TestLibraryPath().c_str());
    EXPECT_EQ(info.ProductName, StringW(L"Quenzal Test Library"));
    EXPECT_EQ(info.ProductVersion, StringW(L"4.3"));
    EXPECT_EQ(info.FileVersion, StringW(L"4.3.2.1"));
    EXPECT_EQ(info.CommitHash, StringW(L" 0a1b:2c3d "));
    EXPECT_EQ(info.CommitDate, StringW(L"2021-02-03"));
    EXPECT_EQ(info.BuildDate, StringW(L"2021-02-04 05:06"));
}

TEST(VersionInfo, VersionLineWithAndWithoutDetails)
{
    StringW path = QzlTest::TestLibraryPath();
    EXPECT_EQ(FormatVersionString(path.c_str(), false), StringW(L"4.3.2.1"));
    EXPECT_EQ(FormatVersionString(path.c_str(), true),
              StringW(L"4.3.2.1 (x64), built from  0a1b:2c3d  at 2021-02-04 05:06"));
    CModule module = LoadModule(path.c_str());
    EXPECT_EQ(GetModuleVersionString(module.Get(), true), FormatVersionString(path.c_str(), true));
    EXPECT_EQ(GetModuleVersionString(module.Get(), false), StringW(L"4.3.2.1"));
}

TEST(VersionInfo, BuildDetailsNeedAllThreeEntries)
{
    CTemporaryFile noHash(LibraryWithVersion(StandardVersion({Text(L"FileVersion", L"1.0")})));
    EXPECT_EQ(FormatVersionString(noHash.c_str(), true), StringW(L"1.0 (x64)"));
    EXPECT_EQ(FormatVersionString(noHash.c_str(), false), StringW(L"1.0"));

    // The commit date is only tested, never shown.
    CTemporaryFile noDate(LibraryWithVersion(StandardVersion(
        {Text(L"FileVersion", L"1.0"), Text(L"CommitHash", L"abc"), Text(L"BuildDate", L"today")})));
    EXPECT_EQ(FormatVersionString(noDate.c_str(), true), StringW(L"1.0 (x64)"));

    CTemporaryFile noFileVersion(LibraryWithVersion(StandardVersion({Text(L"ProductName", L"P")})));
    EXPECT_EQ(FormatVersionString(noFileVersion.c_str(), false), StringW());
    EXPECT_EQ(FormatVersionString(noFileVersion.c_str(), true), StringW(L" (x64)"));
    VersionInfo info = GetVersionInfo(noFileVersion.c_str());
    EXPECT_EQ(info.ProductName, StringW(L"P"));
    EXPECT_TRUE(info.FileVersion.empty());
    EXPECT_TRUE(info.BuildDate.empty());
}

TEST(VersionInfo, FirstTranslationChoosesTheStringTable)
{
    CTemporaryFile file(LibraryWithVersion(
        Resource({{L"040904b0", {Text(L"FileVersion", L"english")}}, {L"040704e4", {Text(L"FileVersion", L"german")}}},
                 {Translations({0x407, 1252, 0x409, 1200})})
            .Bytes()));
    EXPECT_EQ(GetVersionInfo(file.c_str()).FileVersion, StringW(L"german"));
}

TEST(VersionInfo, FileWithoutVersionResourceIsAnError)
{
    CTemporaryFile file(LibraryWithVersion(""));
    try {
        GetVersionInfo(file.c_str());
        FAIL();
    } catch (const CWinError& e) {
        EXPECT_EQ(e.GetContext(), file.Path());
    }
    EXPECT_THROW(GetVersionInfo((QzlTest::TempDirectory() + L"QzlNoSuchFile.dll").c_str()), CWinError);
}

TEST(VersionInfo, ResourceWithoutTranslationBlockIsAnError)
{
    CTemporaryFile file(LibraryWithVersion(Resource({{L"040904b0", {Text(L"FileVersion", L"1.0")}}}, {}).Bytes()));
    EXPECT_THROW(GetVersionInfo(file.c_str()), CWinError);
}

TEST(VersionInfo, TranslationBlockOfBadLengthIsRefused)
{
    for (std::vector<WORD> words : {std::vector<WORD>{}, std::vector<WORD>{0x409, 1200, 7}}) {
        CTemporaryFile file(
            LibraryWithVersion(Resource({{L"040904b0", {Text(L"FileVersion", L"1.0")}}}, {Translations(words)}).Bytes()));
        CLogCapture log;
        try {
            GetVersionInfo(file.c_str());
            FAIL() << words.size();
        } catch (const CWinError& e) {
            FAIL() << e.what();
        } catch (const CException& e) {
            EXPECT_EQ(e.GetDescription(), StringW(L"Unable to retrieve translations from version resource"));
        }
        EXPECT_TRUE(log.Contains("Throwing exception at VersionInfo.cpp, Quenzal::Os::GetVersionInfo, line "));
    }
}

TEST(VersionInfo, HostVersionIsWorkedOutOnceAndNeverThrows)
{
    // The test executable carries no version resource.
    StringW first = GetHostVersionString();
    EXPECT_TRUE(first.empty());
    CLogCapture log;
    EXPECT_EQ(GetHostVersionString(), first);
    EXPECT_EQ(log.Text(), "");
}

TEST(VersionInfo, HostApplicationRecord)
{
    HostApplicationInfo info = GetHostApplicationInfo();
    EXPECT_EQ(info.Name, StringW(L"test_trindle"));
    EXPECT_EQ(info.Version, GetHostVersionString());
    EXPECT_EQ(info.Architecture, StringW(L"x64"));
}
