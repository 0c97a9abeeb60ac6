// The link opener behind OpenLinkW, with the shell and the message box
// replaced by recorders.
#include "File.h"
#include "FileSystem.h"
#include "LinkOpener.h"
#include "Localization.h"
#include "Path.h"
#include "Stubbing.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

using namespace Quenzal;

namespace {

struct Recorder {
    std::vector<StringW> opened;
    std::vector<StringW> errors;
    LinkOpenerActions Actions()
    {
        return {[this](const StringW& path) { opened.push_back(path); },
                [this](HWND, const StringW& text) { errors.push_back(text); }};
    }
};

// A link file as the add-in writes it, naming target.
StringW WriteLink(const std::string& target)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<AttachedLink>\r\n\t<Path>" + target +
                      "</Path>\r\n</AttachedLink>\r\n";
    StringW path = QzlTest::UniqueTempPath(L"link") + L".qenz";
    Os::WriteFileContents(path, xml.data(), xml.size());
    return path;
}

} // namespace

// A quoted link naming a local document opens that document; a link naming a
// share, a device or long-path form, an alternate stream or a type that runs
// code is refused with the error message and the path, as is a malformed link
// (with no path) and a command line with only its leading quote.
TEST(LinkOpenerTest, OpensOnlyLocalFilesOfSafeTypes)
{
    Localization::SetLanguageId(0x0409);
    const StringW failure = GetLocalizedMessage(373) + L": ";
    {
        Recorder recorder;
        StringW link = WriteLink("C:\\Users\\me\\Documents\\report &amp; plan.pdf");
        OpenLinkFile(nullptr, (L"\"" + link + L"\"").c_str(), recorder.Actions());
        ASSERT_EQ(1u, recorder.opened.size());
        EXPECT_EQ(L"C:\\Users\\me\\Documents\\report & plan.pdf", recorder.opened[0]);
        EXPECT_TRUE(recorder.errors.empty());
        OpenLinkFile(nullptr, (L"\"" + link).c_str(), recorder.Actions());
        EXPECT_EQ((std::vector<StringW>{failure}), recorder.errors);
        OpenLinkFile(nullptr, nullptr, recorder.Actions());
        OpenLinkFile(nullptr, L"\"\"", recorder.Actions());
        EXPECT_EQ(1u, recorder.opened.size());
        EXPECT_EQ(1u, recorder.errors.size());
    }
    for (const char* refused : {"\\\\server\\share\\report.pdf", "//server/share/report.pdf",
                                "\\\\?\\C:\\report.pdf", "\\\\.\\C:\\report.pdf", "C:\\Downloads\\setup.exe",
                                "C:\\Downloads\\run.BAT", "C:\\Downloads\\setup.exe..", "C:\\a.txt:hidden.exe",
                                "C:\\Downloads\\setup.APPREF-MS", "C:\\Downloads\\tool.jar",
                                "report.pdf", "C:\\Downloads\\"}) {
        Recorder recorder;
        OpenLinkFile(nullptr, WriteLink(refused).c_str(), recorder.Actions());
        EXPECT_TRUE(recorder.opened.empty()) << refused;
        EXPECT_EQ((std::vector<StringW>{failure + StringW(std::string(refused))}), recorder.errors) << refused;
    }
    Recorder malformed;
    StringW link = QzlTest::UniqueTempPath(L"link");
    Os::WriteFileContents(link, "<AttachedLink><Path>", 20);
    OpenLinkFile(nullptr, link.c_str(), malformed.Actions());
    EXPECT_TRUE(malformed.opened.empty());
    EXPECT_EQ((std::vector<StringW>{failure}), malformed.errors);
}

// Each path of the table in a link file, opened through OpenLinkW and checked
// as the send checks it.
TEST(LinkOpenerTest, LinkPathsReadBackExactlyAndAreCheckedAtOpenAndAtSend)
{
    const std::string folder = StringW(QzlTest::UniqueTempPath(L"paths")).ToUtf8();
    std::istringstream table(QzlTest::ReadWholeFile(L"nxo/data/link-paths.txt"));
    int rows = 0;
    for (std::string line; std::getline(table, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        ++rows;
        std::string text = line.substr(0, line.find('\t'));
        text.replace(text.find("%DIR%"), 5, folder);
        StringW file = StringW::FromAnsi(text.substr(0, text.find('&')), CP_UTF8);
        file.TrimLeft();
        Os::CreateDirectoryByPath(Os::GetDirectoryFromPath(file));
        Os::WriteFileContents(file, "x", 1);
        if (line.find("\tshort") != std::string::npos) {
            wchar_t shortPath[MAX_PATH] = {};
            ASSERT_GT(::GetShortPathNameW(file.c_str(), shortPath, MAX_PATH), 0u) << line;
            text = StringW(shortPath).ToUtf8();
            ASSERT_NE(StringW(shortPath), file) << line;
        }
        const std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<AttachedLink>\r\n\t<Path>" + text +
                                "</Path>\r\n</AttachedLink>\r\n";
        const StringW link = QzlTest::UniqueTempPath(L"link") + L".qenz";
        Os::WriteFileContents(link, xml.data(), xml.size());

        Recorder recorder;
        OpenLinkFile(nullptr, link.c_str(), recorder.Actions());
        const StringW read = Stubbing::GetPathFromLink(xml);
        bool sent = true;
        try {
            Stubbing::CheckLinkedPath(read, 1 << 20);
        } catch (const CException&) {
            sent = false;
        }
        const bool opens = line.find("\topen") != std::string::npos;
        EXPECT_EQ(recorder.opened, opens ? std::vector<StringW>{read} : std::vector<StringW>{}) << line;
        EXPECT_EQ(sent, line.find("\tsend") != std::string::npos) << line;
        if (text.find('&') == std::string::npos) {
            EXPECT_EQ(read.ToUtf8(), text) << line;
            EXPECT_EQ(Stubbing::GetPathFromLink(Stubbing::FormatLinkXml(read, L"")).ToUtf8(), text) << line;
        }
    }
    EXPECT_GT(rows, 0);
    Os::TryDeleteDirectory(StringW::FromAnsi(folder, CP_UTF8));
}
