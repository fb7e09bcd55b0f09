// The capture module: what the analysis loads to read the videos its own decoder declines.
#include "videocapture.h"

extern "C" __attribute__((visibility("default"))) CaptureReader* orvaneNewCaptureReader()
{
    return new VideoCaptureReader;
}
