#include "tracker.h"

MvtDetector::MvtDetector() {}
void MvtDetector::setMask(const cv::Mat&) {}
Tracker::Tracker() {}
Tracker::~Tracker() {}
void Tracker::process(cv::Mat&) {}
void Tracker::reset() {}
void draw_targets(cv::Mat&, QList<Target*>&) {}
