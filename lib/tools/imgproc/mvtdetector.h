#pragma once

#include "backgroundmodel.h"
#include "blobsplit.h"
#include "target.h"

#include <QList>
#include <opencv2/core.hpp>
#include <vector>

// The clean-up of a thresholded difference: the erosions remove specks of noise, the dilation
// joins the pieces of one insect, and the second erosion takes back most of what it added.
struct BlobMorphology {
    int firstErosions = 1;
    int dilations = 20;
    int secondErosions = 5;
    // Contours with fewer points (after CHAIN_APPROX_SIMPLE) are not insects.
    int minContourPoints = 5;

    // How far, in pixels, the three passes together carry a pixel's influence.
    int reach() const { return firstErosions + dilations + secondErosions; }
    // A frame difference shows an insect as two thin crescents, which a wide dilation joins.
    static BlobMorphology forFrameDifference() { return {1, 20, 5, 5}; }
    // A background difference shows the whole body: a small dilation keeps neighbours apart, and
    // a small insect's blob may be a plain square of four corners.
    static BlobMorphology forBackground() { return {1, 2, 1, 1}; }
};

// Finds the moving blobs of a greyscale frame by differencing it against the previous one,
// inside an optional mask, and appends one pool Target per blob.
//
// All image work is confined to the mask's bounding box widened by the pixels that the
// erosions and the dilation can reach: outside it the difference is 0 before and after the
// morphology, so the blobs found are exactly those of a whole-frame pass. Inside the box only the
// mask's runs of non-zero pixels are read: elsewhere both the masked frame and the masked
// reference are 0, so the difference is 0 too. Masking, differencing and thresholding are one
// pass, which also notes the blocks holding a changed pixel; the first erosion, which can only
// remove changed pixels, runs around those blocks alone. For the same reason the dilation, the
// second erosion and the contour search run only around the clusters of changed pixels that
// survive the first erosion, each cluster on its own; the contours are then put back in the order
// a whole-frame search returns them. The working images are kept between frames so that a frame
// allocates no image buffer.
class MvtDetector
{
public:
    MvtDetector();

    // What each frame is compared with: the previous frame, or a learnt background (see
    // BackgroundModel) that keeps showing an insect which moves too little between two frames
    // to survive the erosion, and that holds when the camera shakes, the light changes or the
    // scene flickers. A frame against the background in which more than half of the analysed
    // pixels, or more blobs than maxBlobs, change at once is a disturbance (the light switched,
    // the camera was knocked): it gives no blob, and becomes the new background.
    enum class Reference { PreviousFrame, Background };
    // Forgets the reference frame, like setMask.
    void setReference(Reference kind);
    Reference reference() const { return referenceKind; }
    // The background's time constants are in seconds; frames come at `fps` (25 until told).
    void setFrameRate(double fps) { model.setFrameRate(fps); }
    // More blobs than this in one frame against the background are a disturbance, far more than
    // the insects a trap's camera shows at once, and more than tracking could follow cheaply.
    static constexpr int maxBlobs = 150;
    // Against the background, a blob with less than this share of the area of a blob at most
    // fragmentGap pixels away is part of that insect: a leg, a translucent wing, its shadow.
    static constexpr double fragmentShare = 0.35;
    static constexpr int fragmentGap = 6;
    // ...unless it holds at least this share of the usual area of one insect.
    static constexpr double wholeShare = 0.5;

    // Deep copy of the mask; forgets the reference frame, so the next frame detects nothing.
    void setMask(const cv::Mat& m);
    // The part of a frame that detection reads; empty without a mask (the whole frame is read).
    const cv::Rect& workingBox() const { return box; }
    void detect(cv::Mat& frame, QList<Target*>& targets);
    void detectabsdiff(cv::Mat& frame, QList<Target*>& targets);
    // The same as detect on the frame turned grey with cv::cvtColor(COLOR_BGR2GRAY), converting
    // only the pixels the mask lets through. `frame` is 8-bit BGR.
    void detectColour(const cv::Mat& frame, QList<Target*>& targets);
    // The same as detect on a grey frame of which `grey` is the working box (the whole frame
    // without a mask): the analysed part of a frame made grey by its source.
    void detectWorkingBox(const cv::Mat& grey, QList<Target*>& targets);

    // Against the background, blobs of insects that touch are split once the area of one insect
    // is known (see BlobSplit); 0 until then.
    void setUsualArea(int pixels) { usualArea = pixels; }
    // Against the background: the tracks being followed (not owned; none when null), each
    // detection's until its frame is tracked. A disturbed frame becomes the background everywhere
    // but where they are to be.
    void setFollowedInsects(const QList<Target*>* tracks) { followed = tracks; }
    // Against the background, after a frame was compared: where `box` (in the frame) holds at
    // least `leastPixels` pixels that differ by more than `share` of their usual bar, appends a
    // target of them. The tracker looks there for an insect it follows that the frame shows too
    // faintly to make a blob.
    bool addFainter(const cv::Rect& box, double share, int leastPixels, QList<Target*>& targets);

    // Forgets the reference frame, like setMask.
    void setMorphology(const BlobMorphology& m);
    const BlobMorphology& morphology() const { return passes; }

private:
    struct Run {
        int y, x0, x1; // pixels [x0, x1) of row y of the working box
    };

    bool acceptFrame(const cv::Mat& frame, int type) const;
    void detectIn(const cv::Mat& frame, QList<Target*>& targets);
    // `inWork` is the working box `work` of the frame.
    void detectInBox(const cv::Mat& inWork, const cv::Rect& work, QList<Target*>& targets);
    const uchar* greyRun(const cv::Mat& frame, const Run& r);
    void buildRuns(const cv::Mat& boxMask, cv::Size size);
    void storeReference(const cv::Mat& frame);
    void differenceAndThreshold(const cv::Mat& frame, bool keepAsReference);
    void clearDifference(cv::Size size);
    void detectOnBackground(const cv::Mat& inWork, const cv::Rect& work, QList<Target*>& targets);
    // The frame itself when grey, else greyBox.
    cv::Mat greyOf(const cv::Mat& frame);
    void prepareBoxMask(const cv::Rect& work);
    void joinFragments(QList<Target*>& targets, int first);
    bool wholeInsect(const Target& blob) const;
    void dropBackgroundPattern(QList<Target*>& targets, int first, cv::Point offset);
    void centreOnBodies(QList<Target*>& targets, int first, cv::Point offset);
    void disturbance(const char* what, long amount, const cv::Mat& grey, const cv::Rect& work,
                     bool learn);
    void erodeChangedBlocks();
    // False, having found nothing, when the frame against the background holds more clusters of
    // changed pixels than maxBlobs.
    bool findBlobs(const cv::Rect& box, QList<Target*>& targets);
    void markOccupiedBlocks(const cv::Rect& region);
    void groupBlocks(const cv::Mat_<uchar>& grid, int reach, std::vector<cv::Rect>& out);
    void mergeClose(std::vector<cv::Rect>& rects, int reach, int blocks);
    bool joinTouching(std::vector<cv::Rect>& rects, int reach);
    void traceRegion(const cv::Rect& region, const cv::Point& offset);
    void makeTargets(QList<Target*>& targets);
    // False when the pool ran dry.
    bool addTarget(QList<Target*>& targets, const cv::Rect& box, int area);

    cv::Mat previous; // masked reference frame, limited to the working box
    BlobMorphology passes = BlobMorphology::forFrameDifference();
    Reference referenceKind = Reference::PreviousFrame;
    BackgroundModel model; // with Reference::Background
    BlobSplit splitter;
    int usualArea = 0;
    const QList<Target*>* followed = nullptr;
    std::vector<cv::Rect> followedInBox; // where they are to be, in the working box
    cv::Mat greyBox;                     // a colour frame's working box turned grey
    cv::Mat boxMask;                     // the mask in the working box, 0 or 255
    long boxMaskPixels = 0;
    cv::Mat mask;
    cv::Rect box; // working box when a mask is set
    // Runs of analysed pixels of the working box, row by row; without a mask, whole rows of
    // `runsSize`.
    std::vector<Run> runs;
    cv::Size runsSize;
    // Outside the runs the difference image is kept at 0 from one frame to the next.
    cv::Mat difference;
    bool differenceClean = false;
    // Where the last frame compared against the background lies on it, and whether that frame
    // gave its blobs (it was no disturbance).
    cv::Point lastOffset;
    bool compared = false;
    cv::Mat greyStrip; // stripRows rows of a colour frame turned grey, from row stripTop of the box
    int stripTop = 0;
    int stripRows = 0;
    cv::Mat_<uchar> changed; // blocks holding a changed pixel before the first erosion
    std::vector<cv::Rect> erosionRegions;
    std::vector<std::vector<cv::Point>> contours;
    std::vector<std::vector<cv::Point>> regionContours;
    std::vector<cv::Point> polygon;
    // Clusters of changed pixels, found on a grid of blocks.
    cv::Mat_<uchar> occupied;
    std::vector<uchar> bandOr;
    std::vector<int> parent;
    std::vector<int> clusterOfRoot;
    std::vector<int> byLeft, joinedTo; // rectangles in order of their left side; their groups
    std::vector<size_t> keptAt;        // where a group's first rectangle was put
    std::vector<cv::Rect> clusters;    // in blocks, then in pixels of the difference image
};
