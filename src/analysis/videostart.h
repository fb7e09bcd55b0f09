#pragma once

#include <QDateTime>
#include <QString>

// The recording start of a video, read from its file name. Only paths containing "video_" carry
// one: every "video_" is removed from the base name, the last three characters (the clip number)
// are dropped and the rest is read as "yyyyMMdd_hhmm":
//   startTimeFromFileName("/rec/video_20150612_1430_01.mp4")  ==  12 June 2015, 14:30
// A path without "video_" gives the current local time; a malformed rest an invalid date-time.
QDateTime startTimeFromFileName(const QString& path);
