

#include "backgroundmodel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define ORVANE_COMPARE256 1
#define ORVANE_AVX2 __attribute__((target("avx2")))
#define ORVANE_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline
#else
#define ORVANE_COMPARE256 0
#endif

namespace
{
using LightSums = BackgroundModel::LightSums;

constexpr int scale = 1 << BackgroundModel::scaleShift;
// The usual variation is kept in grey levels times 16: fine enough for sensor noise of a
// fraction of a grey level, and four times a full-scale variation still fits 16 bits.
constexpr int spreadShift = 4;
// Differences finer than this many grey levels are never motion: below them lie the noise of
// a still camera and the rounding of compression.
constexpr int smallestChange = 6;
// A change is motion above 3.5 times the pixel's mean difference between neighbouring frames.
// For sensor noise of deviation s that mean is 1.13 s, so the bar is about four deviations.
// Held as 7 / 2 for integer lanes.
constexpr int spreadFactorTwice = 7;
// Where the light changed, the gain that divides the change out is itself uncertain by a share
// of it (a shadow's edge moves while the background catches up, the field is smooth, and a low
// bit rate blurs the texture in a shadow more than in the light): the bar rises by three
// quarters of the change the gain corrects.
constexpr int lightDoubtQuarters = 3;
// The usual variation learns from a frame's difference only up to twice the current bar: a
// flickering grid soon raises its bar, while an insect passing over a pixel barely does.
constexpr int spreadCapFactor = 2;
// The highest background level, times `scale`: a level that follows a brightening light stops
// there.
constexpr int brightest = 255 << BackgroundModel::scaleShift;
// Under an insect the level cannot see the light: it follows the light the unchanged pixels of
// its block showed in the frame before (measureLightFollow), read on every followRowStep-th row
// and trusted when at least followShare of those pixels are unchanged. A change of light under
// followSteady is left alone: the soft edges of insects and their shadows, unchanged but a little
// darker, would otherwise darken the level under a slow insect frame after frame.
constexpr int followRowStep = 4;
constexpr double followShare = 0.25;
constexpr double followSteady = 0.02;
// The vector comparisons take this many pixels at a time, all of one block.
constexpr int chunkWidth = 16;

// Time constants, in seconds. The level follows the light where nothing moves within a third of
// a second, and under an insect at the same pace, so that a cloud's shadow that comes while an
// insect rests leaves no ghost of it. The usual variation is an average over two seconds: long
// enough to hold several flickers, short enough to follow the wind. A pixel changed for ten seconds
// shows something that stays (longer than an insect rests) and is taken in at once.
constexpr double meanSeconds = 0.32;
constexpr double spreadSeconds = 2;
constexpr double takeInSeconds = 10;
// A blob whose pixels follow the background's beneath it with at least this correlation shows the
// background's pattern, where the background varies by at least patternDeviation grey levels: an
// insect hides the lines and specks it covers, while light and compression only make them
// fainter or sharper.
constexpr double patternCorrelation = 0.7;
constexpr double patternDeviation = 4;
// A box smaller than this each way is judged on a square of this side around its centre: a speck of
// a few pixels, a dot of the card flickering under compression, cannot show a pattern on its own.
// Larger boxes stay as they are, so that an insect is not diluted by the texture around it.
constexpr int patternSide = 9;
// A shift smaller than this is left to the pixels' usual variation (a camera's jitter); a
// larger one is undone by shifting the frame back onto the background.
constexpr double jitterTolerance = 0.5;
// The rates are fixed point times 2^16, below one half so that they fit signed 16-bit lanes.
constexpr int rateUnit = 1 << 16;
constexpr int largestRate = rateUnit / 2 - 1;

short rateOf(double framesPerTimeConstant)
{
    const double share = 1 - std::exp(-1 / std::max(1.0, framesPerTimeConstant));
    return static_cast<short>(
        std::clamp(static_cast<int>(std::lround(share * rateUnit)), 1, largestRate));
}

// (a * b) >> 16, as the signed 16-bit lanes compute it.
int mulHigh(int a, int b)
{
    return (a * b) >> 16;
}

struct Row {
    const uchar* grey;
    const uchar* mask;
    const ushort* gain; // null: uniformGain for every pixel
    ushort* mean;
    ushort* spread;
    ushort* busy;
    uchar* previous;
    uchar* out;
    const short* follow; // per block: a changed pixel's level moves by level * follow / 2^16
    LightSums* sums;     // per block, on a sampled row; else null
    int blockSide;
};

// The block of each chunk of pixels, as a row is walked from left to right: a chunk takes the
// block of its first pixel, found without a division per chunk.
struct BlockCursor {
    BlockCursor(int x, int side) : block(x / side), next((x / side + 1) * side), side(side) {}
    int at(int x)
    {
        while (x >= next) {
            ++block;
            next += side;
        }
        return block;
    }
    int block, next, side;
};

struct Bars {
    ushort uniformGain;
    int takeInFrames;
};

// How far a pixel of grey level `g` differs from its background level `mean` under the light's
// `gain`, and the bar it must pass, from its usual variation `usual`: both times 1 << spreadShift.
struct Judgement {
    int difference;
    int bar;
};

Judgement judgePixel(int g, int mean, int usual, int gain)
{
    const int expected = ((mean * gain) >> 16) << 1;
    const int difference = std::abs((g << BackgroundModel::scaleShift) - expected) >>
                           (BackgroundModel::scaleShift - spreadShift);
    const int doubt =
        (((expected * std::abs(gain - (1 << LightGain::gainShift))) >> LightGain::gainShift) >>
         (BackgroundModel::scaleShift - spreadShift + 2)) *
        lightDoubtQuarters;
    return {difference,
            std::max(smallestChange << spreadShift, (usual * spreadFactorTwice) >> 1) + doubt};
}

// The centre of pixels weighted by how far each passes a bar.
struct WeightedCentre {
    double total = 0, sumX = 0, sumY = 0;
    void add(int x, int y, double weight)
    {
        total += weight;
        sumX += weight * x;
        sumY += weight * y;
    }
    cv::Point centreOr(cv::Point none) const
    {
        if (total <= 0)
            return none;
        return cv::Point(static_cast<int>(sumX / total), static_cast<int>(sumY / total));
    }
};

// One pixel of the comparison; returns whether it changed.
bool comparePixel(const Row& r, int x, const Bars& bars, short meanRate, short spreadRate,
                  bool learn)
{
    const int g = r.grey[x];
    int usual = r.spread[x];
    const int barBefore = std::max(smallestChange << spreadShift, (usual * spreadFactorTwice) >> 1);
    if (learn) {
        const int step = std::abs(g - r.previous[x]) << spreadShift;
        const int capped = std::min(step, spreadCapFactor * barBefore);
        usual = r.spread[x] =
            static_cast<ushort>(r.spread[x] + mulHigh(capped - r.spread[x], spreadRate));
    }
    const int gain = r.gain ? r.gain[x] : bars.uniformGain;
    const Judgement j = judgePixel(g, r.mean[x], usual, gain);
    const bool moved = j.difference > j.bar;
    r.out[x] = moved && r.mask[x] ? 255 : 0;
    if (!learn)
        return moved && r.mask[x];
    r.previous[x] = static_cast<uchar>(g);
    const int scaled = g << BackgroundModel::scaleShift;
    const int block = x / r.blockSide;
    if (!moved) {
        if (r.sums) {
            LightSums& s = r.sums[block];
            s.grey += g;
            s.level += r.mean[x];
            ++s.pixels;
        }
        r.mean[x] = static_cast<ushort>(r.mean[x] + mulHigh(scaled - r.mean[x], meanRate));
        r.busy[x] = 0;
    } else if (r.busy[x] + 1 >= bars.takeInFrames) {
        r.mean[x] = static_cast<ushort>(scaled);
        r.busy[x] = 0;
    } else {
        ++r.busy[x];
        r.mean[x] = static_cast<ushort>(
            std::min(r.mean[x] + mulHigh(r.mean[x], r.follow[block]), brightest));
    }
    return moved && r.mask[x];
}

#if CV_SIMD128
// Eight pixels of comparePixel, `g` and `p` widened to 16 bits; returns the changed ones inside
// the mask as 0xFFFF lanes. Inlined, its vectors stay in registers.
CV_ALWAYS_INLINE cv::v_uint16x8 compareLanes(const Row& r, int x, const cv::v_uint16x8& g,
                                             const cv::v_uint16x8& p, const cv::v_uint16x8& inside,
                                             const Bars& bars, short meanRate, short spreadRate,
                                             bool learn, int block)
{
    using namespace cv;
    const v_uint16x8 smallest = v_setall_u16(smallestChange << spreadShift);
    v_uint16x8 usual = v_load(r.spread + x);
    if (learn) {
        const v_uint16x8 barBefore = v_max(smallest, ((usual << 3) - usual) >> 1);
        const v_uint16x8 step = v_absdiff(g, p) << spreadShift;
        const v_int16x8 capped = v_reinterpret_as_s16(v_min(step, barBefore + barBefore));
        const v_int16x8 s = v_reinterpret_as_s16(usual);
        usual = v_reinterpret_as_u16(s + v_mul_hi(capped - s, v_setall_s16(spreadRate)));
        v_store(r.spread + x, usual);
    }
    const v_uint16x8 gain = r.gain ? v_load(r.gain + x) : v_setall_u16(bars.uniformGain);
    const v_uint16x8 expected = v_mul_hi(v_load(r.mean + x), gain) << 1;
    const v_uint16x8 scaled = g << BackgroundModel::scaleShift;
    const v_uint16x8 difference =
        v_absdiff(scaled, expected) >> (BackgroundModel::scaleShift - spreadShift);
    // (expected * |gain - 1|) >> 15 in grey levels times 16, a quarter of it times the share.
    const v_uint16x8 one = v_setall_u16(1 << LightGain::gainShift);
    const v_uint16x8 doubt = (v_mul_hi(expected, v_absdiff(gain, one)) >>
                              (BackgroundModel::scaleShift - spreadShift + 1)) *
                             v_setall_u16(lightDoubtQuarters);
    const v_uint16x8 bar = v_max(smallest, ((usual << 3) - usual) >> 1) + doubt;
    const v_uint16x8 moved = difference > bar;
    if (!learn)
        return moved & inside;
    const v_uint16x8 m = v_load(r.mean + x);
    const v_int16x8 ms = v_reinterpret_as_s16(m);
    const v_uint16x8 quiet = v_reinterpret_as_u16(
        ms + v_mul_hi(v_reinterpret_as_s16(scaled) - ms, v_setall_s16(meanRate)));
    const v_uint16x8 followed =
        v_min(v_reinterpret_as_u16(ms + v_mul_hi(ms, v_setall_s16(r.follow[block]))),
              v_setall_u16(brightest));
    if (r.sums) {
        const v_int16x8 unchanged = v_reinterpret_as_s16(~moved);
        const v_int16x8 ones = v_setall_s16(1);
        LightSums& s = r.sums[block];
        s.grey += v_reduce_sum(v_dotprod(v_reinterpret_as_s16(g) & unchanged, ones));
        s.level += v_reduce_sum(v_dotprod(ms & unchanged, ones));
        s.pixels += __builtin_popcount(static_cast<unsigned>(v_signmask(unchanged)));
    }
    const v_uint16x8 count = v_load(r.busy + x) + v_setall_u16(1);
    const v_uint16x8 takeIn =
        moved & (count >= v_setall_u16(static_cast<ushort>(bars.takeInFrames)));
    v_store(r.mean + x, v_select(moved, v_select(takeIn, scaled, followed), quiet));
    v_store(r.busy + x, v_select(moved & ~takeIn, count, v_setzero_u16()));
    return moved & inside;
}
#endif

#if ORVANE_COMPARE256
// compareLanes on sixteen pixels at once, with the same operations lane for lane: the 16-bit
// additions and subtractions saturate as the universal intrinsics' operators do, and unsigned
// comparisons go through signed ones with the top bit flipped.
struct Lanes256 {
    static ORVANE_AVX2_INLINE __m256i absdiff(__m256i a, __m256i b)
    {
        return _mm256_sub_epi16(_mm256_max_epu16(a, b), _mm256_min_epu16(a, b));
    }
    static ORVANE_AVX2_INLINE __m256i greater(__m256i a, __m256i b)
    {
        const __m256i flip = _mm256_set1_epi16(static_cast<short>(0x8000));
        return _mm256_cmpgt_epi16(_mm256_xor_si256(a, flip), _mm256_xor_si256(b, flip));
    }
    static ORVANE_AVX2_INLINE __m256i select(__m256i mask, __m256i a, __m256i b)
    {
        return _mm256_blendv_epi8(b, a, mask);
    }
    // max(smallest, (usual * 7) >> 1), the bar of a pixel's usual variation.
    static ORVANE_AVX2_INLINE __m256i usualBar(__m256i usual, __m256i smallest)
    {
        return _mm256_max_epu16(
            smallest, _mm256_srli_epi16(_mm256_subs_epu16(_mm256_slli_epi16(usual, 3), usual), 1));
    }
};

// The sum of the 16-bit lanes of `v` that `keep` has all ones in, as signed numbers.
ORVANE_AVX2_INLINE int sumKept(__m256i v, __m256i keep)
{
    const __m256i pairs = _mm256_madd_epi16(_mm256_and_si256(v, keep), _mm256_set1_epi16(1));
    __m128i sum = _mm_add_epi32(_mm256_castsi256_si128(pairs), _mm256_extracti128_si256(pairs, 1));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(1, 0, 3, 2)));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(sum);
}

template <bool learn>
ORVANE_AVX2_INLINE __m256i compareLanes256(const Row& r, int x, __m256i g, __m256i p,
                                           __m256i inside, const Bars& bars, short meanRate,
                                           short spreadRate, int block)
{
    using L = Lanes256;
    const __m256i smallest = _mm256_set1_epi16(smallestChange << spreadShift);
    __m256i usual = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r.spread + x));
    if (learn) {
        const __m256i barBefore = L::usualBar(usual, smallest);
        const __m256i step = _mm256_slli_epi16(L::absdiff(g, p), spreadShift);
        const __m256i capped = _mm256_min_epu16(step, _mm256_adds_epu16(barBefore, barBefore));
        usual = _mm256_adds_epi16(usual, _mm256_mulhi_epi16(_mm256_subs_epi16(capped, usual),
                                                            _mm256_set1_epi16(spreadRate)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(r.spread + x), usual);
    }
    const __m256i gain = r.gain ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r.gain + x))
                                : _mm256_set1_epi16(static_cast<short>(bars.uniformGain));
    const __m256i m = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r.mean + x));
    const __m256i expected = _mm256_slli_epi16(_mm256_mulhi_epu16(m, gain), 1);
    const __m256i scaled = _mm256_slli_epi16(g, BackgroundModel::scaleShift);
    const __m256i difference =
        _mm256_srli_epi16(L::absdiff(scaled, expected), BackgroundModel::scaleShift - spreadShift);
    const __m256i one = _mm256_set1_epi16(static_cast<short>(1 << LightGain::gainShift));
    const __m256i doubt =
        _mm256_mullo_epi16(_mm256_srli_epi16(_mm256_mulhi_epu16(expected, L::absdiff(gain, one)),
                                             BackgroundModel::scaleShift - spreadShift + 1),
                           _mm256_set1_epi16(lightDoubtQuarters));
    const __m256i bar = _mm256_adds_epu16(L::usualBar(usual, smallest), doubt);
    const __m256i moved = L::greater(difference, bar);
    if (!learn)
        return _mm256_and_si256(moved, inside);
    const __m256i quiet = _mm256_adds_epi16(
        m, _mm256_mulhi_epi16(_mm256_subs_epi16(scaled, m), _mm256_set1_epi16(meanRate)));
    const __m256i followed = _mm256_min_epu16(
        _mm256_adds_epi16(m, _mm256_mulhi_epi16(m, _mm256_set1_epi16(r.follow[block]))),
        _mm256_set1_epi16(brightest));
    if (r.sums) {
        const __m256i unchanged = _mm256_xor_si256(moved, _mm256_set1_epi16(-1));
        LightSums& s = r.sums[block];
        s.grey += sumKept(g, unchanged);
        s.level += sumKept(m, unchanged);
        s.pixels += __builtin_popcount(static_cast<unsigned>(_mm256_movemask_epi8(unchanged))) / 2;
    }
    const __m256i count = _mm256_adds_epu16(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r.busy + x)), _mm256_set1_epi16(1));
    const __m256i takeInAt = _mm256_set1_epi16(static_cast<short>(bars.takeInFrames - 1));
    const __m256i takeIn = _mm256_and_si256(moved, L::greater(count, takeInAt));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(r.mean + x),
                        L::select(moved, L::select(takeIn, scaled, followed), quiet));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(r.busy + x),
                        _mm256_andnot_si256(takeIn, _mm256_and_si256(moved, count)));
    return _mm256_and_si256(moved, inside);
}

// The vector part of a row of the comparison, sixteen pixels at a time: returns where it
// stopped, adding the changed pixels to `changed` and marking their blocks.
template <bool learn>
ORVANE_AVX2 int compareRow256(const Row& r, int cols, const Bars& bars, short meanRate,
                              short spreadRate, uchar* blockRow, int blockSide, long& changed)
{
    int x = 0;
    const __m256i zero = _mm256_setzero_si256();
    BlockCursor blocks(x, blockSide);
    for (; x + chunkWidth <= cols; x += chunkWidth) {
        const __m128i grey = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r.grey + x));
        const __m256i g = _mm256_cvtepu8_epi16(grey);
        const __m256i p =
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r.previous + x)));
        const __m256i inside = _mm256_xor_si256(
            _mm256_cmpeq_epi16(
                _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r.mask + x))),
                zero),
            _mm256_set1_epi16(-1));
        const __m256i c =
            compareLanes256<learn>(r, x, g, p, inside, bars, meanRate, spreadRate, blocks.at(x));
        const __m256i half = _mm256_srli_epi16(c, 8);
        const __m128i moved =
            _mm_packus_epi16(_mm256_castsi256_si128(half), _mm256_extracti128_si256(half, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(r.out + x), moved);
        if (learn)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(r.previous + x), grey);
        const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(moved));
        if (bits != 0) {
            changed += __builtin_popcount(bits);
            blockRow[x / blockSide] = blockRow[(x + chunkWidth - 1) / blockSide] = 1;
        }
    }
    return x;
}
#endif
} // namespace

void BackgroundModel::setFrameRate(double rate)
{
    if (std::isfinite(rate) && rate > 0) {
        fps = rate;
        camera.setFrameRate(rate);
    }
}

int BackgroundModel::framesIn(double seconds) const
{
    return std::clamp(static_cast<int>(std::lround(seconds * fps)), 1, 65535);
}

void BackgroundModel::reset()
{
    mean.release();
    spread.release();
    busy.release();
    previous.release();
    camera.forget();
}

void BackgroundModel::start(const cv::Mat& grey)
{
    spread.create(grey.size(), CV_16UC1);
    spread.setTo(0);
    framesLearnt = 0;
    relearn(grey);
}

void BackgroundModel::relearn(const cv::Mat& grey, const std::vector<cv::Rect>& kept)
{
    if (!kept.empty() && mean.size() == grey.size()) {
        grey.convertTo(relearnt, CV_16UC1, scale);
        const cv::Rect all(0, 0, grey.cols, grey.rows);
        for (const cv::Rect& r : kept) {
            const cv::Rect inside = r & all;
            if (!inside.empty())
                mean(inside).copyTo(relearnt(inside));
        }
        std::swap(mean, relearnt);
    } else {
        grey.convertTo(mean, CV_16UC1, scale);
    }
    busy.create(grey.size(), CV_16UC1);
    busy.setTo(0);
    grey.copyTo(previous);
    std::fill(lightFollow.begin(), lightFollow.end(), 0);
    camera.forget();
}

BackgroundModel::Rates BackgroundModel::ratesFor(bool learn) const
{
    Rates rates;
    rates.learn = learn;
    rates.mean = rateOf(meanSeconds * fps);
    // Until it has seen enough frames the usual variation is about the mean of those seen.
    rates.spread = rateOf(std::min(spreadSeconds * fps, static_cast<double>(framesLearnt + 1)));
    return rates;
}

BackgroundModel::Comparison BackgroundModel::compare(const cv::Mat& grey, const cv::Mat& mask,
                                                     cv::Mat& out, cv::Mat_<uchar>& blocks,
                                                     int blockSide, bool learn)
{
    Comparison c;
    c.shift = camera.estimate(grey, mean, scale, jitterTolerance);
    const cv::Mat* frame = &grey;
    const bool shaken = std::hypot(c.shift.x, c.shift.y) >= jitterTolerance;
    if (shaken) {
        shiftBack(grey, c.shift);
        frame = &aligned;
    } else {
        c.shift = cv::Point2d();
    }
    compared = *frame;
    light.estimate(*frame, mean, scale);
    const Rates rates = ratesFor(learn);
    c.changed = comparePixels(*frame, mask, out, blocks, blockSide, rates);
    keptShare = rates.learn ? 1 - double(rates.mean) / rateUnit : 1;
    if (shaken)
        clearShiftedIn(out, c.shift);
    framesLearnt += rates.learn;
    return c;
}

namespace
{
cv::Rect patternWindow(const cv::Rect& box)
{
    if (box.width >= patternSide || box.height >= patternSide)
        return box;
    const cv::Point centre(box.x + box.width / 2, box.y + box.height / 2);
    return cv::Rect(centre.x - patternSide / 2, centre.y - patternSide / 2, patternSide,
                    patternSide);
}
} // namespace

bool BackgroundModel::showsBackgroundPattern(const cv::Rect& box) const
{
    const cv::Rect r = patternWindow(box) & cv::Rect(0, 0, mean.cols, mean.rows);
    if (compared.empty() || r.area() < 4)
        return false;
    double sf = 0, sb = 0, sff = 0, sbb = 0, sfb = 0;
    for (int y = r.y; y < r.br().y; ++y) {
        const uchar* f = compared.ptr<uchar>(y);
        const ushort* b = mean.ptr<ushort>(y);
        for (int x = r.x; x < r.br().x; ++x) {
            const double fv = f[x], bv = b[x] * (1.0 / scale);
            sf += fv;
            sb += bv;
            sff += fv * fv;
            sbb += bv * bv;
            sfb += fv * bv;
        }
    }
    const double n = r.area();
    const double vf = sff - sf * sf / n, vb = sbb - sb * sb / n, cov = sfb - sf * sb / n;
    if (vb < patternDeviation * patternDeviation * n || vf <= 0)
        return false;
    return cov / std::sqrt(vf * vb) >= patternCorrelation;
}

BackgroundModel::Change BackgroundModel::fainterChangeIn(const cv::Rect& box, const cv::Mat& mask,
                                                         double share)
{
    Change c;
    const cv::Rect r = box & cv::Rect(0, 0, mean.cols, mean.rows);
    if (compared.empty() || r.empty())
        return c;
    // The background has learnt from the frame's unchanged pixels since: their difference from it
    // shrank by the share learnt.
    const int fixedShare = static_cast<int>(std::lround(share * keptShare * 256));
    int left = r.br().x, top = r.br().y, right = r.x, bottom = r.y;
    WeightedCentre centre;
    for (int y = r.y; y < r.br().y; ++y) {
        const uchar* f = compared.ptr<uchar>(y);
        const ushort* b = mean.ptr<ushort>(y);
        const ushort* s = spread.ptr<ushort>(y);
        const uchar* m = mask.ptr<uchar>(y);
        const ushort* gains = light.uniform() ? nullptr : light.gainsOfRow(y);
        for (int x = r.x; x < r.br().x; ++x) {
            const int gain = gains ? gains[x] : light.uniformGain();
            const Judgement j = judgePixel(f[x], b[x], s[x], gain);
            const int beyond = j.difference - ((j.bar * fixedShare) >> 8);
            if (beyond <= 0 || !m[x])
                continue;
            ++c.pixels;
            centre.add(x, y, beyond);
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = std::max(bottom, y);
        }
    }
    if (c.pixels == 0)
        return c;
    c.box = cv::Rect(cv::Point(left, top), cv::Point(right + 1, bottom + 1));
    c.centre = centre.centreOr(c.box.tl());
    return c;
}

cv::Point BackgroundModel::centreOfChange(const cv::Rect& box) const
{
    const cv::Rect r = box & cv::Rect(0, 0, mean.cols, mean.rows);
    WeightedCentre centre;
    for (int y = r.y; y < r.br().y; ++y) {
        const uchar* f = compared.ptr<uchar>(y);
        const ushort* b = mean.ptr<ushort>(y);
        for (int x = r.x; x < r.br().x; ++x) {
            const double beyond = std::abs(f[x] - b[x] * (1.0 / scale)) - smallestChange;
            if (beyond > 0)
                centre.add(x, y, beyond);
        }
    }
    return centre.centreOr(cv::Point(box.x + box.width / 2, box.y + box.height / 2));
}

namespace
{
// The weights of cubic interpolation (as OpenCV's, A = -0.75) of the four pixels around a point
// `fraction` of a pixel past the second, the fraction taken in steps of 1/32 as warpAffine takes
// it.
cv::Matx41f cubicWeights(double fraction)
{
    constexpr double a = -0.75;
    constexpr int steps = 32;
    const double x = std::round(fraction * steps) / steps;
    cv::Matx41f w;
    w(0) = static_cast<float>(((a * (x + 1) - 5 * a) * (x + 1) + 8 * a) * (x + 1) - 4 * a);
    w(1) = static_cast<float>(((a + 2) * x - (a + 3)) * x * x + 1);
    w(2) = static_cast<float>(((a + 2) * (1 - x) - (a + 3)) * (1 - x) * (1 - x) + 1);
    w(3) = 1 - w(0) - w(1) - w(2);
    return w;
}
} // namespace

// The frame shifted back onto the background: each pixel (x, y) takes the frame at (x + dx,
// y + dy), interpolated cubically, which keeps it about as sharp as the background it learns. A
// shift is the same for every pixel, so the interpolation is one separable filter of four taps
// each way over the frame moved by whole pixels, far cheaper than warping it; the frame's border
// is repeated beyond its edges.
void BackgroundModel::shiftBack(const cv::Mat& grey, const cv::Point2d& shift)
{
    const int wholeX = cvFloor(shift.x), wholeY = cvFloor(shift.y);
    const int pad = std::max(std::abs(wholeX), std::abs(wholeY)) + 2;
    cv::copyMakeBorder(grey, padded, pad, pad, pad, pad, cv::BORDER_REPLICATE);
    const cv::Mat moved = padded(cv::Rect(pad + wholeX, pad + wholeY, grey.cols, grey.rows));
    cv::sepFilter2D(moved, aligned, CV_8U, cubicWeights(shift.x - wholeX),
                    cubicWeights(shift.y - wholeY), cv::Point(1, 1), 0, cv::BORDER_REPLICATE);
}

// The margin a shift brings in from outside the frame repeats the frame's border: nothing there
// is known to have changed.
void BackgroundModel::clearShiftedIn(cv::Mat& out, const cv::Point2d& shift)
{
    const int w = std::min(out.cols, static_cast<int>(std::ceil(std::abs(shift.x))));
    const int h = std::min(out.rows, static_cast<int>(std::ceil(std::abs(shift.y))));
    out(cv::Rect(shift.x > 0 ? out.cols - w : 0, 0, w, out.rows)).setTo(0);
    out(cv::Rect(0, shift.y > 0 ? out.rows - h : 0, out.cols, h)).setTo(0);
}

long BackgroundModel::comparePixels(const cv::Mat& grey, const cv::Mat& mask, cv::Mat& out,
                                    cv::Mat_<uchar>& blocks, int blockSide, const Rates& rates)
{
    const Bars bars{light.uniformGain(), framesIn(takeInSeconds)};
    const bool gainMap = !light.uniform();
    const bool widest = vectors == Vectors::Widest && cv::checkHardwareSupport(CV_CPU_AVX2);
    const size_t blocksAcross = static_cast<size_t>((grey.cols + blockSide - 1) / blockSide);
    if (lightFollow.size() != blocksAcross * static_cast<size_t>(blocks.rows))
        lightFollow.assign(blocksAcross * static_cast<size_t>(blocks.rows), 0);
    if (rates.learn) // only a frame learnt from measures the light for the next
        lightSums.assign(lightFollow.size(), LightSums());
    long changed = 0;
    for (int y = 0; y < grey.rows; ++y) {
        const size_t blockRowStart = static_cast<size_t>(y / blockSide) * blocksAcross;
        const bool sampled = rates.learn && y % followRowStep == 0;
        const Row r{grey.ptr<uchar>(y),
                    mask.ptr<uchar>(y),
                    gainMap ? light.gainsOfRow(y) : nullptr,
                    mean.ptr<ushort>(y),
                    spread.ptr<ushort>(y),
                    busy.ptr<ushort>(y),
                    previous.ptr<uchar>(y),
                    out.ptr<uchar>(y),
                    lightFollow.data() + blockRowStart,
                    sampled ? lightSums.data() + blockRowStart : nullptr,
                    blockSide};
        uchar* blockRow = blocks.ptr<uchar>(y / blockSide);
        int x = 0;
#if ORVANE_COMPARE256
        if (widest)
            x = rates.learn ? compareRow256<true>(r, grey.cols, bars, rates.mean, rates.spread,
                                                  blockRow, blockSide, changed)
                            : compareRow256<false>(r, grey.cols, bars, rates.mean, rates.spread,
                                                   blockRow, blockSide, changed);
#endif
#if CV_SIMD128
        BlockCursor chunkBlocks(x, blockSide);
        for (; x + chunkWidth <= grey.cols; x += chunkWidth) {
            cv::v_uint16x8 g0, g1, p0, p1, m0, m1;
            cv::v_expand(cv::v_load(r.grey + x), g0, g1);
            cv::v_expand(cv::v_load(r.previous + x), p0, p1);
            cv::v_expand(cv::v_load(r.mask + x), m0, m1);
            const int block = chunkBlocks.at(x);
            const cv::v_uint16x8 c0 = compareLanes(r, x, g0, p0, m0 != cv::v_setzero_u16(), bars,
                                                   rates.mean, rates.spread, rates.learn, block);
            const cv::v_uint16x8 c1 =
                compareLanes(r, x + 8, g1, p1, m1 != cv::v_setzero_u16(), bars, rates.mean,
                             rates.spread, rates.learn, block);
            const cv::v_uint8x16 moved = cv::v_pack(c0 >> 8, c1 >> 8);
            cv::v_store(r.out + x, moved);
            if (rates.learn)
                cv::v_store(r.previous + x, cv::v_load(r.grey + x));
            if (cv::v_check_any(moved)) {
                changed += __builtin_popcount(static_cast<unsigned>(cv::v_signmask(moved)));
                blockRow[x / blockSide] = blockRow[(x + chunkWidth - 1) / blockSide] = 1;
            }
        }
#endif
        for (; x < grey.cols; ++x)
            if (comparePixel(r, x, bars, rates.mean, rates.spread, rates.learn)) {
                ++changed;
                blockRow[x / blockSide] = 1;
            }
    }
    if (rates.learn)
        measureLightFollow(blockSide, rates.mean);
    return changed;
}

// For the next frame: a changed pixel's level moves as its unchanged neighbours' levels did in
// this one, by the mean rate times the ratio of their grey levels to their levels, less one. A
// block its insects cover leaves its pixels as they were: a clump of dark insects is no shadow.
void BackgroundModel::measureLightFollow(int blockSide, short meanRate)
{
    const int fewest = static_cast<int>(followShare * blockSide * blockSide / followRowStep);
    for (size_t b = 0; b < lightSums.size(); ++b) {
        const LightSums& s = lightSums[b];
        short& follow = lightFollow[b];
        follow = 0;
        if (s.pixels < fewest || s.level <= 0)
            continue;
        const double gain = double(s.grey) * scale / s.level;
        if (std::abs(gain - 1) < followSteady)
            continue;
        follow = static_cast<short>(
            std::clamp(std::lround(meanRate * (gain - 1)), -long(largestRate), long(largestRate)));
    }
}
