#include "Exception.h"
#include "Os.h"
#include "SmartPointer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace Quenzal;
using namespace Quenzal::Os;

namespace {

class ShellTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_folder = QzlTest::UniqueTempPath(L"qzlshell");
        ASSERT_TRUE(::CreateDirectoryW(m_folder.c_str(), nullptr));
        m_current = Os::GetCurrentDirectory();
    }
    void TearDown() override
    {
        // The dialog moves the current directory to the folder the user chose from.
        ::SetCurrentDirectoryW(m_current.c_str());
        for (int i = 0; i < 1500 && !TryDeleteDirectory(m_folder); ++i)
            ::Sleep(20);
        EXPECT_EQ(GetFileAttributes(m_folder), INVALID_FILE_ATTRIBUTES);
    }

    void Touch(const wchar_t* name)
    {
        CHandle file(::CreateFileW((m_folder + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                   nullptr));
        ASSERT_TRUE(file);
    }

    // Plays the user: waits for the dialog with the title, types the text
    // into its file-name box and presses OK (or Cancel when text is empty).
    static std::thread Answer(const std::wstring& title, const std::wstring& text, std::atomic<bool>& seen)
    {
        return std::thread([title, text, &seen] {
            HWND dialog = nullptr;
            for (int i = 0; i < 600 && dialog == nullptr; ++i) {
                dialog = ::FindWindowW(L"#32770", title.c_str());
                if (dialog == nullptr)
                    ::Sleep(50);
            }
            if (dialog == nullptr)
                return;
            seen = true;
            if (text.empty()) {
                ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                return;
            }
            // The name box is a combo box in some dialog versions and an edit field in others.
            ::SetDlgItemTextW(dialog, cmb13, text.c_str());
            ::SetDlgItemTextW(dialog, edt1, text.c_str());
            ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
        });
    }

    StringW m_folder;
    StringW m_current;
};

} // namespace

TEST_F(ShellTest, OpenFileDialogGivesFullPathsOfTheChosenFiles)
{
    Touch(L"a.txt");
    Touch(L"b.txt");
    Touch(L"c.txt");
    std::wstring title = L"Choose " + GetFileNameFromPath(m_folder);
    std::vector<StringW> paths{L"kept"};

    std::atomic<bool> seen{false};
    std::thread user = Answer(title, L"\"a.txt\" \"b.txt\" \"c.txt\"", seen);
    bool chosen = GetOpenFileNames(m_folder, L"Text (*.txt)|*.txt", title, paths, nullptr);
    user.join();
    ASSERT_TRUE(seen) << "no dialog appeared";
    ASSERT_TRUE(chosen);
    ASSERT_EQ(paths.size(), 4u);
    EXPECT_EQ(paths[0], L"kept");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(_wcsicmp(paths[1 + i].c_str(), (m_folder + L"\\" + wchar_t(L'a' + i) + L".txt").c_str()), 0)
            << paths[1 + i].ToUtf8();

    seen = false;
    user = Answer(title, L"b.txt", seen);
    chosen = GetOpenFileNames(m_folder, L"", title, paths, nullptr);
    user.join();
    ASSERT_TRUE(seen);
    ASSERT_TRUE(chosen);
    ASSERT_EQ(paths.size(), 5u);
    EXPECT_EQ(_wcsicmp(paths[4].c_str(), (m_folder + L"\\b.txt").c_str()), 0) << paths[4].ToUtf8();
}

TEST_F(ShellTest, OpenFileDialogCancelLeavesTheListAlone)
{
    std::wstring title = L"Cancel " + GetFileNameFromPath(m_folder);
    std::vector<StringW> paths{L"kept"};
    std::atomic<bool> seen{false};
    std::thread user = Answer(title, L"", seen);
    bool chosen = GetOpenFileNames(m_folder, L"", title, paths, nullptr);
    user.join();
    ASSERT_TRUE(seen);
    EXPECT_FALSE(chosen);
    EXPECT_EQ(paths, std::vector<StringW>{L"kept"});
}

QZL_CHILD_CASE(ShellStarted)
{
    // Leaves a mark so that the parent sees the program really ran.
    wchar_t** argv = nullptr;
    int argc = 0;
    argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argc >= 3) {
        CHandle mark(::CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
    ::LocalFree(argv);
    return 0;
}

TEST_F(ShellTest, ShellExecuteStartsTheProgram)
{
    QzlTest::CLogCapture log;
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    StringW mark = m_folder + L"\\mark";
    StringW parameters = L"--qzl-child=ShellStarted \"" + mark + L"\"";
    EXPECT_TRUE(Os::ShellExecute(exe, parameters));
    for (int i = 0; i < 600 && GetFileAttributes(mark) == INVALID_FILE_ATTRIBUTES; ++i)
        ::Sleep(50);
    EXPECT_NE(GetFileAttributes(mark), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(log.Contains(" Invoking via shell: \"" + StringW(exe).ToUtf8() + "\" \"" + parameters.ToUtf8() +
                             "\"\r\n"))
        << log.Text();
}

TEST_F(ShellTest, ShellExecuteOfAMissingFileThrows)
{
    StringW missing = m_folder + L"\\missing.txt";
    try {
        Os::ShellExecute(missing, L"");
        FAIL() << "no exception";
    } catch (const CWinError& e) {
        EXPECT_EQ(e.GetContext(), missing);
        EXPECT_NE(e.GetErrorCode(), 0u);
    }
}
