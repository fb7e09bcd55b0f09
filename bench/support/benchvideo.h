#pragma once

#include <QString>

// The 1080p clip the analysis benchmarks time: insects crossing the frame in waves of 400 frames,
// with a mask over nearly the whole frame and a square counting area in its middle.
namespace benchvideo
{
// Writes the clip; prints why to standard error, prefixed by `program`, when it cannot.
bool makeVideo(const QString& path, int frames, const char* program);
// Writes the clip's mask and counting area into its exportCSV folder.
bool saveRegions(const QString& video);
// Writes the clip unless it is there already, saying so on standard output, then its regions.
bool prepare(const QString& video, int frames, const char* program);
// Decodes every frame and returns how many there were.
long plainDecode(const QString& path);
} // namespace benchvideo
