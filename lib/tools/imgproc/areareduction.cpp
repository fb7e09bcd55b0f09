#include "areareduction.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define ORVANE_AREA256 1
#define ORVANE_AVX2 __attribute__((target("avx2")))
#define ORVANE_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline
#else
#define ORVANE_AREA256 0
#endif

namespace
{
// A share smaller than this of a source pixel at either end of a reduced pixel is left out, as
// resize leaves it out.
constexpr double negligibleShare = 1e-3;
// Source rows reduced along x together: their sums are independent, so the processor works on
// all of them at once instead of waiting for each addition in turn.
constexpr int rowsAtOnce = 4;

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

// resize's scale of one side: the inverse of the reduced length over the source length, both
// divisions in double, as resize computes it.
double scaleOf(int sourceLength, int reducedLength)
{
    return 1. / (static_cast<double>(reducedLength) / sourceLength);
}

bool isWhole(double scale)
{
    return std::abs(scale - cv::saturate_cast<int>(scale)) < DBL_EPSILON;
}
} // namespace

// The shares as resize computes them: a reduced pixel covers `scale` source pixels from
// i * scale on, whole ones in the middle and a part of one at either end.
void AreaReduction::computeSide(int sourceLength, int reducedLength, Side& side)
{
    const double scale = scaleOf(sourceLength, reducedLength);
    side.shares.clear();
    side.first.assign(1, 0);
    for (int i = 0; i < reducedLength; ++i) {
        const double start = i * scale, end = start + scale;
        const double cell = std::min(scale, sourceLength - start);
        int wholeEnd = std::min(cvFloor(end), sourceLength - 1);
        const int wholeStart = std::min(cvCeil(start), wholeEnd);
        if (wholeStart - start > negligibleShare)
            side.shares.push_back(
                {wholeStart - 1, static_cast<float>((wholeStart - start) / cell)});
        for (int s = wholeStart; s < wholeEnd; ++s)
            side.shares.push_back({s, static_cast<float>(1.0 / cell)});
        if (end - wholeEnd > negligibleShare)
            side.shares.push_back(
                {wholeEnd,
                 static_cast<float>(std::min(std::min(end - wholeEnd, 1.), cell) / cell)});
        side.first.push_back(static_cast<int>(side.shares.size()));
    }
}

void AreaReduction::prepare(cv::Size from, cv::Size to)
{
    if (from == preparedFrom && to == preparedTo)
        return;
    computeSide(from.width, to.width, columns);
    computeSide(from.height, to.height, rows);
    preparedFrom = from;
    preparedTo = to;
}

// `count` source rows (at most rowsAtOnce) reduced along x: each reduced pixel is the sum of its
// source pixels times their shares, added in order from zero as resize adds them. Rows past
// `count` repeat the last one, so that the loop is the same for every group.
template <typename T>
void AreaReduction::reduceRows(const T* const* source, float* const* out, int count) const
{
    const Share* shares = columns.shares.data();
    const int* first = columns.first.data();
    const int width = static_cast<int>(columns.first.size()) - 1;
    static_assert(rowsAtOnce == 4, "four sums, named so that they stay in registers");
    const T *row0 = source[0], *row1 = source[1], *row2 = source[2], *row3 = source[3];
    for (int x = 0; x < width; ++x) {
        float sum0 = 0, sum1 = 0, sum2 = 0, sum3 = 0;
        for (int k = first[x]; k < first[x + 1]; ++k) {
            const int s = shares[k].source;
            const float alpha = shares[k].alpha;
            sum0 += static_cast<float>(row0[s]) * alpha;
            sum1 += static_cast<float>(row1[s]) * alpha;
            sum2 += static_cast<float>(row2[s]) * alpha;
            sum3 += static_cast<float>(row3[s]) * alpha;
        }
        const float sums[rowsAtOnce] = {sum0, sum1, sum2, sum3};
        for (int r = 0; r < count; ++r)
            out[r][x] = sums[r];
    }
}

#if ORVANE_AREA256
namespace
{
// Eight source rows reduced along x at once, a row in each lane of eight floats: the rows'
// pixels are loaded a run of columns at a time and turned so that each column of the eight rows
// is one vector, which each of that column's shares multiplies and adds, lane by lane, with the
// very float operations (no fused multiply-add) of the one-row sum.
constexpr int lanes256 = 8;

// Interleaving two vectors' elements of `Bytes` bytes, from their low or their high halves.
template <int Bytes> ORVANE_AVX2_INLINE __m128i interleave(__m128i a, __m128i b, bool high);
template <> ORVANE_AVX2_INLINE __m128i interleave<1>(__m128i a, __m128i b, bool high)
{
    return high ? _mm_unpackhi_epi8(a, b) : _mm_unpacklo_epi8(a, b);
}
template <> ORVANE_AVX2_INLINE __m128i interleave<2>(__m128i a, __m128i b, bool high)
{
    return high ? _mm_unpackhi_epi16(a, b) : _mm_unpacklo_epi16(a, b);
}
template <> ORVANE_AVX2_INLINE __m128i interleave<4>(__m128i a, __m128i b, bool high)
{
    return high ? _mm_unpackhi_epi32(a, b) : _mm_unpacklo_epi32(a, b);
}
template <> ORVANE_AVX2_INLINE __m128i interleave<8>(__m128i a, __m128i b, bool high)
{
    return high ? _mm_unpackhi_epi64(a, b) : _mm_unpacklo_epi64(a, b);
}

// 8 rows of pixels of type T turned into 8 vectors of columns: 16 columns of bytes as two
// columns a vector (8 bytes a column), or 8 columns of 16-bit pixels as one a vector.
template <typename T>
ORVANE_AVX2_INLINE void transpose(const __m128i (&r)[lanes256], __m128i (&c)[lanes256])
{
    constexpr int bytes = static_cast<int>(sizeof(T));
    __m128i a[8], b[8];
#pragma GCC unroll 16
    for (int i = 0; i < 4; ++i) {
        a[2 * i] = interleave<bytes>(r[2 * i], r[2 * i + 1], false);
        a[2 * i + 1] = interleave<bytes>(r[2 * i], r[2 * i + 1], true);
    }
#pragma GCC unroll 16
    for (int h = 0; h < 2; ++h) { // rows 0-3, then 4-7
        const __m128i* p = a + 4 * h;
        b[4 * h] = interleave<2 * bytes>(p[0], p[2], false);
        b[4 * h + 1] = interleave<2 * bytes>(p[0], p[2], true);
        b[4 * h + 2] = interleave<2 * bytes>(p[1], p[3], false);
        b[4 * h + 3] = interleave<2 * bytes>(p[1], p[3], true);
    }
#pragma GCC unroll 16
    for (int i = 0; i < 4; ++i) {
        c[2 * i] = interleave<4 * bytes>(b[i], b[4 + i], false);
        c[2 * i + 1] = interleave<4 * bytes>(b[i], b[4 + i], true);
    }
}

// The columns [x0, x0 + columnsPerLoad) of the eight rows as floats, a vector per column.
template <typename T>
ORVANE_AVX2_INLINE void loadColumns(const T* const* rows, int x0, int cols, __m256* out)
{
    constexpr int perLoad = 16 / static_cast<int>(sizeof(T));
    __m128i r[lanes256], c[lanes256];
    if (x0 + perLoad <= cols) {
#pragma GCC unroll 16
        for (int i = 0; i < lanes256; ++i)
            r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[i] + x0));
    } else { // the last columns: no read past the end of a row
        alignas(16) T part[lanes256][perLoad] = {};
#pragma GCC unroll 16
        for (int i = 0; i < lanes256; ++i) {
            for (int x = x0; x < cols; ++x)
                part[i][x - x0] = rows[i][x];
            r[i] = _mm_load_si128(reinterpret_cast<const __m128i*>(part[i]));
        }
    }
    transpose<T>(r, c);
#pragma GCC unroll 16
    for (int j = 0; j < perLoad; ++j) {
        __m256i wide;
        if (sizeof(T) == 1)
            wide = _mm256_cvtepu8_epi32(j % 2 ? _mm_srli_si128(c[j / 2], 8) : c[j / 2]);
        else
            wide = _mm256_cvtepu16_epi32(c[j]);
        out[j] = _mm256_cvtepi32_ps(wide);
    }
}

// `groups` groups of eight rows at once: the sums of one group wait on each other, one
// addition after the other, while those of the other group go on.
template <typename T, int groups>
ORVANE_AVX2 void reduceEightRows(const T* const* rows, int cols, const AreaReduction::Share* shares,
                                 const int* first, int width, float* const* out)
{
    constexpr int perLoad = 16 / static_cast<int>(sizeof(T));
    __m256 column[groups][perLoad];
    int loaded = -perLoad; // the first column loaded
    for (int x = 0; x < width; ++x) {
        __m256 sum[groups];
#pragma GCC unroll 4
        for (int g = 0; g < groups; ++g)
            sum[g] = _mm256_setzero_ps();
        for (int k = first[x]; k < first[x + 1]; ++k) {
            const int s = shares[k].source;
            if (s >= loaded + perLoad) {
                loaded = s;
#pragma GCC unroll 4
                for (int g = 0; g < groups; ++g)
                    loadColumns(rows + g * lanes256, loaded, cols, column[g]);
            }
            const __m256 alpha = _mm256_set1_ps(shares[k].alpha);
#pragma GCC unroll 4
            for (int g = 0; g < groups; ++g)
                sum[g] = _mm256_add_ps(sum[g], _mm256_mul_ps(column[g][s - loaded], alpha));
        }
#pragma GCC unroll 4
        for (int g = 0; g < groups; ++g) {
            alignas(32) float sums[lanes256];
            _mm256_store_ps(sums, sum[g]);
#pragma GCC unroll 8
            for (int r = 0; r < lanes256; ++r)
                out[g * lanes256 + r][x] = sums[r];
        }
    }
}
} // namespace
#endif

template <typename T> void AreaReduction::reduceSpread(const cv::Mat& src, cv::Mat& dst)
{
    const int width = dst.cols;
    rowSums.create(src.rows, width, CV_32F);
    int y = 0;
#if ORVANE_AREA256
    if (vectors == Vectors::Widest && cv::checkHardwareSupport(CV_CPU_AVX2)) {
        constexpr int pairOfGroups = 2 * lanes256;
        const T* source[pairOfGroups];
        float* out[pairOfGroups];
        const Share* shares = columns.shares.data();
        const int* first = columns.first.data();
        for (; y + lanes256 <= src.rows;) {
            const int count = y + pairOfGroups <= src.rows ? pairOfGroups : lanes256;
            for (int r = 0; r < count; ++r) {
                source[r] = src.ptr<T>(y + r);
                out[r] = rowSums.ptr<float>(y + r);
            }
            if (count == pairOfGroups)
                reduceEightRows<T, 2>(source, src.cols, shares, first, width, out);
            else
                reduceEightRows<T, 1>(source, src.cols, shares, first, width, out);
            y += count;
        }
    }
#endif
    for (; y < src.rows; y += rowsAtOnce) {
        const int count = std::min(rowsAtOnce, src.rows - y);
        const T* source[rowsAtOnce];
        float* out[rowsAtOnce];
        for (int r = 0; r < rowsAtOnce; ++r) {
            const int row = y + std::min(r, count - 1);
            source[r] = src.ptr<T>(row);
            out[r] = rowSums.ptr<float>(row);
        }
        reduceRows(source, out, count);
    }
    total.resize(static_cast<size_t>(width));
    float* sum = total.data();
    for (int y = 0; y < dst.rows; ++y) {
        T* out = dst.ptr<T>(y);
        for (int k = rows.first[y]; k < rows.first[y + 1]; ++k) {
            const float beta = rows.shares[k].alpha;
            const float* row = rowSums.ptr<float>(rows.shares[k].source);
            if (k == rows.first[y])
                for (int x = 0; x < width; ++x)
                    sum[x] = beta * row[x];
            else
                for (int x = 0; x < width; ++x)
                    sum[x] += beta * row[x];
        }
        for (int x = 0; x < width; ++x)
            out[x] = cv::saturate_cast<T>(sum[x]);
    }
}

// The mean of each factor x factor block, rounded as resize rounds it for a whole factor (the sum
// times a float share, to the nearest even).
namespace
{
#if CV_SIMD128
// Four rounded means stored as pixels.
void storeFour(uchar* out, const cv::v_int32x4& means)
{
    const cv::v_int16x8 words = cv::v_pack(means, means);
    // The low half holds eight bytes, of which the first four are these means.
    uchar low[8];
    cv::v_store_low(low, cv::v_pack_u(words, words));
    std::memcpy(out, low, 4);
}

void storeFour(ushort* out, const cv::v_int32x4& means)
{
    cv::v_pack_u_store(out, means);
}
#endif

// Blocks of four are the usual case (a 320-pixel-wide picture reduced to 80): their sums are
// formed four columns at a time in vectors. Returns how many reduced pixels of the row it gave.
template <typename T> int fourColumnMeans(const int* sums, int width, float share, T* out)
{
    int x = 0;
#if CV_SIMD128
    const cv::v_float32x4 vshare = cv::v_setall_f32(share);
    for (; x + 4 <= width; x += 4) {
        cv::v_int32x4 a = cv::v_load(sums + 4 * x), b = cv::v_load(sums + 4 * x + 4),
                      c = cv::v_load(sums + 4 * x + 8), d = cv::v_load(sums + 4 * x + 12);
        cv::v_transpose4x4(a, b, c, d, a, b, c, d);
        storeFour(out + x, cv::v_round(cv::v_cvt_f32((a + b) + (c + d)) * vshare));
    }
#else
    (void)sums, (void)width, (void)share, (void)out;
#endif
    return x;
}
} // namespace

template <typename T>
void AreaReduction::typedBlockMeans(const cv::Mat& src, cv::Mat& dst, int across, int down)
{
    const float share = 1.f / static_cast<float>(across * down);
    columnSums.resize(static_cast<size_t>(src.cols));
    int* sums = columnSums.data();
    for (int y = 0; y < dst.rows; ++y) {
        std::fill(sums, sums + src.cols, 0);
        for (int dy = 0; dy < down; ++dy)
            addRow(sums, src.ptr<T>(y * down + dy), src.cols);
        T* out = dst.ptr<T>(y);
        const int first = across == 4 ? fourColumnMeans(sums, dst.cols, share, out) : 0;
        for (int x = first; x < dst.cols; ++x) {
            int sum = 0;
            for (int dx = 0; dx < across; ++dx)
                sum += sums[x * across + dx];
            out[x] = cv::saturate_cast<T>(static_cast<float>(sum) * share);
        }
    }
}

namespace
{
// Whether the sum of a block of 16-bit pixels may pass what a float holds exactly.
bool mayRoundInFloat(int factor)
{
    constexpr double exactInFloat = 1 << 24;
    return static_cast<double>(factor) * factor * 65535 >= exactInFloat;
}

// One block of 16-bit pixels as resize sums it for a whole factor: in a float, four pixels at a
// time in raster order, then one at a time; past 2^24 the float rounds, and so must this.
ushort blockMeanInFloat(const cv::Mat& src, int top, int left, int factor, float share)
{
    const int area = factor * factor, grouped = area / 4 * 4;
    float sum = 0;
    int group = 0, k = 0;
    for (int dy = 0; dy < factor; ++dy) {
        const ushort* row = src.ptr<ushort>(top + dy) + left;
        for (int dx = 0; dx < factor; ++dx, ++k) {
            if (k >= grouped) {
                sum += row[dx];
                continue;
            }
            group += row[dx];
            if (k % 4 == 3) {
                sum += static_cast<float>(group);
                group = 0;
            }
        }
    }
    return cv::saturate_cast<ushort>(sum * share);
}

void blockMeansInFloat(const cv::Mat& src, cv::Mat& dst, int factor)
{
    const float share = 1.f / static_cast<float>(factor * factor);
    for (int y = 0; y < dst.rows; ++y) {
        ushort* out = dst.ptr<ushort>(y);
        for (int x = 0; x < dst.cols; ++x)
            out[x] = blockMeanInFloat(src, y * factor, x * factor, factor, share);
    }
}
} // namespace

void AreaReduction::blockMeans(const cv::Mat& src, cv::Mat& dst, cv::Size block)
{
    CV_Assert(!block.empty() && src.cols % block.width == 0 && src.rows % block.height == 0);
    dst.create(src.rows / block.height, src.cols / block.width, src.type());
    if (src.depth() == CV_8U)
        typedBlockMeans<uchar>(src, dst, block.width, block.height);
    else
        typedBlockMeans<ushort>(src, dst, block.width, block.height);
}

void AreaReduction::reduce(const cv::Mat& src, cv::Mat& dst, cv::Size size)
{
    const bool grey = src.type() == CV_8UC1 || src.type() == CV_16UC1;
    if (!grey || size.empty() || size.width > src.cols || size.height > src.rows ||
        src.data == dst.data) {
        cv::resize(src, dst, size, 0, 0, cv::INTER_AREA);
        return;
    }
    const double scaleX = scaleOf(src.cols, size.width), scaleY = scaleOf(src.rows, size.height);
    if (isWhole(scaleX) && isWhole(scaleY)) {
        // Halving, and unequal factors, go to resize's own vector code and rounding.
        const int factor = cv::saturate_cast<int>(scaleX);
        if (factor <= 2 || factor != cv::saturate_cast<int>(scaleY)) {
            cv::resize(src, dst, size, 0, 0, cv::INTER_AREA);
            return;
        }
        dst.create(size, src.type());
        if (src.depth() == CV_8U)
            typedBlockMeans<uchar>(src, dst, factor, factor);
        else if (mayRoundInFloat(factor))
            blockMeansInFloat(src, dst, factor);
        else
            typedBlockMeans<ushort>(src, dst, factor, factor);
        return;
    }
    prepare(src.size(), size);
    dst.create(size, src.type());
    if (src.depth() == CV_8U)
        reduceSpread<uchar>(src, dst);
    else
        reduceSpread<ushort>(src, dst);
}
