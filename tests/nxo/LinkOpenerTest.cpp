// The link opener behind OpenLinkW, with the shell and the message box
// replaced by recorders.
#include "File.h"
#include "LinkOpener.h"
#include "Localization.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

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
