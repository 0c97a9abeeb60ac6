#pragma once
// Helpers for tests: capture the log into a temporary file, run a child case.

#include "Exception.h"
#include "StringW.h"

#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <string>
#include <utility>

namespace QzlTest {

// Points the process log at a fresh temporary file for the lifetime of the
// object and gives back what was written.
class CLogCapture {
public:
    CLogCapture();
    ~CLogCapture();
    CLogCapture(const CLogCapture&) = delete;
    CLogCapture& operator=(const CLogCapture&) = delete;

    std::string Text() const;
    bool Contains(const std::string& text) const { return Text().find(text) != std::string::npos; }

private:
    Quenzal::StringW m_path;
    HANDLE m_previous;
    Quenzal::StringW m_previousPath;
};

// A case run in a child process by "<exe> --qzl-child=<name>".
void RegisterChildCase(const char* name, std::function<int()> body);

struct ChildResult {
    DWORD exitCode = 0;
    std::string output;
};
// Starts this executable with the child case, waits for it and returns its
// exit code (all 32 bits, as a Windows parent sees it) and its standard output;
// a child still running at the limit is ended with WAIT_TIMEOUT.
// A copy of this executable elsewhere may run it instead.
ChildResult RunChildCase(const char* name, DWORD timeoutMs = 60000, const wchar_t* exePath = nullptr);

Quenzal::StringW TempDirectory();
Quenzal::StringW UniqueTempPath(const wchar_t* prefix);
std::string ReadWholeFile(const Quenzal::StringW& path);
// The system's own text for an error code, as GetErrorText should find it.
Quenzal::StringW SystemMessage(DWORD code);
// How often part stands in text (overlapping places count too).
size_t CountOf(const std::string& text, const std::string& part);
// What loading and freeing a module may leave in this process: the lowest free
// TLS index (Wine hands them out lowest first) and the number of open handles.
std::pair<DWORD, ULONG_PTR> ProcessLeftovers();
// Under the demonstration (QZL_DEMO set) prints a step of the user's flow,
// or, as a scene, what the steps under it start from (a new start of Outlook).
void DemoStep(const std::string& text);
void DemoScene(const std::string& text);

// While it lives, the module's calls of an imported function go to the
// replacement, through the slot of its import table that holds real (none
// when the module does not import it).
class CImportRedirect {
public:
    CImportRedirect(HMODULE module, void* real, void* replacement);
    ~CImportRedirect();
    CImportRedirect(const CImportRedirect&) = delete;
    CImportRedirect& operator=(const CImportRedirect&) = delete;
    bool IsRedirected() const { return m_slot != nullptr; }

private:
    void Set(void* function);
    void** m_slot = nullptr;
    void* m_real;
};

// Runs body and gives back the E it raised; the test fails when it raises
// nothing or something else.
template <class E = Quenzal::CException, class F>
E Raised(F&& body)
{
    try {
        body();
    } catch (const E& e) {
        return e;
    } catch (const std::exception& e) {
        ADD_FAILURE() << "other exception: " << e.what();
    }
    ADD_FAILURE() << "no exception";
    return E(L"");
}

} // namespace QzlTest

#define QZL_CHILD_CASE(name)                                                                   \
    static int ChildCase_##name();                                                             \
    static const bool ChildCaseRegistered_##name =                                             \
        (::QzlTest::RegisterChildCase(#name, ChildCase_##name), true);                         \
    static int ChildCase_##name()
