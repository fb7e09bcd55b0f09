#include "insectdetect.h"

InsectDetect::InsectDetect(QObject* parent) : QObject(parent) {}
void InsectDetect::reset() {}
