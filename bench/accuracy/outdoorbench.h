#pragma once

// The outdoor grid of the accuracy benchmark: generates (or reuses) its videos in DIR/outdoor,
// counts them with each mode, and prints precision, recall, the error classes (false events
// during a gust, repeated events, other false events, missed events) and the processor time of
// each mode. Returns the program's exit status.

#include "benchrun.h"

int runOutdoorGrid(const BenchSettings& settings, const QString& dir, const QString& program);
