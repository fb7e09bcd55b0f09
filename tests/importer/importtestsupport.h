#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Folder of the built programs (mp4box among them).
QString binDir();

// Puts binDir() in front of PATH, so the worker finds the freshly built mp4box.
void putToolOnPath();

// Makes a short test-pattern video with the ffmpeg program; `codecArgs` choose codec and
// container, e.g. {"-c:v", "libx264", "-bf", "0", "-f", "h264"} for a raw camera-like stream.
bool makeVideo(const QString& path, int frames, const QStringList& codecArgs);

// Re-encodes the video `from` into `to` with ffmpeg, e.g. {"-c:v", "mjpeg"} for an AVI file.
bool transcode(const QString& from, const QString& to, const QStringList& codecArgs);

// The raw H.264 stream cameras record: no B-frames, no container.
QStringList rawH264Args();
bool makeRawH264(const QString& path, int frames);

// `size` bytes of a fixed, non-repeating pattern.
QByteArray patternBytes(qint64 size);

bool writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);
