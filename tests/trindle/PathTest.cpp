#include "Os.h"

#include <gtest/gtest.h>

using namespace Quenzal;
using namespace Quenzal::Os;

TEST(Path, DirectoryPart)
{
    EXPECT_EQ(GetDirectoryFromPath(L"c:\\a\\b.txt"), L"c:\\a\\");
    EXPECT_EQ(GetDirectoryFromPath(L"c:/a/b.txt"), L"c:/a/");
    EXPECT_EQ(GetDirectoryFromPath(L"c:\\a/b\\"), L"c:\\a/b\\");
    // A bare name has no folder part.
    EXPECT_EQ(GetDirectoryFromPath(L"x.log"), L"");
    EXPECT_EQ(GetDirectoryFromPath(L""), L"");
}

TEST(Path, FileNamePart)
{
    EXPECT_EQ(GetFileNameFromPath(L"c:\\a\\b.txt"), L"b.txt");
    EXPECT_EQ(GetFileNameFromPath(L"c:/a/b.txt"), L"b.txt");
    EXPECT_EQ(GetFileNameFromPath(L"c:\\a\\dir\\"), L"dir");
    EXPECT_EQ(GetFileNameFromPath(L"c:\\a\\dir\\/"), L"");
    EXPECT_EQ(GetFileNameFromPath(L"dir\\"), L"dir\\");
    EXPECT_EQ(GetFileNameFromPath(L"name"), L"name");
    EXPECT_EQ(GetFileNameFromPath(L"\\"), L"");
    EXPECT_EQ(GetFileNameFromPath(L"\\x"), L"x");
    EXPECT_EQ(GetFileNameFromPath(L""), L"");
}

TEST(Path, ExtensionOnlyInTheLastComponent)
{
    EXPECT_EQ(GetFileExtension(L"c:\\a.b\\file"), L"");
    EXPECT_EQ(RemoveFileExtension(L"c:\\a.b\\file"), L"c:\\a.b\\file");
    EXPECT_EQ(GetFileExtension(L"c:/a.b/file"), L"");
    EXPECT_EQ(GetFileExtension(L"file.tar.gz"), L"gz");
    EXPECT_EQ(RemoveFileExtension(L"file.tar.gz"), L"file.tar");
    EXPECT_EQ(GetFileExtension(L"file."), L"");
    EXPECT_EQ(GetFileExtension(L"c:\\d\\f.TXT"), L"TXT");
    EXPECT_EQ(RemoveFileExtension(L"c:\\d\\f.txt"), L"c:\\d\\f");
    EXPECT_EQ(GetFileExtension(L""), L"");
    EXPECT_EQ(RemoveFileExtension(L""), L"");
}

TEST(Path, AppendExtensionAndCombine)
{
    EXPECT_EQ(AppendFileExtension(L"a", L"txt"), L"a.txt");
    EXPECT_EQ(AppendFileExtension(L"a.", L".txt"), L"a.txt");
    EXPECT_EQ(AppendFileExtension(L"a", L".txt"), L"a.txt");
    EXPECT_EQ(AppendFileExtension(L"", L"txt"), L".txt");

    EXPECT_EQ(CombinePath(L"c:\\dir", L"\\x"), L"c:\\dir\\x");
    EXPECT_EQ(CombinePath(L"c:\\dir\\", L"x"), L"c:\\dir\\x");
    EXPECT_EQ(CombinePath(L"c:\\dir\\", L"\\\\x"), L"c:\\dir\\\\x");
    EXPECT_EQ(CombinePath(L"", L"x"), L"\\x");
    EXPECT_EQ(CombinePath(L"c:/dir/", L"x"), L"c:/dir/\\x");
}

// Windows takes a plain path of MAX_PATH - 1 characters and its NUL, and a
// folder it creates keeps room for an 8.3 name.
TEST(Path, LongPathPrefixFromMaxPathOn)
{
    const struct {
        size_t length;
        PathRoom room;
        bool prefixed;
    } rows[] = {{259, PathRoom::None, false},     {260, PathRoom::None, true},     {261, PathRoom::None, true},
                {247, PathRoom::ShortName, false}, {248, PathRoom::ShortName, true}};
    for (const auto& row : rows) {
        const std::wstring path = L"C:\\" + std::wstring(row.length - 3, L'a');
        EXPECT_EQ(GetLongPath(path, row.room), (row.prefixed ? L"\\\\?\\" : L"") + path) << row.length;
        EXPECT_EQ(GetLongPath(L"\\\\?\\" + path, row.room), L"\\\\?\\" + path);
    }
    // The prefixed form is taken literally: it names the folder the steps lead to.
    EXPECT_EQ(GetLongPath(L"C:\\x\\.\\..\\" + std::wstring(260, L'a')), L"\\\\?\\C:\\" + std::wstring(260, L'a'));
}

TEST(Path, LongPathFormIsUsableForSlashesAndUncPaths)
{
    std::wstring name(270, L'n');
    EXPECT_EQ(GetLongPath(L"C:/dir/" + name), L"\\\\?\\C:\\dir\\" + name);
    EXPECT_EQ(GetLongPath(L"\\\\server\\share\\" + name), L"\\\\?\\UNC\\server\\share\\" + name);
    EXPECT_EQ(GetLongPath(L"//server/share/" + name), L"\\\\?\\UNC\\server\\share\\" + name);
    EXPECT_EQ(GetLongPath(L"\\\\?\\UNC\\server\\share\\" + name), L"\\\\?\\UNC\\server\\share\\" + name);
    // A short path is left to the system as it is.
    EXPECT_EQ(GetLongPath(L"c:/dir/x"), L"c:/dir/x");
}

TEST(Path, InvalidFileNameCharacters)
{
    for (wchar_t ch : std::wstring(L"\"*/:<>?\\|"))
        EXPECT_TRUE(IsInvalidFileNameChar(ch)) << static_cast<int>(ch);
    for (wchar_t ch = 0; ch < 32; ++ch)
        EXPECT_TRUE(IsInvalidFileNameChar(ch)) << static_cast<int>(ch);
    for (wchar_t ch : std::wstring(L" azAZ09.-_'()[]{}&%$#@!~\u00e9\u4e2d"))
        EXPECT_FALSE(IsInvalidFileNameChar(ch)) << static_cast<int>(ch);
}

TEST(Path, SanitizeDropsInvalidCharacters)
{
    EXPECT_EQ(SanitizeFileName(L"a:b*c"), L"abc");
    EXPECT_EQ(SanitizeFileName(L"..\\..\\x/y?.txt\t"), L"....xy.txt");
    EXPECT_EQ(SanitizeFileName(L""), L"");
    std::wstring at259(259, L'x');
    EXPECT_EQ(SanitizeFileName(at259 + L"*"), at259);
}

TEST(Path, SanitizeLongNameKeepsItsExtension)
{
    std::wstring text = std::wstring(296, L'n') + L".log";
    StringW name = SanitizeFileName(text);
    EXPECT_EQ(name.size(), 260u);
    EXPECT_EQ(name.substr(256), L".log");
    EXPECT_EQ(name.substr(0, 256), std::wstring(256, L'n'));
}

TEST(Path, SanitizeLongNameNeverBringsBackInvalidCharacters)
{
    std::wstring text = std::wstring(300, L'n') + L".x\\..\\..\\evil:*?";
    StringW name = SanitizeFileName(text);
    for (wchar_t ch : name)
        EXPECT_FALSE(IsInvalidFileNameChar(ch)) << name.ToUtf8();
    // The last dot-token is ".\\evil:*?": only its valid characters are kept.
    EXPECT_EQ(name, std::wstring(255, L'n') + L".evil");
}

TEST(Path, SanitizeLongNameWithAnExtensionLongerThanTheResult)
{
    // Almost everything examined is dropped, so the extension does not fit.
    std::wstring text = std::wstring(258, L'*') + L"ab" + L".averylongextension";
    StringW name;
    ASSERT_NO_THROW(name = SanitizeFileName(text));
    EXPECT_EQ(name, L"ab");
    std::wstring onlyInvalid = std::wstring(300, L'?') + L".log";
    EXPECT_EQ(SanitizeFileName(onlyInvalid), L"");
}

TEST(Path, BlockedExtensions)
{
    EXPECT_TRUE(IsBlockedFileExtension(L"EXE"));
    EXPECT_TRUE(IsBlockedFileExtension(L"Js"));
    EXPECT_TRUE(IsBlockedFileExtension(L"exe"));
    for (const wchar_t* ext : {L"ade", L"gadget", L"msh1xml", L"mshxml", L"ps2xml", L"vsmacros", L"xnk", L"tmp"})
        EXPECT_TRUE(IsBlockedFileExtension(ext)) << StringW(ext).ToUtf8();
    EXPECT_FALSE(IsBlockedFileExtension(L""));
    EXPECT_FALSE(IsBlockedFileExtension(L".exe"));
    EXPECT_FALSE(IsBlockedFileExtension(L"exe."));
    for (const wchar_t* ext : {L"ex", L"exe1", L"txt", L"aaa", L"zzz", L"msh3", L"a", L"pdf"})
        EXPECT_FALSE(IsBlockedFileExtension(ext)) << StringW(ext).ToUtf8();
}
