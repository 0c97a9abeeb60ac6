#pragma once
// What every benchmark measures with: a high-resolution clock and the
// process's peak working set.

namespace QzlBench {

// Seconds since an arbitrary start, from the performance counter.
double Now();
// The peak working set of this process in MiB; 0 when the system does not say.
double PeakWorkingSetMiB();

} // namespace QzlBench
