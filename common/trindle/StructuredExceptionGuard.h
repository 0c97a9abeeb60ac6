#pragma once
// One guard for structured exceptions (access violations, the thread-naming
// exception and the like), which C++ catch clauses never see. Work items,
// thread naming and the crash filter use it, and so does every place where
// no failure may leave our code: COM entry points, event sinks, window
// procedures.
//
// GCC has no __try/__except; the guard is one function with a scope-table
// entry for the system's C handler, and the filter to call is looked up per
// frame, so that guards may nest.

#include <windows.h>

#include <type_traits>

namespace Quenzal::Os {

// Answers EXCEPTION_CONTINUE_SEARCH, EXCEPTION_CONTINUE_EXECUTION or
// EXCEPTION_EXECUTE_HANDLER (the body is abandoned where it stands).
using StructuredExceptionFilter = LONG (*)(EXCEPTION_POINTERS* pointers, void* context);

// Runs body(bodyContext) with the filter watching it. C++ exceptions pass the
// guard untouched. False when the filter abandoned the body.
bool RunGuarded(void (*body)(void*), void* bodyContext, StructuredExceptionFilter filter,
                void* filterContext = nullptr);

template <class Body>
bool RunGuarded(Body&& body, StructuredExceptionFilter filter, void* filterContext = nullptr)
{
    using Callable = std::remove_reference_t<Body>;
    return RunGuarded([](void* callable) { (*static_cast<Callable*>(callable))(); },
                      const_cast<void*>(static_cast<const void*>(&body)), filter, filterContext);
}

// The filter of last resort: logs the exception, saves a minidump and ends the
// process with the exception's code (see Minidump.h).
LONG CrashFilter(EXCEPTION_POINTERS* pointers, void* context);

// Runs the body so that a structured exception ends the process through the
// crash filter, unless a debugger is attached: it should see the fault where
// it happens.
template <class Body>
void RunGuardedAgainstCrash(Body&& body)
{
    if (::IsDebuggerPresent())
        body();
    else
        RunGuarded(body, CrashFilter);
}

} // namespace Quenzal::Os
