#pragma once

#include <QString>

// How a run turns tracked insects into events. Classic is the long-standing rule set that
// stored results and comparisons with earlier seasons rely on. Strict follows every tracked
// insect and counts each crossing, entry and exit once, and finds insects that move slowly.
// A run keeps its mode from start to end.
enum class CountingMode { Classic, Strict };

// "classic" or "strict".
QString countingModeName(CountingMode mode);
// False, leaving `mode` untouched, for any other text.
bool countingModeFromName(const QString& name, CountingMode& mode);
