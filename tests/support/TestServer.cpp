#include "TestServer.h"

#include "SmartPointer.h"
#include "TestSupport.h"

#include <cstdio>
#include <stdexcept>

#ifndef QZL_PYTHON3
#define QZL_PYTHON3 "/usr/bin/python3"
#endif
#ifndef QZL_TEST_SERVERS_DIR
#error "QZL_TEST_SERVERS_DIR must name the folder of qzlserver.py"
#endif

namespace QzlTest {

namespace {

using Quenzal::StringW;

// Wine's own exports for crossing between Windows and Linux paths; both return
// memory from the process heap.
using UnixFileNameFunction = char*(__cdecl*)(const wchar_t*);
using DosFileNameFunction = wchar_t*(__cdecl*)(const char*);

template <class Function>
Function WineExport(const char* name)
{
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), name)));
}

std::wstring DosPath(const std::string& unixPath)
{
    auto function = WineExport<DosFileNameFunction>("wine_get_dos_file_name");
    if (function == nullptr)
        throw std::runtime_error("the test servers need Wine (wine_get_dos_file_name is missing)");
    wchar_t* path = function(unixPath.c_str());
    if (path == nullptr)
        throw std::runtime_error("no Windows path for " + unixPath);
    std::wstring result(path);
    ::HeapFree(::GetProcessHeap(), 0, path);
    return result;
}

// Quotes one argument so that the usual command-line parsing gives it back unchanged.
std::wstring QuoteArgument(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

} // namespace

std::string UnixPath(const std::wstring& windowsPath)
{
    auto function = WineExport<UnixFileNameFunction>("wine_get_unix_file_name");
    if (function == nullptr)
        return std::string();
    char* path = function(windowsPath.c_str());
    if (path == nullptr)
        return std::string();
    std::string result(path);
    ::HeapFree(::GetProcessHeap(), 0, path);
    return result;
}

CTestServer::CTestServer(const std::vector<std::string>& arguments)
{
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0)
        throw std::runtime_error("WSAStartup failed");
    try {
        StringW portFile = UniqueTempPath(L"qzlserver");
        std::string unixPortFile = UnixPath(portFile);
        if (unixPortFile.empty())
            throw std::runtime_error("no Linux path for the port file");

        // Wine runs a Linux program given to CreateProcess by its Windows path,
        // but keeps no handle or pipe to it: the port comes back in a file.
        std::wstring python = DosPath(QZL_PYTHON3);
        std::wstring command = QuoteArgument(python);
        command += L" " + QuoteArgument(Widen(QZL_TEST_SERVERS_DIR "/qzlserver.py"));
        for (const std::string& argument : arguments)
            command += L" " + QuoteArgument(Widen(argument));
        command += L" --port-file " + QuoteArgument(Widen(unixPortFile));
        std::vector<wchar_t> commandLine(command.begin(), command.end());
        commandLine.push_back(L'\0');
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        if (!::CreateProcessW(python.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &si, &pi))
            throw std::runtime_error("cannot start " QZL_PYTHON3);
        // For a Linux program Wine gives no process handle and leaves stale
        // values in the other fields; closing those could close one of ours.
        const bool started = pi.hProcess != nullptr;
        Quenzal::Os::CHandle process(started ? pi.hProcess : nullptr), thread(started ? pi.hThread : nullptr);

        int port = 0, controlPort = 0;
        for (int waited = 0; waited < 60000 && port == 0; waited += 20) {
            std::string text = ReadWholeFile(portFile);
            if (text.rfind("ERROR", 0) == 0) {
                ::DeleteFileW(portFile.c_str());
                throw std::runtime_error("test server failed: " + text);
            }
            if (std::sscanf(text.c_str(), "PORT %d CONTROL %d", &port, &controlPort) != 2)
                port = 0;
            if (port == 0)
                ::Sleep(20);
        }
        ::DeleteFileW(portFile.c_str());
        if (port == 0)
            throw std::runtime_error("test server did not report its port");
        m_port = static_cast<unsigned short>(port);

        m_lifeline = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in control = {};
        control.sin_family = AF_INET;
        control.sin_port = ::htons(static_cast<unsigned short>(controlPort));
        control.sin_addr.s_addr = ::inet_addr("127.0.0.1");
        if (m_lifeline == INVALID_SOCKET ||
            ::connect(m_lifeline, reinterpret_cast<sockaddr*>(&control), sizeof(control)) != 0)
            throw std::runtime_error("cannot reach the test server's control port");
    } catch (...) {
        if (m_lifeline != INVALID_SOCKET)
            ::closesocket(m_lifeline);
        ::WSACleanup();
        throw;
    }
}

CTestServer::~CTestServer()
{
    ::closesocket(m_lifeline);
    ::WSACleanup();
}

std::string CTestServer::Address() const
{
    return "127.0.0.1:" + std::to_string(m_port);
}

} // namespace QzlTest
