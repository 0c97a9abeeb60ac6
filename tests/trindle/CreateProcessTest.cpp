#include "CreateProcess.h"
#include "ErrorReport.h"
#include "LogFile.h"
#include "Logging.h"
#include "ProcessPrivilege.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <regex>
#include <vector>

using namespace Quenzal;
using namespace Quenzal::Os;
using QzlTest::CLogCapture;

namespace {

StringW SystemFolder()
{
    wchar_t folder[MAX_PATH + 1] = {};
    UINT n = GetSystemDirectoryW(folder, MAX_PATH + 1);
    StringW text(folder, n);
    if (text.back() != L'\\')
        text.push_back(L'\\');
    return text;
}

DWORD WaitForExit(const CHandle& process)
{
    EXPECT_EQ(WaitForSingleObject(process.Get(), 60000), WAIT_OBJECT_0);
    DWORD code = 0xFFFFFFFF;
    EXPECT_TRUE(GetExitCodeProcess(process.Get(), &code));
    return code;
}

bool PrivilegeEnabled(const wchar_t* name)
{
    LUID luid = {};
    if (!LookupPrivilegeValueW(nullptr, name, &luid))
        return false;
    CHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive()))
        return false;
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenPrivileges, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token.Get(), TokenPrivileges, buffer.data(), size, &size))
        return false;
    auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& entry = privileges->Privileges[i];
        if (entry.Luid.LowPart == luid.LowPart && entry.Luid.HighPart == luid.HighPart)
            return (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
    return false;
}

} // namespace

TEST(CreateProcess, CommandLineIsTheQuotedProgramAndTheArguments)
{
    StringW notepad = SystemFolder() + L"Notepad.exe";
    ASSERT_NE(GetFileAttributesW(notepad.c_str()), INVALID_FILE_ATTRIBUTES);
    // A bare system program is taken from the system folder, never searched.
    EXPECT_EQ(Os::CreateProcess(L"Notepad.exe", L" \"c:\\x y.txt\"").FormatCommandLine(),
              L"\"" + notepad + L"\" \"c:\\x y.txt\"");
    EXPECT_EQ(Os::CreateProcess(L"Notepad.exe", L"a.txt").FormatCommandLine(), L"\"" + notepad + L"\" a.txt");
    EXPECT_EQ(Os::CreateProcess(L"Notepad.exe", L"").FormatCommandLine(), L"\"" + notepad + L"\"");
    // A path with blanks stays one program.
    EXPECT_EQ(Os::CreateProcess(L"C:\\Program Files\\Tool\\tool.exe", L"-v").FormatCommandLine(),
              StringW(L"\"C:\\Program Files\\Tool\\tool.exe\" -v"));
    EXPECT_EQ(Os::CreateProcess(L"\"C:\\a b\\c.exe\"", L"").FormatCommandLine(), StringW(L"\"C:\\a b\\c.exe\""));
    EXPECT_EQ(Os::CreateProcess(L"QzlNoSuchProgram.exe", L"").FormatCommandLine(),
              StringW(L"\"QzlNoSuchProgram.exe\""));
}

TEST(CreateProcess, StartsTheProgramAndHandsBackItsProcess)
{
    CLogCapture log;
    Os::CreateProcess launcher(L"cmd.exe", L"/c exit 7");
    CHandle process = launcher.Execute();
    ASSERT_TRUE(process.IsValid());
    EXPECT_EQ(WaitForExit(process), 7u);
    EXPECT_TRUE(log.Contains("Invoking: \"" + SystemFolder().ToUtf8() + "cmd.exe\" /c exit 7\r\n")) << log.Text();
}

TEST(CreateProcess, OutputGoesIntoTheLogInTheWorkingDirectory)
{
    CLogCapture log;
    // The program can only write to the log through an inheritable handle.
    ASSERT_TRUE(SetHandleInformation(Logging::GetLogHandle(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT));
    StringW folder = QzlTest::UniqueTempPath(L"qzlcwd");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    Os::CreateProcess launcher(L"cmd.exe", L"/c echo qzl-output-line& cd& echo qzl-error-line 1>&2");
    launcher.SendOutputToLog = true;
    launcher.WorkingDirectory = folder;
    launcher.ShowState = SW_HIDE;
    EXPECT_EQ(WaitForExit(launcher.Execute()), 0u);
    std::string text = log.Text();
    EXPECT_NE(text.find("qzl-output-line"), std::string::npos) << text;
    EXPECT_NE(text.find("qzl-error-line"), std::string::npos) << text;
    EXPECT_NE(text.find(folder.ToUtf8()), std::string::npos) << text;
    RemoveDirectoryW(folder.c_str());
}

TEST(CreateProcess, FailureNamesTheCommandLine)
{
    CLogCapture log;
    StringW missing = QzlTest::TempDirectory() + L"Qzl No Such Program.exe";
    try {
        Os::CreateProcess(missing, L"x").Execute();
        FAIL();
    } catch (const CWinError& e) {
        EXPECT_NE(e.GetErrorCode(), 0u);
        EXPECT_EQ(e.GetContext(), L"\"" + missing + L"\" x");
    }
    EXPECT_TRUE(std::regex_search(log.Text(), std::regex("EXCEPTION: Throwing exception at CreateProcess\\.cpp, "
                                                         "Quenzal::Os::CreateProcess::Execute, line [0-9]+: ")))
        << log.Text();
}

TEST(CreateProcess, AnotherUsersTokenNeedsTheServicePrivileges)
{
    CHandle own, primary;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, own.Receive()));
    ASSERT_TRUE(DuplicateTokenEx(own.Get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary,
                                 primary.Receive()));
    Os::CreateProcess launcher(L"cmd.exe", L"/c exit 3");
    launcher.UserToken = primary.Get();
    bool privilegesHeld = true;
    for (const wchar_t* name : {L"SeIncreaseQuotaPrivilege", L"SeAssignPrimaryTokenPrivilege", L"SeTcbPrivilege"}) {
        try {
            AcquireProcessPrivilege(name);
        } catch (const CWinError&) {
            privilegesHeld = false;
        }
    }
    if (privilegesHeld) {
        EXPECT_EQ(WaitForExit(launcher.Execute()), 3u);
    } else {
        // An ordinary user's process lacks them; that is reported, not ignored.
        try {
            launcher.Execute();
            FAIL();
        } catch (const CWinError& e) {
            EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED));
        }
    }
}

TEST(ProcessPrivilege, EnablesAHeldPrivilege)
{
    AcquireProcessPrivilege(L"SeShutdownPrivilege");
    EXPECT_TRUE(PrivilegeEnabled(L"SeShutdownPrivilege"));
}

TEST(ProcessPrivilege, PrivilegeTheTokenDoesNotHoldIsReported)
{
    CLogCapture log;
    try {
        AcquireProcessPrivilege(L"SeCreateTokenPrivilege");
        FAIL();
    } catch (const CWinError& e) {
        EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED));
        EXPECT_EQ(e.GetContext(), StringW(L"SeCreateTokenPrivilege"));
    }
    EXPECT_TRUE(log.Contains("Throwing exception at ProcessPrivilege.cpp, Quenzal::Os::AcquireProcessPrivilege, line "));
    EXPECT_FALSE(PrivilegeEnabled(L"SeCreateTokenPrivilege"));
}

TEST(ProcessPrivilege, UnknownNameIsAnError)
{
    try {
        AcquireProcessPrivilege(L"SeQzlNoSuchPrivilege");
        FAIL();
    } catch (const CWinError& e) {
        EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_NO_SUCH_PRIVILEGE));
        EXPECT_EQ(e.GetContext(), StringW(L"SeQzlNoSuchPrivilege"));
    }
}
