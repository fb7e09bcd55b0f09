#include "lightgain.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>
#include <utility>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define ORVANE_BLEND256 1
#define ORVANE_AVX2 __attribute__((target("avx2")))
#else
#define ORVANE_BLEND256 0
#endif

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

// A block's light is measured on this many of its rows, evenly spaced, once it is taller than
// twice that: the light is smooth, and reading every row of a large frame would cost more than
// the rest of the estimate. Such a block's side is then a multiple of it, so that every block
// reads the same rows.
constexpr int sampledRows = 4;

int reductionFor(cv::Size frame)
{
    const int factor = std::max(
        leastReduction, (std::max(frame.width, frame.height) + reducedSide - 1) / reducedSide);
    return factor > 2 * sampledRows ? (factor + sampledRows - 1) / sampledRows * sampledRows
                                    : factor;
}

int rowStepFor(int factor)
{
    return factor > 2 * sampledRows ? factor / sampledRows : 1;
}

// Rows 0, n, 2n, ... of `picture`, without a copy.
cv::Mat everyNthRow(const cv::Mat& picture, int n)
{
    return cv::Mat(picture.rows / n, picture.cols, picture.type(), picture.data, picture.step * n);
}

uchar codeOf(double ratio)
{
    const double r = std::clamp(ratio, lowestGain, highestGain);
    return cv::saturate_cast<uchar>((r - lowestGain) * ratioSteps);
}

// The smaller and the larger of two codes, or of two vectors of them lane by lane.
inline uchar lower(uchar a, uchar b)
{
    return std::min(a, b);
}
inline uchar upper(uchar a, uchar b)
{
    return std::max(a, b);
}
#if CV_SIMD128
inline cv::v_uint8x16 lower(const cv::v_uint8x16& a, const cv::v_uint8x16& b)
{
    return cv::v_min(a, b);
}
inline cv::v_uint8x16 upper(const cv::v_uint8x16& a, const cv::v_uint8x16& b)
{
    return cv::v_max(a, b);
}
#endif

// The 3x3 Gaussian's weights along one side: a quarter on each neighbour, a half in the middle.
inline float weighed(float side1, float side2, float middle)
{
    return (side1 + side2) * 0.25f + middle * 0.5f;
}
#if CV_SIMD128
inline cv::v_float32x4 weighed(const cv::v_float32x4& side1, const cv::v_float32x4& side2,
                               const cv::v_float32x4& middle)
{
    return (side1 + side2) * cv::v_setall_f32(0.25f) + middle * cv::v_setall_f32(0.5f);
}
#endif

// Selection networks: compare-exchanges, the lower value to the first place, that leave the
// middle of n values at n / 2, in 3, 7, 13 and 19 steps (a sort would take up to 36).
template <int n> struct MiddleNetwork;
template <> struct MiddleNetwork<3> {
    static constexpr int steps[][2] = {{0, 1}, {1, 2}, {0, 1}};
};
template <> struct MiddleNetwork<5> {
    static constexpr int steps[][2] = {{0, 1}, {3, 4}, {0, 3}, {1, 4}, {1, 2}, {2, 3}, {1, 2}};
};
template <> struct MiddleNetwork<7> {
    static constexpr int steps[][2] = {{0, 5}, {0, 3}, {1, 6}, {2, 4}, {0, 1}, {3, 5}, {2, 6},
                                       {2, 3}, {3, 6}, {4, 5}, {1, 4}, {1, 3}, {3, 4}};
};
template <> struct MiddleNetwork<9> {
    static constexpr int steps[][2] = {{1, 2}, {4, 5}, {7, 8}, {0, 1}, {3, 4}, {6, 7}, {1, 2},
                                       {4, 5}, {7, 8}, {0, 3}, {5, 8}, {4, 7}, {3, 6}, {1, 4},
                                       {2, 5}, {4, 7}, {4, 2}, {6, 4}, {4, 2}};
};

template <int i, int j, typename T, int n> void exchange(T (&v)[n])
{
    const T a = v[i], b = v[j];
    v[i] = lower(a, b);
    v[j] = upper(a, b);
}

// The steps as constants, so that the values (or vectors) stay in registers.
template <int n, typename T, size_t... k> void exchangeAll(T (&v)[n], std::index_sequence<k...>)
{
    (exchange<MiddleNetwork<n>::steps[k][0], MiddleNetwork<n>::steps[k][1]>(v), ...);
}

// The middle of `n` values, or of vectors of them lane by lane.
template <int n, typename T> T middleOf(T (&v)[n])
{
    constexpr size_t steps = std::size(MiddleNetwork<n>::steps);
    exchangeAll(v, std::make_index_sequence<steps>());
    return v[n / 2];
}

// Each pixel's median over `n` rows of `rows`, the same columns.
template <int n> void middleOfRows(const uchar* const* rows, uchar* out, int width)
{
    int x = 0;
#if CV_SIMD128
    for (; x + 16 <= width; x += 16) {
        cv::v_uint8x16 v[n];
        for (int r = 0; r < n; ++r)
            v[r] = cv::v_load(rows[r] + x);
        cv::v_store(out + x, middleOf(v));
    }
#endif
    for (; x < width; ++x) {
        uchar v[n];
        for (int r = 0; r < n; ++r)
            v[r] = rows[r][x];
        out[x] = middleOf(v);
    }
}

// The median over a square window, border replicated, taken as the median across of the medians
// down: an insect, or a few, shorter or narrower than half the window is left out as the square's
// median would, and a shadow's straight edge is kept; on vectors it costs a small part of a true
// two-dimensional median.
template <int n> void separableMedian(const cv::Mat& src, cv::Mat& dst, cv::Mat& down)
{
    constexpr int reach = n / 2;
    down.create(src.rows, src.cols + 2 * reach, CV_8UC1);
    const uchar* rows[n];
    for (int y = 0; y < src.rows; ++y) {
        for (int r = 0; r < n; ++r)
            rows[r] = src.ptr<uchar>(std::clamp(y - reach + r, 0, src.rows - 1));
        uchar* padded = down.ptr<uchar>(y);
        middleOfRows<n>(rows, padded + reach, src.cols);
        std::fill(padded, padded + reach, padded[reach]);
        std::fill(padded + reach + src.cols, padded + src.cols + 2 * reach,
                  padded[reach + src.cols - 1]);
    }
    dst.create(src.size(), CV_8UC1);
    for (int y = 0; y < src.rows; ++y) {
        const uchar* padded = down.ptr<uchar>(y);
        for (int r = 0; r < n; ++r)
            rows[r] = padded + r;
        middleOfRows<n>(rows, dst.ptr<uchar>(y), src.cols);
    }
}

void medianOf(const cv::Mat& src, cv::Mat& dst, int window, cv::Mat& down)
{
    switch (window) {
    case 3:
        return separableMedian<3>(src, dst, down);
    case 5:
        return separableMedian<5>(src, dst, down);
    case 7:
        return separableMedian<7>(src, dst, down);
    default:
        return separableMedian<medianWindow>(src, dst, down);
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
        int x = 0;
#if CV_SIMD128_64F
        // Eight at a time, with the same double-precision operations and rounding as codeOf.
        const cv::v_float64x2 vunit = cv::v_setall_f64(unit),
                              useful = cv::v_setall_f64(darkestUseful), one = cv::v_setall_f64(1),
                              low = cv::v_setall_f64(lowestGain),
                              high = cv::v_setall_f64(highestGain),
                              steps = cv::v_setall_f64(ratioSteps);
        const auto code = [&](const cv::v_float64x2& fv, const cv::v_float64x2& bv) {
            const cv::v_float64x2 level = bv * vunit;
            const cv::v_float64x2 ratio = cv::v_select(level >= useful, fv / level, one);
            return (cv::v_min(cv::v_max(ratio, low), high) - low) * steps;
        };
        for (; x + 8 <= reduced.width; x += 8) {
            // Eight bytes loaded as such: a load of four as one int would be misaligned.
            cv::v_uint16x8 frameWords, unused;
            cv::v_expand(cv::v_load_low(f + x), frameWords, unused);
            cv::v_uint32x4 frameLevels[2];
            cv::v_expand(frameWords, frameLevels[0], frameLevels[1]);
            cv::v_int32x4 codes[2];
            for (int h = 0; h < 2; ++h) {
                const cv::v_int32x4 fi = cv::v_reinterpret_as_s32(frameLevels[h]);
                const cv::v_int32x4 bi = cv::v_reinterpret_as_s32(cv::v_load_expand(b + x + 4 * h));
                codes[h] = cv::v_round(code(cv::v_cvt_f64(fi), cv::v_cvt_f64(bi)),
                                       code(cv::v_cvt_f64_high(fi), cv::v_cvt_f64_high(bi)));
            }
            const cv::v_int16x8 words = cv::v_pack(codes[0], codes[1]);
            cv::v_store_low(r + x, cv::v_pack_u(words, words));
        }
#endif
        for (; x < reduced.width; ++x) {
            const double level = b[x] * unit;
            r[x] = codeOf(level >= darkestUseful ? f[x] / level : 1.0);
        }
    }
}

void LightGain::estimate(const cv::Mat& frame, const cv::Mat& background, int backgroundScale)
{
    const int factor = reductionFor(frame.size());
    const cv::Size reduced(std::max(1, frame.cols / factor), std::max(1, frame.rows / factor));
    if (frame.cols >= factor && frame.rows >= factor) {
        // Whole blocks only: the last few columns and rows, less than a block, are left out of the
        // ratios (they take the field's edge), which is far cheaper than weighing partial blocks.
        // Of a tall block, evenly spaced rows stand for the others.
        const cv::Rect blocks(0, 0, reduced.width * factor, reduced.height * factor);
        const int step = rowStepFor(factor);
        const cv::Size block(factor, factor / step);
        reduction.blockMeans(everyNthRow(frame(blocks), step), smallFrame, block);
        reduction.blockMeans(everyNthRow(background(blocks), step), smallBackground, block);
    } else {
        reduction.reduce(frame, smallFrame, reduced);
        reduction.reduce(background, smallBackground, reduced);
    }
    measureRatios(reduced, backgroundScale);
    const int window = std::min(medianWindow, (std::min(reduced.width, reduced.height) - 1) | 1);
    if (window >= 3)
        medianOf(codedRatio, medianRatio, window, medianDown);
    else
        codedRatio.copyTo(medianRatio);
    const double unit = 1 << gainShift;
    // gain = code / ratioSteps + lowestGain, in fixed point.
    medianRatio.convertTo(smallGains, CV_32F, unit / ratioSteps, lowestGain * unit);
    double lowest = 1, highest = 1;
    smoothField(lowest, highest);
    isUniform = (highest - lowest) / unit < uniformSpread;
    if (isUniform) {
        uniformValue = cv::saturate_cast<ushort>(cv::mean(smallGains)[0]);
        return;
    }
    smallGains.convertTo(coarse, CV_16U);
    if (blendFrom != coarse.size() || blendTo != frame.size()) {
        prepareBlend(coarse.cols, frame.cols, true, acrossBlend);
        prepareBlend(coarse.rows, frame.rows, false, downBlend);
        blendFrom = coarse.size();
        blendTo = frame.size();
    }
    blendColumns();
}

// cv::GaussianBlur's 3x3 kernel (a quarter, a half, a quarter each way), border replicated, over
// the reduced field of gains, noting the lowest and the highest: the gains are whole numbers and
// the weights powers of two, so every sum is exact whatever its order and this gives what OpenCV
// gives, without its set-up, which costs more than the blur itself on so small a picture.
void LightGain::smoothField(double& lowest, double& highest)
{
    const int rows = smallGains.rows, cols = smallGains.cols;
    smoothedAcross.create(smallGains.size(), CV_32F);
    for (int y = 0; y < rows; ++y) {
        const float* gains = smallGains.ptr<float>(y);
        float* across = smoothedAcross.ptr<float>(y);
        across[0] = weighed(gains[0], gains[std::min(1, cols - 1)], gains[0]);
        int x = 1;
#if CV_SIMD128
        for (; x + 4 < cols; x += 4)
            cv::v_store(across + x, weighed(cv::v_load(gains + x - 1), cv::v_load(gains + x + 1),
                                            cv::v_load(gains + x)));
#endif
        for (; x < cols; ++x)
            across[x] = weighed(gains[x - 1], gains[std::min(x + 1, cols - 1)], gains[x]);
    }
    float low = std::numeric_limits<float>::max(), high = std::numeric_limits<float>::lowest();
    for (int y = 0; y < rows; ++y) {
        const float* up = smoothedAcross.ptr<float>(std::max(y - 1, 0));
        const float* here = smoothedAcross.ptr<float>(y);
        const float* down = smoothedAcross.ptr<float>(std::min(y + 1, rows - 1));
        float* out = smallGains.ptr<float>(y);
        int x = 0;
#if CV_SIMD128
        cv::v_float32x4 lows = cv::v_setall_f32(low), highs = cv::v_setall_f32(high);
        for (; x + 4 <= cols; x += 4) {
            const cv::v_float32x4 v =
                weighed(cv::v_load(up + x), cv::v_load(down + x), cv::v_load(here + x));
            cv::v_store(out + x, v);
            lows = cv::v_min(lows, v);
            highs = cv::v_max(highs, v);
        }
        low = cv::v_reduce_min(lows);
        high = cv::v_reduce_max(highs);
#endif
        for (; x < cols; ++x) {
            out[x] = weighed(up[x], down[x], here[x]);
            low = std::min(low, out[x]);
            high = std::max(high, out[x]);
        }
    }
    lowest = low;
    highest = high;
}

// The tables of cv::resize's bilinear interpolation: a pixel's centre mapped onto the field
// in single precision and the weights of its two neighbours. Across, past either border the
// field's first or last pixel stands alone; down, the weights stay and the rows read are
// clamped to the field.
void LightGain::prepareBlend(int fieldLength, int frameLength, bool across, Blend& blend)
{
    const double scale = 1. / (static_cast<double>(frameLength) / fieldLength);
    blend.from.resize(static_cast<size_t>(frameLength));
    blend.first.resize(static_cast<size_t>(frameLength));
    blend.second.resize(static_cast<size_t>(frameLength));
    blend.blended = frameLength;
    for (int i = 0; i < frameLength; ++i) {
        float f = static_cast<float>((i + 0.5) * scale - 0.5);
        int from = cvFloor(f);
        f -= static_cast<float>(from);
        if (from < 0 && across)
            f = 0, from = 0;
        if (from + 1 >= fieldLength && across) {
            blend.blended = std::min(blend.blended, i);
            if (from >= fieldLength - 1)
                f = 0, from = fieldLength - 1;
        }
        blend.from[static_cast<size_t>(i)] = from;
        blend.first[static_cast<size_t>(i)] = 1.f - f;
        blend.second[static_cast<size_t>(i)] = f;
    }
}

#if ORVANE_BLEND256
namespace
{
// Eight pixels of a row at a time: one gather reads each pixel's two neighbours in the field
// (two 16-bit values side by side), then the same single-precision products and sum as below.
ORVANE_AVX2 int blendAcross256(const ushort* field, const int* from, const float* first,
                               const float* second, int blended, float* out)
{
    int x = 0;
    const __m256i low = _mm256_set1_epi32(0xFFFF);
    for (; x + 8 <= blended; x += 8) {
        const __m256i index = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + x));
        const __m256i pairs =
            _mm256_i32gather_epi32(reinterpret_cast<const int*>(field), index, sizeof(ushort));
        const __m256 left = _mm256_cvtepi32_ps(_mm256_and_si256(pairs, low));
        const __m256 right = _mm256_cvtepi32_ps(_mm256_srli_epi32(pairs, 16));
        _mm256_storeu_ps(out + x, _mm256_add_ps(_mm256_mul_ps(left, _mm256_loadu_ps(first + x)),
                                                _mm256_mul_ps(right, _mm256_loadu_ps(second + x))));
    }
    return x;
}

// Sixteen gains of a frame row at a time, blended down from two blended rows of the field.
ORVANE_AVX2 int blendDown256(const float* upper, const float* lower, float b0, float b1, int width,
                             ushort* out)
{
    int x = 0;
    const __m256 w0 = _mm256_set1_ps(b0), w1 = _mm256_set1_ps(b1);
    for (; x + 16 <= width; x += 16) {
        const __m256 a = _mm256_add_ps(_mm256_mul_ps(_mm256_loadu_ps(upper + x), w0),
                                       _mm256_mul_ps(_mm256_loadu_ps(lower + x), w1));
        const __m256 b = _mm256_add_ps(_mm256_mul_ps(_mm256_loadu_ps(upper + x + 8), w0),
                                       _mm256_mul_ps(_mm256_loadu_ps(lower + x + 8), w1));
        // Rounded to the nearest even, packed with saturation, the lanes put back in order.
        const __m256i packed = _mm256_packus_epi32(_mm256_cvtps_epi32(a), _mm256_cvtps_epi32(b));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x),
                            _mm256_permute4x64_epi64(packed, _MM_SHUFFLE(3, 1, 2, 0)));
    }
    return x;
}
} // namespace
#endif

// Each row of the field blended across to the frame's width, as resize blends it.
void LightGain::blendColumns()
{
    blendedRows.create(coarse.rows, blendTo.width, CV_32F);
    const int* from = acrossBlend.from.data();
    const float* first = acrossBlend.first.data();
    const float* second = acrossBlend.second.data();
#if ORVANE_BLEND256
    const bool widest = vectors == Vectors::Widest && cv::checkHardwareSupport(CV_CPU_AVX2);
#endif
    for (int y = 0; y < coarse.rows; ++y) {
        const ushort* field = coarse.ptr<ushort>(y);
        float* out = blendedRows.ptr<float>(y);
        int x = 0;
#if ORVANE_BLEND256
        if (widest)
            x = blendAcross256(field, from, first, second, acrossBlend.blended, out);
#endif
        for (; x < acrossBlend.blended; ++x)
            out[x] = static_cast<float>(field[from[x]]) * first[x] +
                     static_cast<float>(field[from[x] + 1]) * second[x];
        for (; x < blendTo.width; ++x)
            out[x] = static_cast<float>(field[from[x]]);
    }
}

const ushort* LightGain::gainsOfRow(int y)
{
    const int width = blendTo.width, last = coarse.rows - 1;
    rowGains.resize(static_cast<size_t>(width));
    const int from = downBlend.from[static_cast<size_t>(y)];
    const float* upper = blendedRows.ptr<float>(std::clamp(from, 0, last));
    const float* lower = blendedRows.ptr<float>(std::clamp(from + 1, 0, last));
    const float b0 = downBlend.first[static_cast<size_t>(y)];
    const float b1 = downBlend.second[static_cast<size_t>(y)];
    ushort* out = rowGains.data();
    int x = 0;
#if ORVANE_BLEND256
    if (vectors == Vectors::Widest && cv::checkHardwareSupport(CV_CPU_AVX2))
        x = blendDown256(upper, lower, b0, b1, width, out);
#endif
#if CV_SIMD128
    const cv::v_float32x4 vb0 = cv::v_setall_f32(b0), vb1 = cv::v_setall_f32(b1);
    for (; x + 8 <= width; x += 8) {
        // Products and sum apart, never fused, as resize computes them.
        const cv::v_float32x4 a = cv::v_load(upper + x) * vb0 + cv::v_load(lower + x) * vb1;
        const cv::v_float32x4 b = cv::v_load(upper + x + 4) * vb0 + cv::v_load(lower + x + 4) * vb1;
        cv::v_store(out + x, cv::v_pack_u(cv::v_round(a), cv::v_round(b)));
    }
#endif
    for (; x < width; ++x)
        out[x] = cv::saturate_cast<ushort>(upper[x] * b0 + lower[x] * b1);
    return out;
}
