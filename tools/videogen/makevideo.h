#pragma once

// orvane-makevideo as a function of its parsed options, so that tests can call it in-process.

#include "motion.h"
#include "outdoor.h"
#include "videogen.h"

#include <QString>
#include <QStringList>
#include <opencv2/core.hpp>
#include <vector>

struct MakeVideoOptions {
    QString output;
    videogen::ClipRecipe recipe; // its blobs are those given with --blob
    bool framesGiven = false;
    int insects = 4;
    bool generatePaths = false; // a region or a motion option was given
    videogen::MotionOptions motion;
    bool perSecond = false; // --speeds in pixels per second, the paths timed in seconds
    videogen::OutdoorOptions outdoor;
    QString truth; // centres file; the events go beside it
    std::vector<cv::Point> line;
    std::vector<cv::Point> area;
    bool help = false;
};

// The arguments include the program name. Returns an empty text, or the usage error.
QString parseMakeVideoArguments(const QStringList& arguments, MakeVideoOptions& options);
QString makeVideoUsage();

// The events file written beside a truth file: NAME.csv gives NAME_events.csv.
QString eventsPathFor(const QString& truthPath);

// Writes the video, and the truth and region files asked for. Returns an empty text, or what
// failed.
QString makeVideo(MakeVideoOptions options);
