#include "TestSupport.h"

#include "LogFile.h"
#include "SmartPointer.h"

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace QzlTest {

using Quenzal::StringW;

StringW TempDirectory()
{
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
    return StringW(buffer, n);
}

StringW UniqueTempPath(const wchar_t* prefix)
{
    static std::atomic<unsigned> counter{0};
    return TempDirectory() + StringW::Format(L"%s_%lu_%lu_%u.tmp", prefix, ::GetCurrentProcessId(),
                                             ::GetTickCount(), counter.fetch_add(1));
}

size_t CountOf(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

std::pair<DWORD, ULONG_PTR> ProcessLeftovers()
{
    const DWORD index = ::TlsAlloc();
    ::TlsFree(index);
    // Handle values are multiples of 4; a value that names nothing fails.
    ULONG_PTR open = 0;
    for (ULONG_PTR value = 4; value < 0x40000; value += 4) {
        DWORD flags = 0;
        open += ::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    }
    return {index, open};
}

// Each line carries "demo|", by which scripts/demo tells it from the test runner's and Wine's output.
void DemoStep(const std::string& text)
{
    if (::GetEnvironmentVariableA("QZL_DEMO", nullptr, 0) != 0) {
        std::printf("demo|  - %s\n", text.c_str());
        // A run that hangs later still shows how far it came.
        std::fflush(stdout);
    }
}

void DemoScene(const std::string& text)
{
    if (::GetEnvironmentVariableA("QZL_DEMO", nullptr, 0) != 0) {
        std::printf("demo|  %s:\n", text.c_str());
        std::fflush(stdout);
    }
}

std::string ReadWholeFile(const StringW& path)
{
    Quenzal::Os::CHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                                FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
    std::string data;
    if (!file)
        return data;
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
        data.append(buffer, read);
    return data;
}

StringW SystemMessage(DWORD code)
{
    wchar_t buffer[1024] = {};
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0x400,
                               buffer, 1024, nullptr);
    return StringW(buffer, n).TrimRight();
}

CLogCapture::CLogCapture() : m_path(UniqueTempPath(L"qzllog"))
{
    HANDLE file = ::CreateFileW(m_path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                CREATE_ALWAYS, 0, nullptr);
    auto& log = Quenzal::Logging::CLogFile::Instance();
    m_previous = log.GetHandle();
    m_previousPath = log.GetPath();
    // Our path makes the log close the file when we put the previous handle back.
    log.Replace(file, m_path);
}

CLogCapture::~CLogCapture()
{
    Quenzal::Logging::CLogFile::Instance().Replace(m_previous, m_previousPath);
    ::DeleteFileW(m_path.c_str());
}

std::string CLogCapture::Text() const
{
    return ReadWholeFile(m_path);
}

ChildResult RunChildCase(const char* name, DWORD timeoutMs, const wchar_t* exePath)
{
    ChildResult result;
    wchar_t exe[MAX_PATH] = {};
    if (exePath != nullptr)
        wcsncpy_s(exe, exePath, _TRUNCATE);
    else
        ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    StringW command = StringW::Format(L"\"%s\" --qzl-child=%s", exe, StringW(std::string(name)).c_str());

    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readRaw = nullptr, writeRaw = nullptr;
    if (!::CreatePipe(&readRaw, &writeRaw, &inherit, 0)) {
        result.exitCode = 0xFFFFFFFF;
        return result;
    }
    Quenzal::Os::CHandle readEnd(readRaw), writeEnd(writeRaw);
    ::SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd.Get();
    si.hStdError = writeEnd.Get();
    si.hStdInput = nullptr;
    PROCESS_INFORMATION pi = {};
    std::vector<wchar_t> commandLine(command.begin(), command.end());
    commandLine.push_back(L'\0');
    if (!::CreateProcessW(exe, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        result.exitCode = 0xFFFFFFFF;
        return result;
    }
    Quenzal::Os::CHandle process(pi.hProcess), thread(pi.hThread);
    writeEnd.Close();
    // A child that hangs keeps the pipe open: it is ended at the limit.
    std::thread reader([&] {
        char buffer[4096];
        DWORD read = 0;
        while (::ReadFile(readEnd.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
            result.output.append(buffer, read);
    });
    if (::WaitForSingleObject(process.Get(), timeoutMs) == WAIT_TIMEOUT)
        ::TerminateProcess(process.Get(), WAIT_TIMEOUT);
    reader.join();
    ::GetExitCodeProcess(process.Get(), &result.exitCode);
    return result;
}

CImportRedirect::CImportRedirect(HMODULE module, void* real, void* replacement) : m_real(real)
{
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    DWORD imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); entry->Name != 0 && !m_slot; ++entry)
        for (auto* slot = reinterpret_cast<void**>(base + entry->FirstThunk); *slot != nullptr && !m_slot; ++slot)
            if (*slot == real)
                m_slot = slot;
    Set(replacement);
}

CImportRedirect::~CImportRedirect()
{
    Set(m_real);
}

void CImportRedirect::Set(void* function)
{
    DWORD protection = 0;
    if (m_slot == nullptr || !VirtualProtect(m_slot, sizeof(void*), PAGE_READWRITE, &protection))
        return;
    *m_slot = function;
    VirtualProtect(m_slot, sizeof(void*), protection, &protection);
}

} // namespace QzlTest
