#pragma once
// The processor time this thread has spent, user and system, in seconds.
// Tests that judge how work grows measure it instead of wall time, which
// also counts the turns of every other program on a busy machine.

#include <time.h>

inline double threadCpuSeconds()
{
    timespec spent{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &spent);
    return double(spent.tv_sec) + double(spent.tv_nsec) / 1e9;
}
