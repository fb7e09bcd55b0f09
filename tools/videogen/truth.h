#pragma once

// The true counting events of a generated video, from the blobs' known centres: crossings of a
// counting line with their direction, and entries into and exits from a counting area.
//
// A centre on the line or on the area's border keeps the side it came from, so touching the
// border and turning back is no event. Line crossings are counted only within the segment's
// extent. Direction of a line crossing: In goes from the right-hand side to the left-hand side of
// someone walking along the line on the screen from its first point to its second (for a line
// drawn from top to bottom: from left to right), Out the other way.

#include "videogen.h"

#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace videogen
{

struct TrueEvent {
    int frame = 0;  // first frame on which the centre is on the new side
    int insect = 0; // index of the blob in the recipe
    cv::Point at;   // centre on that frame
    int in = 0;
    int out = 0;
    // Frames around the event on which the insect's body touches the border (at least the
    // frame before the event and the event's own): a counter may fairly count it on any of them.
    int touchFirst = 0;
    int touchLast = 0;
};

// +1 on the right-hand side of the line from p0 to p1 (as seen on the screen), -1 on its left,
// 0 on the line itself.
int sideOfLine(cv::Point p0, cv::Point p1, cv::Point p);

std::vector<TrueEvent> lineEvents(const std::vector<Blob>& blobs, int frames, cv::Point p0,
                                  cv::Point p1);
// `polygon` as drawn, closed or not.
std::vector<TrueEvent> areaEvents(const std::vector<Blob>& blobs, int frames,
                                  const std::vector<cv::Point>& polygon);

// "frame;insect;x;y", one line per drawn blob and frame.
bool writeCentres(const std::string& path, const std::vector<Blob>& blobs, int frames,
                  std::string* error = nullptr);
// "frame;insect;x;y;In;Out;touchFirst;touchLast", one line per event, in frame order.
bool writeEvents(const std::string& path, const std::vector<TrueEvent>& events,
                 std::string* error = nullptr);

} // namespace videogen
