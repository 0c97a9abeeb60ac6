#include "StringW.h"
#include "ThreadName.h"

#include <gtest/gtest.h>

#include <thread>

using namespace Quenzal;

namespace {

StringW DescriptionOf(HANDLE thread)
{
    using GetDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);
    auto get = reinterpret_cast<GetDescription>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
    if (get == nullptr)
        return L"<unsupported>";
    PWSTR text = nullptr;
    if (FAILED(get(thread, &text)))
        return L"<failed>";
    StringW result(text);
    LocalFree(text);
    return result;
}

} // namespace

TEST(ThreadName, NamesTheCurrentAndAnotherThread)
{
    Os::SetThreadName(GetCurrentThreadId(), "Qzl main test thread");
    EXPECT_EQ(DescriptionOf(GetCurrentThread()), StringW(L"Qzl main test thread"));

    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    StringW seen;
    DWORD workerId = 0;
    std::thread worker([&] {
        workerId = GetCurrentThreadId();
        SetEvent(ready);
        WaitForSingleObject(done, INFINITE);
        seen = DescriptionOf(GetCurrentThread());
    });
    WaitForSingleObject(ready, INFINITE);
    Os::SetThreadName(workerId, "Anonymous lambda");
    SetEvent(done);
    worker.join();
    EXPECT_EQ(seen, StringW(L"Anonymous lambda"));
    CloseHandle(ready);
    CloseHandle(done);
}

TEST(ThreadName, UnknownThreadOrNoNameIsHarmless)
{
    Os::SetThreadName(0xFFFFFFF0, "nobody");
    Os::SetThreadName(GetCurrentThreadId(), nullptr);
    Os::SetThreadName(GetCurrentThreadId(), "");
    EXPECT_EQ(DescriptionOf(GetCurrentThread()), StringW());
}
