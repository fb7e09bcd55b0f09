#pragma once

// The size at which the video view shows frames of the open video, and the mapping of view
// pixels back to video pixels. Four frame sizes are known; any other is stretched to 640 x 480
// and view coordinates are taken as video coordinates unchanged.
struct DisplayGeometry {
    int width = 640;
    int height = 480;
    int upFactor = 0;   // video = view * upFactor, when not 0
    int downFactor = 0; // video = view / downFactor, when not 0; wins over upFactor

    // True for the four known frame sizes.
    bool setDisplayGeometry(int frameWidth, int frameHeight);
    int toVideo(int viewCoordinate) const;
};
