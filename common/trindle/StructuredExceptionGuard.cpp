#include "StructuredExceptionGuard.h"

#include "Minidump.h"

#include <excpt.h>

#include <cstdint>

namespace Quenzal::Os {

namespace {

// One guard under way on this thread. It lives in the frame that calls the
// guarded frame, so it lies above that frame on the stack and below every
// outer guard's frame.
struct GuardRecord {
    StructuredExceptionFilter filter;
    void* context;
    GuardRecord* outer;
    bool abandoned;
};

thread_local GuardRecord* t_innermostGuard = nullptr;

} // namespace

} // namespace Quenzal::Os

// The scope table of the guarded frame names this filter. The system passes
// the frame it was found in; the guard it belongs to is the innermost one
// recorded above that frame.
extern "C" LONG QzlStructuredExceptionGuardFilter(EXCEPTION_POINTERS* pointers, void* frame)
{
    using Quenzal::Os::GuardRecord;
    // C++ exceptions travel as structured exceptions of GCC's own code; they
    // are for catch clauses, not for guards.
    constexpr DWORD GccExceptionCode = 0x20474343;
    if (pointers->ExceptionRecord->ExceptionCode == GccExceptionCode)
        return EXCEPTION_CONTINUE_SEARCH;
    const auto frameAddress = reinterpret_cast<uintptr_t>(frame);
    for (GuardRecord* guard = Quenzal::Os::t_innermostGuard; guard != nullptr; guard = guard->outer) {
        if (reinterpret_cast<uintptr_t>(guard) < frameAddress)
            continue;
        LONG answer = guard->filter(pointers, guard->context);
        if (answer == EXCEPTION_EXECUTE_HANDLER)
            guard->abandoned = true;
        return answer;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

namespace Quenzal::Os {

namespace {

// The guard's labels are fixed, so this function must exist exactly once.
__attribute__((noinline, noclone)) void RunInGuardedFrame(void (*body)(void*), void* context)
{
    __try1(QzlStructuredExceptionGuardFilter)
    body(context);
    __except1
}

} // namespace

bool RunGuarded(void (*body)(void*), void* bodyContext, StructuredExceptionFilter filter, void* filterContext)
{
    GuardRecord guard{filter, filterContext, t_innermostGuard, false};
    struct Unlink {
        GuardRecord& guard;
        ~Unlink() { t_innermostGuard = guard.outer; }
    } unlink{guard};
    t_innermostGuard = &guard;
    RunInGuardedFrame(body, bodyContext);
    return !static_cast<volatile bool&>(guard.abandoned);
}

LONG CrashFilter(EXCEPTION_POINTERS* pointers, void*)
{
    return QzlUnhandledExceptionFilter(pointers);
}

} // namespace Quenzal::Os
