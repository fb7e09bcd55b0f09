#include "mvtdetector.h"

#include "targetpool.h"
#include "unionfind.h"

#include <QDebug>
#include <QLoggingCategory>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

namespace
{
// A blob's box where it lies on the background, the frame's pixels less `offset`.
cv::Rect onBackground(const Target& t, cv::Point offset)
{
    return t.box() - offset;
}

constexpr double differenceThreshold = 6;
constexpr double setValue = 255;
constexpr double polygonEpsilon = 3.0;
// The least share of its box that a fainter insect's pixels fill.
constexpr double fainterDensity = 0.4;
const cv::Scalar morphologyBorderValue = cv::Scalar::all(1);

// Grid on which the clusters of changed pixels are found.
constexpr int blockSize = 16;
// Blocks this close (in blocks) are grouped before the exact merge.
constexpr int groupingReach = 2;
// Past this share of the working box, one pass over the whole box is cheaper than regions.
constexpr double wholeBoxShare = 0.5;

// Against the background, a frame in which more than this share of the analysed pixels changed
// at once is a change of light or a knocked camera, not motion.
constexpr double disturbedShare = 0.5;
// Through a disturbed frame the background is kept where each followed track is to be, its box
// widened by half its size and followedMargin pixels (its wings, its shadow, the prediction's
// error), when that box is at most 1 / largestFollowedShare of the working box.
constexpr int followedMargin = 2;
constexpr int largestFollowedShare = 16;

cv::Rect widened(const cv::Rect& r, int by)
{
    return cv::Rect(r.x - by, r.y - by, r.width + 2 * by, r.height + 2 * by);
}

// findContours returns outer contours in descending raster order of their first point.
bool rasterLater(const std::vector<cv::Point>& a, const std::vector<cv::Point>& b)
{
    return a[0].y > b[0].y || (a[0].y == b[0].y && a[0].x > b[0].x);
}

// Whether the regions together cover more than wholeBoxShare of `whole`.
bool coverMostOf(const std::vector<cv::Rect>& regions, const cv::Rect& whole)
{
    double covered = 0;
    for (const cv::Rect& r : regions)
        covered += r.area();
    return covered > wholeBoxShare * whole.area();
}

void orRow(uchar* acc, const uchar* row, int cols)
{
    int x = 0;
    for (; x + 8 <= cols; x += 8) {
        std::uint64_t a, b;
        std::memcpy(&a, acc + x, 8);
        std::memcpy(&b, row + x, 8);
        a |= b;
        std::memcpy(acc + x, &a, 8);
    }
    for (; x < cols; ++x)
        acc[x] |= row[x];
}
} // namespace

MvtDetector::MvtDetector() = default;

void MvtDetector::setReference(Reference kind)
{
    referenceKind = kind;
    previous.release();
    model.reset();
}

void MvtDetector::setMorphology(const BlobMorphology& m)
{
    passes = m;
    setMask(mask.clone());
}

void MvtDetector::setMask(const cv::Mat& m)
{
    mask = m.clone();
    previous.release();
    model.reset();
    boxMask.release();
    box = cv::Rect();
    runs.clear();
    runsSize = cv::Size();
    if (mask.empty() || mask.type() != CV_8UC1)
        return; // every frame will be refused as not matching the mask
    const cv::Rect used = cv::boundingRect(mask);
    if (used.empty())
        return; // nothing to analyse: no frame can ever show motion
    box = widened(used, passes.reach()) & cv::Rect(0, 0, mask.cols, mask.rows);
    buildRuns(mask(box), box.size());
}

// Without a mask every row of the working box is one run.
void MvtDetector::buildRuns(const cv::Mat& boxMask, cv::Size size)
{
    runs.clear();
    runsSize = size;
    for (int y = 0; y < size.height; ++y) {
        if (boxMask.empty()) {
            runs.push_back({y, 0, size.width});
            continue;
        }
        const uchar* row = boxMask.ptr<uchar>(y);
        for (int x = 0; x < size.width;) {
            while (x < size.width && row[x] == 0)
                ++x;
            const int x0 = x;
            while (x < size.width && row[x] != 0)
                ++x;
            if (x > x0)
                runs.push_back({y, x0, x});
        }
    }
}

void MvtDetector::detect(cv::Mat& frame, QList<Target*>& targets)
{
    detectabsdiff(frame, targets);
}

bool MvtDetector::acceptFrame(const cv::Mat& frame, int type) const
{
    if (frame.empty() || frame.type() != type) {
        qWarning(type == CV_8UC1 ? "Frame is not an 8-bit grey image: no motion detection"
                                 : "Frame is not an 8-bit BGR image: no motion detection");
        return false;
    }
    if (!mask.empty() && frame.size() != mask.size()) {
        qWarning("Frame of %dx%d does not match the mask of %dx%d: no motion detection", frame.cols,
                 frame.rows, mask.cols, mask.rows);
        return false;
    }
    if (!mask.empty() && mask.type() != CV_8UC1) {
        qWarning("The mask is not an 8-bit one-channel image: no motion detection");
        return false;
    }
    return true;
}

void MvtDetector::detectabsdiff(cv::Mat& frame, QList<Target*>& targets)
{
    if (acceptFrame(frame, CV_8UC1))
        detectIn(frame, targets);
}

void MvtDetector::detectColour(const cv::Mat& frame, QList<Target*>& targets)
{
    if (acceptFrame(frame, CV_8UC3))
        detectIn(frame, targets);
}

void MvtDetector::detectWorkingBox(const cv::Mat& grey, QList<Target*>& targets)
{
    if (grey.empty() || grey.type() != CV_8UC1) {
        qWarning("Frame is not an 8-bit grey image: no motion detection");
        return;
    }
    if (!mask.empty() && mask.type() != CV_8UC1) {
        qWarning("The mask is not an 8-bit one-channel image: no motion detection");
        return;
    }
    if (!mask.empty() && box.empty())
        return; // nothing to analyse, as with a whole frame
    if (!mask.empty() && grey.size() != box.size()) {
        qWarning("Working box of %dx%d does not match the mask's of %dx%d: no motion detection",
                 grey.cols, grey.rows, box.width, box.height);
        return;
    }
    detectInBox(grey, mask.empty() ? cv::Rect(cv::Point(), grey.size()) : box, targets);
}

void MvtDetector::detectIn(const cv::Mat& frame, QList<Target*>& targets)
{
    const cv::Rect work = mask.empty() ? cv::Rect(0, 0, frame.cols, frame.rows) : box;
    if (!work.empty())
        detectInBox(frame(work), work, targets);
}

void MvtDetector::detectInBox(const cv::Mat& inWork, const cv::Rect& work, QList<Target*>& targets)
{
    if (work.empty())
        return;
    try {
        if (referenceKind == Reference::Background) {
            detectOnBackground(inWork, work, targets);
            return;
        }
        if (mask.empty() && runsSize != work.size())
            buildRuns(cv::Mat(), work.size());
        if (previous.size() != work.size()) {
            storeReference(inWork); // first frame, or a new frame size: the new reference
            return;
        }
        // A caller that passes a non-empty list keeps comparing against the same reference.
        differenceAndThreshold(inWork, targets.isEmpty());
        findBlobs(work, targets);
    } catch (const cv::Exception& e) {
        differenceClean = false;
        qWarning("Motion detection failed: %s", e.what());
    }
}

// Against the background the whole working box is compared, since the camera's shift and the
// light are measured on all of it; only changes inside the mask count.
void MvtDetector::detectOnBackground(const cv::Mat& inWork, const cv::Rect& work,
                                     QList<Target*>& targets)
{
    const cv::Mat grey = greyOf(inWork);
    if (!model.hasStarted(work.size())) {
        prepareBoxMask(work);
        model.start(grey);
        differenceClean = false;
        return;
    }
    compared = false;
    clearDifference(work.size());
    // A caller that passes a non-empty list keeps comparing against the same background.
    const bool learn = targets.isEmpty();
    const BackgroundModel::Comparison c =
        model.compare(grey, boxMask, difference, changed, blockSize, learn);
    if (QLoggingCategory::defaultCategory()->isDebugEnabled() && c.shift != cv::Point2d())
        qDebug("Camera shift of (%.2f, %.2f) px undone", c.shift.x, c.shift.y);
    if (c.changed > disturbedShare * boxMaskPixels) {
        difference.setTo(0);
        disturbance("changed pixels", c.changed, grey, work, learn);
        return;
    }
    // Blobs are found where they lie on the background: they are put back where the frame shows
    // them.
    const cv::Point shift(cvRound(c.shift.x), cvRound(c.shift.y));
    const int before = targets.size();
    if (!findBlobs(cv::Rect(work.tl() + shift, work.size()), targets)) {
        disturbance("blobs more than", maxBlobs, grey, work, learn);
        return;
    }
    dropBackgroundPattern(targets, before, work.tl() + shift);
    joinFragments(targets, before);
    centreOnBodies(targets, before, work.tl() + shift);
    lastOffset = work.tl() + shift;
    compared = true;
}

bool MvtDetector::addFainter(const cv::Rect& box, double share, int leastPixels,
                             QList<Target*>& targets)
{
    if (!compared || referenceKind != Reference::Background)
        return false;
    const BackgroundModel::Change c =
        model.fainterChangeIn(cv::Rect(box.tl() - lastOffset, box.size()), boxMask, share);
    // Noise passes a lower bar too, in pixels scattered over the box; an insect's are together.
    if (c.pixels < std::max(1, leastPixels) || c.pixels < fainterDensity * c.box.area() ||
        !addTarget(targets, c.box + lastOffset, c.pixels))
        return false;
    targets.back()->centroid = c.centre + lastOffset;
    return true;
}

// A box's centre lies off the insect's body toward its wings and shadow; crossings are judged by
// where the body is.
void MvtDetector::centreOnBodies(QList<Target*>& targets, int first, cv::Point offset)
{
    for (int i = first; i < targets.size(); ++i) {
        Target* t = targets[i];
        t->centroid = model.centreOfChange(onBackground(*t, offset)) + offset;
    }
}

namespace
{
// Pixels between two boxes, 0 when they touch or overlap.
int gapBetween(const Target& a, const Target& b)
{
    const int gx =
        std::max({0, a.origin.x - (b.origin.x + b.width), b.origin.x - (a.origin.x + a.width)});
    const int gy =
        std::max({0, a.origin.y - (b.origin.y + b.height), b.origin.y - (a.origin.y + a.height)});
    return std::max(gx, gy);
}
} // namespace

// A leg, a translucent wing or the shadow of an insect can show apart from its body: a blob much
// smaller than a neighbour a few pixels away is part of it. Two insects side by side are about
// the same size and stay apart.
void MvtDetector::joinFragments(QList<Target*>& targets, int first)
{
    for (int i = targets.size() - 1; i >= first; --i) {
        Target* small = targets[i];
        Target* body = nullptr;
        for (int j = first; j < targets.size(); ++j) {
            Target* t = targets[j];
            if (t != small && small->area < fragmentShare * t->area && !wholeInsect(*small) &&
                gapBetween(*small, *t) <= fragmentGap && (!body || t->area > body->area))
                body = t;
        }
        if (!body)
            continue;
        body->setBox(body->box() | small->box());
        body->area += small->area;
        TargetPool::instance()->release(small);
        targets.removeAt(i);
    }
}

// Once the usual area of one insect is known, a blob of at least wholeShare of it is an insect of
// its own, however large the blob beside it: in a crowd, a blob of several insects would otherwise
// take in its neighbours one by one.
bool MvtDetector::wholeInsect(const Target& blob) const
{
    return usualArea > 0 && blob.area >= wholeShare * usualArea;
}

// Blobs that show the background's own pattern are a change of light or of compression on
// texture, not an insect.
void MvtDetector::dropBackgroundPattern(QList<Target*>& targets, int first, cv::Point offset)
{
    for (int i = targets.size() - 1; i >= first; --i) {
        Target* t = targets[i];
        if (model.showsBackgroundPattern(onBackground(*t, offset))) {
            TargetPool::instance()->release(t);
            targets.removeAt(i);
        }
    }
}

// A disturbed frame gives no blob; it becomes the background, so that the next frames are
// compared with what the camera sees now, except where the insects followed are. A track whose
// box covers a large part of the picture follows no insect but the disturbance itself: the frame
// is learnt there too.
void MvtDetector::disturbance(const char* what, long amount, const cv::Mat& grey,
                              const cv::Rect& work, bool learn)
{
    if (QLoggingCategory::defaultCategory()->isDebugEnabled())
        qDebug("Disturbed frame (%s %ld): no blob, the frame becomes the background", what, amount);
    if (!learn)
        return;
    followedInBox.clear();
    if (followed)
        for (const Target* t : *followed) {
            const cv::Rect r = t->predictedBox(std::max(t->width, t->height) / 2 + followedMargin);
            if (r.area() * largestFollowedShare <= work.area())
                followedInBox.push_back(r - work.tl());
        }
    model.relearn(grey, followedInBox);
}

cv::Mat MvtDetector::greyOf(const cv::Mat& frame)
{
    if (frame.type() == CV_8UC1)
        return frame;
    cv::cvtColor(frame, greyBox, cv::COLOR_BGR2GRAY);
    return greyBox;
}

void MvtDetector::prepareBoxMask(const cv::Rect& work)
{
    if (mask.empty()) {
        boxMask.create(work.size(), CV_8UC1);
        boxMask.setTo(255);
    } else {
        cv::compare(mask(work), 0, boxMask, cv::CMP_NE);
    }
    boxMaskPixels = cv::countNonZero(boxMask);
}

// The grey pixels of a run, at their own columns: the frame's row, or a row of a strip of the
// colour frame converted by cvtColor. Runs come in row order, so each strip is converted once.
const uchar* MvtDetector::greyRun(const cv::Mat& frame, const Run& r)
{
    if (frame.type() == CV_8UC1)
        return frame.ptr<uchar>(r.y);
    if (r.y < stripTop || r.y >= stripTop + stripRows) {
        stripTop = r.y;
        stripRows = std::min(blockSize, frame.rows - r.y);
        greyStrip.create(blockSize, frame.cols, CV_8UC1); // the same buffer from frame to frame
        cv::Mat rows = greyStrip.rowRange(0, stripRows);
        cv::cvtColor(frame(cv::Rect(0, r.y, frame.cols, stripRows)), rows, cv::COLOR_BGR2GRAY);
    }
    return greyStrip.ptr<uchar>(r.y - stripTop);
}

// The masked frame: its runs, 0 elsewhere.
void MvtDetector::storeReference(const cv::Mat& frame)
{
    stripRows = 0;
    previous.create(frame.size(), CV_8UC1);
    previous.setTo(0);
    for (const Run& r : runs)
        std::memcpy(previous.ptr<uchar>(r.y) + r.x0, greyRun(frame, r) + r.x0,
                    static_cast<size_t>(r.x1 - r.x0));
    differenceClean = false;
}

void MvtDetector::clearDifference(cv::Size size)
{
    if (!differenceClean || difference.size() != size) {
        difference.create(size, CV_8UC1);
        difference.setTo(0);
        differenceClean = true;
    }
    changed.create((size.height + blockSize - 1) / blockSize,
                   (size.width + blockSize - 1) / blockSize);
    changed.setTo(0);
    stripRows = 0;
}

// Masking, absolute difference and threshold in one pass over the runs, noting the changed
// blocks; with `keepAsReference` the masked frame also replaces the reference.
void MvtDetector::differenceAndThreshold(const cv::Mat& frame, bool keepAsReference)
{
    if (!differenceClean || difference.size() != frame.size()) {
        difference.create(frame.size(), CV_8UC1);
        difference.setTo(0);
        differenceClean = true;
    }
    changed.create((frame.rows + blockSize - 1) / blockSize,
                   (frame.cols + blockSize - 1) / blockSize);
    changed.setTo(0);
    stripRows = 0;
    const uchar limit = static_cast<uchar>(differenceThreshold);
    for (const Run& r : runs) {
        const uchar* now = greyRun(frame, r);
        uchar* before = previous.ptr<uchar>(r.y);
        uchar* out = difference.ptr<uchar>(r.y);
        uchar* blocks = changed.ptr<uchar>(r.y / blockSize);
        int x = r.x0;
#if CV_SIMD128
        const int lanes = cv::v_uint8x16::nlanes;
        const cv::v_uint8x16 vlimit = cv::v_setall_u8(limit);
        for (; x + lanes <= r.x1; x += lanes) {
            const cv::v_uint8x16 c = cv::v_load(now + x);
            const cv::v_uint8x16 p = cv::v_load(before + x);
            const cv::v_uint8x16 d = cv::v_absdiff(c, p) > vlimit;
            cv::v_store(out + x, d);
            if (keepAsReference)
                cv::v_store(before + x, c);
            if (cv::v_check_any(d))
                blocks[x / blockSize] = blocks[(x + lanes - 1) / blockSize] = 1;
        }
#endif
        for (; x < r.x1; ++x) {
            const uchar c = now[x];
            const uchar p = before[x];
            const bool moved = (c > p ? c - p : p - c) > limit;
            out[x] = moved ? static_cast<uchar>(setValue) : 0;
            if (keepAsReference)
                before[x] = c;
            if (moved)
                blocks[x / blockSize] = 1;
        }
    }
}

// Erosion only removes changed pixels, so it runs around the changed blocks alone. Each region
// is eroded with the real pixels around it as its border, which lie in no other region.
void MvtDetector::erodeChangedBlocks()
{
    groupBlocks(changed, 1, erosionRegions);
    mergeClose(erosionRegions, 1, 0);
    const cv::Rect all(0, 0, difference.cols, difference.rows);
    if (coverMostOf(erosionRegions, all))
        erosionRegions.assign(1, all);
    const cv::Point anchor(-1, -1);
    for (const cv::Rect& r : erosionRegions) {
        cv::Mat part = difference(r);
        cv::erode(part, part, cv::Mat(), anchor, passes.firstErosions, cv::BORDER_REPLICATE,
                  morphologyBorderValue);
    }
}

bool MvtDetector::findBlobs(const cv::Rect& work, QList<Target*>& targets)
{
    erodeChangedBlocks();
    occupied.create(changed.size());
    occupied.setTo(0);
    for (const cv::Rect& r : erosionRegions)
        markOccupiedBlocks(r);
    groupBlocks(occupied, groupingReach, clusters);
    mergeClose(clusters, passes.reach(), passes.reach());
    const cv::Rect all(0, 0, difference.cols, difference.rows);
    if (coverMostOf(clusters, all))
        clusters.assign(1, all);
    if (referenceKind == Reference::Background && clusters.size() > maxBlobs) {
        difference.setTo(0);
        return false;
    }
    contours.clear();
    for (const cv::Rect& c : clusters)
        traceRegion(c, work.tl());
    if (clusters.size() > 1)
        std::sort(contours.begin(), contours.end(), rasterLater);
    const bool exploded =
        referenceKind == Reference::Background && contours.size() > static_cast<size_t>(maxBlobs);
    // Only the traced regions can hold non-zero pixels now (the first erosion keeps none
    // outside the occupied blocks): clearing them restores the all-zero difference.
    for (const cv::Rect& c : clusters)
        difference(c).setTo(0);
    differenceClean = true;
    if (exploded)
        return false;
    makeTargets(targets);
    return true;
}

// A block is occupied when any of its pixels survived the first erosion. `region` is aligned
// on the blocks' grid.
void MvtDetector::markOccupiedBlocks(const cv::Rect& region)
{
    const int x0 = region.x, x1 = region.br().x;
    bandOr.resize(static_cast<size_t>(difference.cols));
    uchar* acc = bandOr.data();
    for (int by = region.y / blockSize; by * blockSize < region.br().y; ++by) {
        std::fill(acc + x0, acc + x1, 0);
        for (int y = by * blockSize; y < std::min(region.br().y, (by + 1) * blockSize); ++y)
            orRow(acc + x0, difference.ptr<uchar>(y) + x0, x1 - x0);
        for (int bx = x0 / blockSize; bx * blockSize < x1; ++bx) {
            uchar any = 0;
            for (int x = bx * blockSize; x < std::min(x1, (bx + 1) * blockSize); ++x)
                any |= acc[x];
            occupied(by, bx) = any != 0;
        }
    }
}

// Blocks set in `grid` within `reach` blocks of each other are joined; `out` gets the bounding
// box of each group, in blocks.
void MvtDetector::groupBlocks(const cv::Mat_<uchar>& grid, int reach, std::vector<cv::Rect>& out)
{
    const int gw = grid.cols;
    parent.resize(grid.total());
    for (size_t i = 0; i < parent.size(); ++i)
        parent[i] = static_cast<int>(i);
    for (int by = 0; by < grid.rows; ++by)
        for (int bx = 0; bx < gw; ++bx) {
            if (!grid(by, bx))
                continue;
            for (int dy = -reach; dy <= 0; ++dy)
                for (int dx = -reach; dx <= reach; ++dx) {
                    const int ny = by + dy, nx = bx + dx;
                    if (dy == 0 && dx >= 0)
                        break;
                    if (ny >= 0 && nx >= 0 && nx < gw && grid(ny, nx))
                        parent[rootOf(parent, ny * gw + nx)] = rootOf(parent, by * gw + bx);
                }
        }
    out.clear();
    clusterOfRoot.assign(parent.size(), -1);
    for (int by = 0; by < grid.rows; ++by)
        for (int bx = 0; bx < gw; ++bx) {
            if (!grid(by, bx))
                continue;
            int& index = clusterOfRoot[rootOf(parent, by * gw + bx)];
            const cv::Rect block(bx, by, 1, 1);
            if (index < 0) {
                index = static_cast<int>(out.size());
                out.push_back(block);
            } else {
                out[index] |= block;
            }
        }
}

// Turns groups of blocks into pixel rectangles of the difference image and joins those that
// come within `reach` pixels of each other, so that no rectangle's work can reach into another;
// each result is then widened by `widenBy` pixels. Which rectangles end up joined does not depend
// on the order they are joined in (a joined one only grows), and each result keeps the place of
// the first rectangle it took in.
void MvtDetector::mergeClose(std::vector<cv::Rect>& rects, int reach, int widenBy)
{
    const cv::Rect all(0, 0, difference.cols, difference.rows);
    for (cv::Rect& c : rects)
        c = cv::Rect(c.x * blockSize, c.y * blockSize, c.width * blockSize, c.height * blockSize) &
            all;
    while (joinTouching(rects, reach)) {
    }
    if (widenBy > 0)
        for (cv::Rect& c : rects)
            c = widened(c, widenBy) & all;
}

// One round of joining: every two rectangles that come within `reach` of each other go into one,
// found by sweeping them from left to right. False when none did.
bool MvtDetector::joinTouching(std::vector<cv::Rect>& rects, int reach)
{
    const int n = static_cast<int>(rects.size());
    byLeft.resize(rects.size());
    std::iota(byLeft.begin(), byLeft.end(), 0);
    std::sort(byLeft.begin(), byLeft.end(), [&](int a, int b) {
        return rects[static_cast<size_t>(a)].x < rects[static_cast<size_t>(b)].x;
    });
    joinedTo.resize(rects.size());
    std::iota(joinedTo.begin(), joinedTo.end(), 0);
    bool joined = false;
    for (int a = 0; a < n; ++a) {
        const cv::Rect& left = rects[static_cast<size_t>(byLeft[static_cast<size_t>(a)])];
        const int within = left.br().x + 2 * reach;
        for (int b = a + 1; b < n; ++b) {
            const cv::Rect& right = rects[static_cast<size_t>(byLeft[static_cast<size_t>(b)])];
            if (right.x >= within)
                break;
            if ((widened(left, reach) & widened(right, reach)).empty())
                continue;
            // The first of a group in the list stands for it.
            const int p = rootOf(joinedTo, byLeft[static_cast<size_t>(a)]);
            const int q = rootOf(joinedTo, byLeft[static_cast<size_t>(b)]);
            joinedTo[static_cast<size_t>(std::max(p, q))] = std::min(p, q);
            joined = true;
        }
    }
    if (!joined)
        return false;
    // Each group into the place of its first rectangle, the groups in the order of their first.
    keptAt.resize(rects.size());
    size_t kept = 0;
    for (int i = 0; i < n; ++i) {
        const size_t at = static_cast<size_t>(i);
        const int first = rootOf(joinedTo, i);
        if (first == i) {
            keptAt[at] = kept;
            rects[kept++] = rects[at];
        } else {
            rects[keptAt[static_cast<size_t>(first)]] |= rects[at];
        }
    }
    rects.resize(kept);
    return true;
}

// Dilation, second erosion and contours of one region, which no other region's pixels reach.
void MvtDetector::traceRegion(const cv::Rect& region, const cv::Point& offset)
{
    cv::Mat part = difference(region);
    const cv::Point anchor(-1, -1);
    const int border = cv::BORDER_REPLICATE | cv::BORDER_ISOLATED;
    cv::dilate(part, part, cv::Mat(), anchor, passes.dilations, border, morphologyBorderValue);
    cv::erode(part, part, cv::Mat(), anchor, passes.secondErosions, border, morphologyBorderValue);
    cv::findContours(part, regionContours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE,
                     offset + region.tl());
    for (std::vector<cv::Point>& c : regionContours)
        contours.push_back(std::move(c));
}

// Only the strict detector splits blobs and measures their area.
void MvtDetector::makeTargets(QList<Target*>& targets)
{
    const bool strict = referenceKind == Reference::Background;
    for (const std::vector<cv::Point>& contour : contours) {
        if (contour.size() < static_cast<size_t>(passes.minContourPoints))
            continue;
        const int pixels = strict ? BlobSplit::enclosedPixels(contour) : 0;
        if (strict) {
            const std::vector<BlobSplit::Part>& parts = splitter.split(contour, pixels, usualArea);
            for (const BlobSplit::Part& p : parts)
                if (!addTarget(targets, p.box, p.area))
                    return;
            if (!parts.empty())
                continue;
        }
        cv::approxPolyDP(contour, polygon, polygonEpsilon, true);
        if (!addTarget(targets, cv::boundingRect(polygon), pixels))
            return;
    }
}

bool MvtDetector::addTarget(QList<Target*>& targets, const cv::Rect& box, int area)
{
    Target* t = TargetPool::instance()->acquire();
    if (!t) {
        qWarning("No more target in the pool");
        return false;
    }
    t->init();
    t->setBox(box);
    t->area = area;
    targets.append(t);
    return true;
}
