#include "displaygeometry.h"

bool DisplayGeometry::setDisplayGeometry(int frameWidth, int frameHeight)
{
    struct Known {
        int frameWidth, frameHeight, width, height, up, down;
    };
    static const Known known[] = {{1920, 1080, 640, 360, 3, 0},
                                  {1280, 720, 640, 360, 2, 0},
                                  {640, 480, 640, 480, 0, 0},
                                  {320, 240, 640, 480, 0, 2}};
    for (const Known& k : known) {
        if (k.frameWidth == frameWidth && k.frameHeight == frameHeight) {
            width = k.width;
            height = k.height;
            upFactor = k.up;
            downFactor = k.down;
            return true;
        }
    }
    width = 640;
    height = 480;
    upFactor = 0;
    downFactor = 0;
    return false;
}

int DisplayGeometry::toVideo(int viewCoordinate) const
{
    if (downFactor != 0)
        return viewCoordinate / downFactor;
    if (upFactor != 0)
        return viewCoordinate * upFactor;
    return viewCoordinate;
}
