#include "BenchSupport.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>

namespace QzlBench {

double Now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double PeakWorkingSetMiB()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters)))
        return 0;
    return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

void PrintGoal(const char* figure, double value, const char* unit, bool below, double limit)
{
    const bool met = below ? value < limit : value >= limit;
    char goal[64];
    std::snprintf(goal, sizeof(goal), "goal %s %g%s", below ? "<" : ">=", limit, unit);
    std::printf("goal: %-58s %8.2f%-5s %-16s %s\n", figure, value, unit, goal, met ? "met" : "NOT MET");
    std::fflush(stdout);
}

} // namespace QzlBench
