#pragma once

#include <QString>

// Where the files derived from a video live: the folder "exportCSV" beside the video, and in it
// the video's base name (its file name without the last extension) followed by a suffix, e.g.
//   ExportPath::file("/rec/trap.2015.mp4", ".csv")  ==  "/rec/exportCSV/trap.2015.csv"
// Every part of the application that places or finds such a file goes through here.
namespace ExportPath
{

// Everything up to and including the last separator of the path ('/', and on Windows also
// '\'); empty for a bare file name.
QString directory(const QString& videoPath);
// The last path component without its last extension ("a.b.mp4" -> "a.b").
QString baseName(const QString& videoPath);
// The exportCSV folder of the video, without a trailing separator.
QString folder(const QString& videoPath);
// The folder, then the base name, then the suffix.
QString file(const QString& videoPath, const QString& suffix);
// Creates the folder (and its parents) when missing; true when it exists afterwards.
bool ensureFolder(const QString& videoPath);

inline const char* const areaSuffix = "_area.adv";
inline const char* const maskSuffix = "_mask.adv";
inline const char* const resultSuffix = ".csv";
// The result file while its video is being analysed; renamed to resultSuffix once complete.
inline const char* const partialResultSuffix = ".csv.part";
inline const char* const densityImageSuffix = "_vorl.jpg";
inline const char* const densityTextSuffix = "_vorl.txt";
// How the complete result was made: program, counting mode, regions, frames, times.
inline const char* const recordSuffix = "_run.json";

} // namespace ExportPath
