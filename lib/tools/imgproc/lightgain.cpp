#include "lightgain.h"

#include <algorithm>
#include <cmath>
#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

namespace
{
// The ratios are measured on a copy reduced to about this many pixels across, whatever the
// frame's size: a shadow is large and soft, and the median below costs the same at any size.
constexpr int reducedSide = 80;
// ...and by at least this factor, so that the window below is wider than an insect in a small
// picture too.
constexpr int leastReduction = 2;
// The median's window, in pixels of the reduced copy: about a ninth of the picture's width,
// several insects long, so that neither an insect nor a few side by side move it.
constexpr int medianWindow = 9;
// Ratios are coded on 8 bits for the median, in steps of 1 / ratioSteps from lowestGain up:
// steps of under 1 %, 2 grey levels at full brightness, a third of the smallest change taken for
// motion.
constexpr double ratioSteps = 128;
// The gains are held within these bounds; a larger change of light changes most of the picture,
// which the detector then learns as its new background.
constexpr double lowestGain = 0.25;
constexpr double highestGain = 1.99;
// Background pixels darker than this many grey levels give no reliable ratio: they count as 1.
constexpr double darkestUseful = 8;
// Gains that differ less than this across the frame are one gain: at most 2 grey levels at full
// brightness.
constexpr double uniformSpread = 1.0 / 128;

uchar codeOf(double ratio)
{
    const double r = std::clamp(ratio, lowestGain, highestGain);
    return cv::saturate_cast<uchar>((r - lowestGain) * ratioSteps);
}

// Adds a row of pixels to running column sums.
void addRow(int* sums, const ushort* row, int n)
{
    int x = 0;
#if CV_SIMD128
    for (; x + 8 <= n; x += 8) {
        cv::v_uint32x4 a, b;
        cv::v_expand(cv::v_load(row + x), a, b);
        cv::v_store(sums + x, cv::v_load(sums + x) + cv::v_reinterpret_as_s32(a));
        cv::v_store(sums + x + 4, cv::v_load(sums + x + 4) + cv::v_reinterpret_as_s32(b));
    }
#endif
    for (; x < n; ++x)
        sums[x] += row[x];
}

void addRow(int* sums, const uchar* row, int n)
{
    int x = 0;
#if CV_SIMD128
    for (; x + 16 <= n; x += 16) {
        cv::v_uint16x8 low, high;
        cv::v_expand(cv::v_load(row + x), low, high);
        cv::v_uint32x4 part[4];
        cv::v_expand(low, part[0], part[1]);
        cv::v_expand(high, part[2], part[3]);
        for (int i = 0; i < 4; ++i)
            cv::v_store(sums + x + 4 * i,
                        cv::v_load(sums + x + 4 * i) + cv::v_reinterpret_as_s32(part[i]));
    }
#endif
    for (; x < n; ++x)
        sums[x] += row[x];
}

// The mean of each factor x factor block, rounded as cv::resize with INTER_AREA rounds it for a
// whole factor (the sum times a float share, to the nearest even).
template <typename T>
void blockMeans(const cv::Mat& src, cv::Mat& dst, int factor, std::vector<int>& columnSums)
{
    const float share = 1.f / static_cast<float>(factor * factor);
    columnSums.resize(static_cast<size_t>(src.cols));
    int* sums = columnSums.data();
    for (int y = 0; y < dst.rows; ++y) {
        std::fill(sums, sums + src.cols, 0);
        for (int dy = 0; dy < factor; ++dy)
            addRow(sums, src.ptr<T>(y * factor + dy), src.cols);
        T* out = dst.ptr<T>(y);
        for (int x = 0; x < dst.cols; ++x) {
            int sum = 0;
            for (int dx = 0; dx < factor; ++dx)
                sum += sums[x * factor + dx];
            out[x] = cv::saturate_cast<T>(static_cast<float>(sum) * share);
        }
    }
}

// What cv::resize with INTER_AREA gives (8-bit or 16-bit grey), in about half its time when
// `factor` divides both sides. Other sizes, and halving, which resize does with vector code of
// its own rounding, go to resize.
void reduce(const cv::Mat& src, cv::Mat& dst, cv::Size reduced, int factor,
            std::vector<int>& columnSums)
{
    if (factor <= 2 || src.cols != reduced.width * factor || src.rows != reduced.height * factor) {
        cv::resize(src, dst, reduced, 0, 0, cv::INTER_AREA);
        return;
    }
    dst.create(reduced, src.type());
    if (src.depth() == CV_8U)
        blockMeans<uchar>(src, dst, factor, columnSums);
    else
        blockMeans<ushort>(src, dst, factor, columnSums);
}

// A window's median found from a histogram split in parts (the window's rows shared with the
// neighbouring window, and its own row), with `below`, the values less than `median`, kept up to
// date by the caller.
struct SlidingMedian {
    int median = 0, below = 0;
    void settle(const int* shared, const int* own, int rank)
    {
        while (below > rank) {
            --median;
            below -= shared[median] + own[median];
        }
        while (below + shared[median] + own[median] <= rank) {
            below += shared[median] + own[median];
            ++median;
        }
    }
    void replace(uchar gone, uchar come) { below += (come < median) - (gone < median); }
};

// What cv::medianBlur gives for an 8-bit picture, its border replicated, by histograms of the
// window slid along each row: on a picture this small it costs less than half as much. Rows are
// taken two at a time, as their windows share all rows but one each.
void medianOf(const cv::Mat& src, cv::Mat& dst, int window, std::vector<const uchar*>& rows)
{
    constexpr int levels = 256;
    dst.create(src.size(), CV_8UC1);
    const int reach = window / 2, rank = window * window / 2, last = src.cols - 1;
    rows.resize(static_cast<size_t>(window) + 1);
    const uchar** row = rows.data(); // row[0]: the upper window's own; row[window]: the lower's
    for (int y = 0; y < src.rows; y += 2) {
        const bool pair = y + 1 < src.rows;
        for (int r = 0; r <= window; ++r)
            row[r] = src.ptr<uchar>(std::clamp(y - reach + r, 0, src.rows - 1));
        int shared[levels] = {}, upper[levels] = {}, lower[levels] = {};
        for (int dx = -reach; dx <= reach; ++dx) {
            const int x = std::clamp(dx, 0, last);
            for (int r = 1; r < window; ++r)
                ++shared[row[r][x]];
            ++upper[row[0][x]];
            ++lower[row[window][x]];
        }
        SlidingMedian top, bottom;
        uchar* topOut = dst.ptr<uchar>(y);
        uchar* bottomOut = pair ? dst.ptr<uchar>(y + 1) : nullptr;
        for (int x = 0;; ++x) {
            top.settle(shared, upper, rank);
            topOut[x] = static_cast<uchar>(top.median);
            if (pair) {
                bottom.settle(shared, lower, rank);
                bottomOut[x] = static_cast<uchar>(bottom.median);
            }
            if (x == last)
                break;
            const int leaving = std::max(x - reach, 0), entering = std::min(x + 1 + reach, last);
            for (int r = 1; r < window; ++r) {
                const uchar gone = row[r][leaving], come = row[r][entering];
                --shared[gone];
                ++shared[come];
                top.replace(gone, come);
                bottom.replace(gone, come);
            }
            const uchar topGone = row[0][leaving], topCome = row[0][entering];
            --upper[topGone];
            ++upper[topCome];
            top.replace(topGone, topCome);
            const uchar bottomGone = row[window][leaving], bottomCome = row[window][entering];
            --lower[bottomGone];
            ++lower[bottomCome];
            bottom.replace(bottomGone, bottomCome);
        }
    }
}
} // namespace

void LightGain::measureRatios(cv::Size reduced, int backgroundScale)
{
    codedRatio.create(reduced, CV_8UC1);
    const double unit = 1.0 / backgroundScale;
    for (int y = 0; y < reduced.height; ++y) {
        const uchar* f = smallFrame.ptr<uchar>(y);
        const ushort* b = smallBackground.ptr<ushort>(y);
        uchar* r = codedRatio.ptr<uchar>(y);
        for (int x = 0; x < reduced.width; ++x) {
            const double level = b[x] * unit;
            r[x] = codeOf(level >= darkestUseful ? f[x] / level : 1.0);
        }
    }
}

void LightGain::estimate(const cv::Mat& frame, const cv::Mat& background, int backgroundScale)
{
    const int factor = std::max(leastReduction,
                                (std::max(frame.cols, frame.rows) + reducedSide - 1) / reducedSide);
    const cv::Size reduced(std::max(1, frame.cols / factor), std::max(1, frame.rows / factor));
    reduce(frame, smallFrame, reduced, factor, columnSums);
    reduce(background, smallBackground, reduced, factor, columnSums);
    measureRatios(reduced, backgroundScale);
    const int window = std::min(medianWindow, (std::min(reduced.width, reduced.height) - 1) | 1);
    if (window >= 3)
        medianOf(codedRatio, medianRatio, window, medianRows);
    else
        codedRatio.copyTo(medianRatio);
    const double unit = 1 << gainShift;
    // gain = code / ratioSteps + lowestGain, in fixed point.
    medianRatio.convertTo(smallGains, CV_32F, unit / ratioSteps, lowestGain * unit);
    cv::GaussianBlur(smallGains, smallGains, cv::Size(3, 3), 0, 0, cv::BORDER_REPLICATE);
    double lowest = 1, highest = 1;
    cv::minMaxLoc(smallGains, &lowest, &highest);
    isUniform = (highest - lowest) / unit < uniformSpread;
    if (isUniform) {
        uniformValue = cv::saturate_cast<ushort>(cv::mean(smallGains)[0]);
        return;
    }
    smallGains.convertTo(coarse, CV_16U);
    cv::resize(coarse, fullMap, frame.size(), 0, 0, cv::INTER_LINEAR);
}
