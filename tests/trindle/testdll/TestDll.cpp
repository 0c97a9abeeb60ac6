// A small library that tests load, register and inspect. It carries the core
// library, so that functions which look at "this module" can be asked here.

#include "Minidump.h"
#include "ThreadPoolWork.h"
#include "Wait.h"

#include <windows.h>

#include <atomic>
#include <cwchar>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>


extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer()
{
    // The test chooses the result through the environment.
    wchar_t text[32] = {};
    if (::GetEnvironmentVariableW(L"QZL_TESTDLL_REGISTER_RESULT", text, 32) == 0)
        return S_OK;
    return static_cast<HRESULT>(wcstoul(text, nullptr, 0));
}

// The crash-dump name as this library would make it.
extern "C" __declspec(dllexport) void QzlTestMinidumpFileName(wchar_t* buffer, size_t size)
{
    Quenzal::StringW name = Quenzal::Os::GetMinidumpFileName();
    wcsncpy_s(buffer, size, name.c_str(), _TRUNCATE);
}

// A C++ exception thrown and caught here: the runtime this library carries
// then holds state for the calling thread.
extern "C" __declspec(dllexport) int QzlTestThrowAndCatch()
{
    try {
        throw std::runtime_error("caught here");
    } catch (const std::runtime_error&) {
        return 1;
    }
}

namespace {

// Runs body on count pool threads at once; the items are given back once all began.
std::vector<std::shared_ptr<Quenzal::Os::CThreadPoolWork>> RunTogetherInPool(int count, std::function<void()> body)
{
    auto began = std::make_shared<std::atomic<int>>(0);
    auto all = std::make_shared<Quenzal::Os::CHandle>(Quenzal::Os::CreateManualResetEvent());
    std::vector<std::shared_ptr<Quenzal::Os::CThreadPoolWork>> items(count);
    for (auto& item : items) {
        item = std::make_shared<Quenzal::Os::CThreadPoolWork>();
        item->SetWorkFunction([=] {
            if (began->fetch_add(1) + 1 == count)
                ::SetEvent(all->Get());
            ::WaitForSingleObject(all->Get(), 60000);
            body();
        });
        Quenzal::Os::QueueThreadPoolWork(item);
    }
    ::WaitForSingleObject(all->Get(), 60000);
    return items;
}

} // namespace

// Each of count pool threads throws and catches here.
extern "C" __declspec(dllexport) void QzlTestThrowInPool(int count)
{
    for (const auto& item : RunTogetherInPool(count, [] { QzlTestThrowAndCatch(); }))
        ::WaitForSingleObject(item->GetCompletionEvent(), 60000);
}
