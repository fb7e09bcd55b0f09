#pragma once

#include <QHash>
#include <QString>

// The frame rate and frame count of the videos of one folder, kept in the file
// "exportCSV/videoproperties.cache" so that a folder of a thousand videos is described without
// opening a thousand decoders. An entry is valid while the video's size and modification time
// are unchanged; anything else in the file is ignored.
//
//   VideoPropertyCache cache("/rec");
//   VideoFacts facts = cache.facts("/rec/video_20150612_1430_01.mp4");
//   cache.save();   // only writes when something new was probed
struct VideoFacts {
    double fps = 0;
    double frames = 0;
    bool usable() const { return fps > 0 && frames > 0; }
};

class VideoPropertyCache
{
public:
    explicit VideoPropertyCache(const QString& directory);

    VideoFacts facts(const QString& videoPath);
    // True when nothing needed writing or the file was replaced completely.
    bool save();

    QString filePath() const;
    int probed() const { return probedCount; }

    static const char* const fileName;

private:
    struct Entry {
        qint64 size = -1;
        qint64 modifiedMs = -1;
        VideoFacts facts;
    };
    void load();

    QString directory;
    QHash<QString, Entry> entries; // by file name
    int probedCount = 0;
    bool dirty = false;
};

// Asks the decoder; zero facts when the file cannot be opened.
VideoFacts probeVideo(const QString& videoPath);
