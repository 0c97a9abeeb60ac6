#include "ErrorReport.h"
#include "Modules.h"
#include "TestLibrary.h"
#include "TestSupport.h"
#include "Trindle.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <thread>
#include <tuple>
#include <vector>

using namespace Quenzal;
using namespace Quenzal::Os;
using QzlTest::CLogCapture;

namespace {

bool EndsWithNoCase(const StringW& text, const wchar_t* tail)
{
    size_t n = wcslen(tail);
    return text.size() >= n && _wcsicmp(text.c_str() + text.size() - n, tail) == 0;
}

// The library's export name as a function of type F.
template <class F>
F* Call(HMODULE module, const char* name)
{
    return reinterpret_cast<F*>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

} // namespace

TEST(Modules, HostPathAndBaseName)
{
    wchar_t exe[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH + 1);
    EXPECT_EQ(GetHostModulePath(), StringW(exe, n));
    EXPECT_EQ(GetModulePath(nullptr), StringW(exe, n));
    EXPECT_EQ(ModulePath(L"").GetPath(), StringW(exe, n));
    EXPECT_EQ(GetModuleBaseName(), StringW(L"test_trindle"));
}

TEST(Modules, PathOfALoadedModuleByHandleAndByName)
{
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    ASSERT_NE(kernel, nullptr);
    StringW byHandle = GetModulePath(kernel);
    EXPECT_TRUE(EndsWithNoCase(byHandle, L"\\kernel32.dll")) << byHandle.ToUtf8();
    EXPECT_EQ(ModulePath(L"kernel32.dll").GetPath(), byHandle);
}

TEST(Modules, ModuleThatIsNotLoadedIsAnErrorNotTheHostPath)
{
    CLogCapture log;
    try {
        ModulePath path(L"QzlNotLoaded.dll");
        FAIL() << "gave " << path.GetPath().ToUtf8();
    } catch (const CWinError& e) {
        EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
        EXPECT_EQ(e.GetContext(), StringW(L"QzlNotLoaded.dll"));
    }
    EXPECT_TRUE(std::regex_search(
        log.Text(),
        std::regex("EXCEPTION: Throwing exception at OsHelperObjects\\.cpp, Quenzal::Os::ModulePath::ModulePath, "
                   "line [0-9]+: .*QzlNotLoaded\\.dll\r\n")))
        << log.Text();
}

TEST(Modules, LongModulePathIsReadWhole)
{
    // Deeper than a 261-character buffer holds.
    StringW folder = QzlTest::UniqueTempPath(L"qzldeep");
    std::vector<StringW> levels;
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    levels.push_back(folder);
    while (folder.size() < 300) {
        folder += L"\\level_with_a_rather_long_name";
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << GetLastError();
        levels.push_back(folder);
    }
    StringW copy = folder + L"\\QzlDeepModule.dll";
    ASSERT_TRUE(CopyFileW(QzlTest::TestLibraryPath().c_str(), copy.c_str(), FALSE)) << GetLastError();
    {
        CModule module = LoadModule(copy.c_str());
        EXPECT_EQ(GetModulePath(module.Get()), copy);
        EXPECT_EQ(ModulePath(L"QzlDeepModule.dll").GetPath(), copy);
    }
    EXPECT_TRUE(DeleteFileW(copy.c_str()));
    for (auto it = levels.rbegin(); it != levels.rend(); ++it)
        RemoveDirectoryW(it->c_str());
}

TEST(Modules, LoadModuleFailureNamesThePath)
{
    StringW missing = QzlTest::TempDirectory() + L"QzlNoSuchModule.dll";
    try {
        LoadModule(missing.c_str());
        FAIL();
    } catch (const CWinError& e) {
        EXPECT_NE(e.GetErrorCode(), 0u);
        EXPECT_EQ(e.GetDescription(), GetErrorText(e.GetErrorCode()) + L": " + missing);
    }
}

TEST(Modules, LoadModuleHolderFreesTheModule)
{
    {
        CModule module = LoadModule(QzlTest::TestLibraryPath().c_str());
        EXPECT_TRUE(module.IsValid());
        EXPECT_EQ(GetModuleHandleW(L"QzlTestDll.dll"), module.Get());
    }
    EXPECT_EQ(GetModuleHandleW(L"QzlTestDll.dll"), nullptr);
}

// A host may load and free a library over and over in one process, whichever
// threads run its code in between and whichever frees it.
TEST(Modules, LibraryLoadedAndFreedManyTimesLeavesNothingBehind)
{
    const std::tuple<const char*, std::function<void(HMODULE)>, bool> rows[] = {
        {"thrown and freed here", [](HMODULE m) { Call<int()>(m, "QzlTestThrowAndCatch")(); }, false},
        {"freed on another thread", [](HMODULE m) { Call<int()>(m, "QzlTestThrowAndCatch")(); }, true},
        {"thrown in eight pool callbacks", [](HMODULE m) { Call<void(int)>(m, "QzlTestThrowInPool")(8); }, false},
    };
    for (const auto& [name, use, freeElsewhere] : rows) {
        std::pair<DWORD, ULONG_PTR> before;
        for (int round = 0; round <= 300; ++round) {
            if (round == 1)
                before = QzlTest::ProcessLeftovers();
            HMODULE module = ::LoadLibraryW(QzlTest::TestLibraryPath().c_str());
            ASSERT_NE(module, nullptr) << name;
            use(module);
            freeElsewhere ? std::thread(::FreeLibrary, module).join() : void(::FreeLibrary(module));
            // The pool callback that returns last frees it there.
            for (int wait = 0; wait < 1000 && GetModuleHandleW(L"QzlTestDll.dll") != nullptr; ++wait)
                Sleep(10);
        }
        // A handle a round would show as hundreds; what the system's own pool
        // holds for threads it starts as the machine is busy, as a few.
        const auto after = QzlTest::ProcessLeftovers();
        EXPECT_EQ(before.first, after.first) << name;
        EXPECT_LE(after.second, before.second + 8) << name;
    }
}

class RegisterModuleTest : public ::testing::Test {
protected:
    void TearDown() override { SetEnvironmentVariableW(L"QZL_TESTDLL_REGISTER_RESULT", nullptr); }
    StringW m_path = QzlTest::TestLibraryPath();
};

TEST_F(RegisterModuleTest, SuccessLogsNothingAndFreesTheModule)
{
    CLogCapture log;
    RegisterModule(m_path.c_str());
    EXPECT_EQ(log.Text(), "");
    EXPECT_EQ(GetModuleHandleW(L"QzlTestDll.dll"), nullptr);
}

TEST_F(RegisterModuleTest, PositiveResultIsAWarningOnly)
{
    SetEnvironmentVariableW(L"QZL_TESTDLL_REGISTER_RESULT", L"1");
    CLogCapture log;
    RegisterModule(m_path.c_str());
    std::string expected = ": " + GetErrorText(1).ToUtf8() + ": " + m_path.ToUtf8() + "\r\n";
    std::string text = log.Text();
    EXPECT_TRUE(std::regex_search(text, std::regex("WARNING: Non-success condition during COM call at Modules\\.cpp, "
                                                   "DllRegisterServer, line [0-9]+: ")))
        << text;
    EXPECT_NE(text.find(expected), std::string::npos) << text;
}

TEST_F(RegisterModuleTest, NegativeResultRaisesComError)
{
    SetEnvironmentVariableW(L"QZL_TESTDLL_REGISTER_RESULT", L"0x80070005");
    CLogCapture log;
    try {
        RegisterModule(m_path.c_str());
        FAIL();
    } catch (const CComError& e) {
        EXPECT_EQ(e.GetHResult(), static_cast<HRESULT>(0x80070005));
    }
    EXPECT_TRUE(std::regex_search(log.Text(), std::regex("EXCEPTION: Throwing exception at Modules\\.cpp, "
                                                         "DllRegisterServer, line [0-9]+: Failure during COM call")))
        << log.Text();
    EXPECT_EQ(GetModuleHandleW(L"QzlTestDll.dll"), nullptr);
}

TEST_F(RegisterModuleTest, ModuleWithoutTheExportIsAnError)
{
    try {
        RegisterModule(L"kernel32.dll");
        FAIL();
    } catch (const CWinError& e) {
        EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
        EXPECT_EQ(e.GetContext(), StringW(L"kernel32.dll"));
    }
}

TEST(Icons, QuenzalIconComesFromOurOwnModule)
{
    CIcon icon = Ui::GetQuenzalIcon();
    ASSERT_TRUE(icon.IsValid());
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon.Get(), &info));
    EXPECT_TRUE(info.fIcon);
    if (info.hbmColor != nullptr)
        DeleteObject(info.hbmColor);
    if (info.hbmMask != nullptr)
        DeleteObject(info.hbmMask);
}

TEST(Icons, User32IconOrTheSystemsError)
{
    // Wine's user32 carries no icon 103; Windows' does.
    CLogCapture log;
    try {
        CIcon icon = GetUser32Icon();
        ICONINFO info = {};
        EXPECT_TRUE(GetIconInfo(icon.Get(), &info));
    } catch (const CWinError& e) {
        EXPECT_NE(e.GetErrorCode(), 0u);
        EXPECT_TRUE(e.GetContext().empty());
        EXPECT_TRUE(log.Contains("Throwing exception at Modules.cpp, Quenzal::Os::GetUser32Icon, line ")) << log.Text();
    }
}
