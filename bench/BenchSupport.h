#pragma once
// What every benchmark measures with: a high-resolution clock and the
// process's peak working set; and how a figure with a goal is reported.

namespace QzlBench {

// Seconds since an arbitrary start, from the performance counter.
double Now();
// The peak working set of this process in MiB; 0 when the system does not say.
double PeakWorkingSetMiB();
// A figure that has a goal, as one line "goal: ..." with the goal and whether
// it is met: scripts/bench gathers these lines into its summary. With below
// the figure must stay under the limit, otherwise it must reach it.
void PrintGoal(const char* figure, double value, const char* unit, bool below, double limit);

} // namespace QzlBench
