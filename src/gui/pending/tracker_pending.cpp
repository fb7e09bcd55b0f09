#include "tracker.h"

MvtDetector::MvtDetector() {}
Tracker::Tracker() {}
Tracker::~Tracker() {}
void Tracker::process(cv::Mat&) {}
void Tracker::reset() {}
void draw_targets(cv::Mat&, QList<Target*>&) {}
