// The performance counter as the frame loop and the script start read it:
// readings are counts as doubles, and a difference times the seconds-per-count
// factor is seconds.
#pragma once

// Reads the counter into *count; false (nothing written) when it cannot be read.
bool CTRL_readCounter(double* count);

// Seconds per count. Taken from the counter frequency before its first use,
// so the first frame's timings are already right.
double CTRL_secondsPerCount();

// Reads the counter frequency again (each render does).
void CTRL_refreshSecondsPerCount();
