#include "yuvgrey.h"

#include "videodecoder.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define ORVANE_AVX2_STEP 1
#define ORVANE_AVX2 __attribute__((target("avx2")))
#define ORVANE_ALWAYS_INLINE __attribute__((always_inline))
#else
#define ORVANE_AVX2_STEP 0
#define ORVANE_AVX2
#define ORVANE_ALWAYS_INLINE
#endif

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <QDebug>
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>
#include <utility>
#include <vector>

namespace
{
// cv::cvtColor's BGR to grey for 8-bit pictures: (B*3735 + G*19235 + R*9798 + 2^14) >> 15.
constexpr short greyBlue = 3735;
constexpr short greyGreen = 19235;
constexpr short greyRed = 9798;
constexpr int greyShift = 15;

// The 256 luma values of one chroma pair fill 64 blocks of 2x2 pixels.
constexpr int blocksPerPair = 64;
constexpr int chromaPairs = 256 * 256;
// Chroma pairs per synthetic picture while checking: a few hundred kilobytes of BGR.
constexpr int pairsPerCheck = 1024;
// Neutral chroma, with which the luma term shows on its own.
constexpr int neutral = 128;
constexpr int unknown = INT_MIN;
// How far a fitted term may be from the slope its values show, in coefficient steps, and the
// offsets tried: luma and chroma are shifted left by 3, so offsets lie within 0..2040.
constexpr int coefficientSearch = 96;
constexpr int offsetSearch = 2048;
constexpr int largestConstant = 1024;
// swscale's SIMD converters work in steps of 8 or 16 pixels: at other widths the last pixels of
// a row may be converted otherwise.
constexpr int widthStep = 16;
// The rounding term of the grey, 2^14, taken twice: it does not fit a 16-bit lane.
constexpr short greyRound = 1 << (greyShift - 2);

bool unclipped(int value)
{
    return value > 0 && value < 255;
}

// A picture of 2x2 blocks, 64 for each chroma pair, holding the pair with the 256 luma values.
class Synthetic
{
public:
    Synthetic(int format, int width, int pairs)
        : width(width), rows(2 * ((pairs * blocksPerPair + width / 2 - 1) / (width / 2))),
          frame(av_frame_alloc())
    {
        if (!frame)
            return;
        frame->format = format;
        frame->width = width;
        frame->height = rows;
        if (av_frame_get_buffer(frame, 32) != 0)
            av_frame_free(&frame);
    }
    ~Synthetic() { av_frame_free(&frame); }
    Synthetic(const Synthetic&) = delete;
    Synthetic& operator=(const Synthetic&) = delete;

    bool valid() const { return frame != nullptr; }
    cv::Size size() const { return cv::Size(width, rows); }

    // Pair i of `pairs` (U << 8 | V) goes to blocks 64 i ... 64 i + 63, block k holding luma
    // 4 (k % 64) ... 4 (k % 64) + 3; blocks past the last pair repeat it.
    void fill(const std::vector<int>& pairs)
    {
        if (!lumaFilled)
            fillLuma();
        const int across = width / 2;
        const int last = static_cast<int>(pairs.size()) - 1;
        for (int by = 0, k = 0; by < rows / 2; ++by) {
            uint8_t* u = frame->data[1] + by * frame->linesize[1];
            uint8_t* v = frame->data[2] + by * frame->linesize[2];
            for (int bx = 0; bx < across; ++bx, ++k) {
                const int pair = pairs[static_cast<size_t>(std::min(k / blocksPerPair, last))];
                u[bx] = static_cast<uint8_t>(pair >> 8);
                v[bx] = static_cast<uint8_t>(pair & 255);
            }
        }
    }

    // The luma of block k's pixel j, and where that pixel is.
    static int lumaOf(int k, int j) { return 4 * (k % blocksPerPair) + j; }
    cv::Point pixelOf(int k, int j) const
    {
        const int across = width / 2;
        return cv::Point(2 * (k % across) + j % 2, 2 * (k / across) + j / 2);
    }

    const AVFrame* picture() const { return frame; }

private:
    void fillLuma()
    {
        const int across = width / 2;
        for (int by = 0, k = 0; by < rows / 2; ++by) {
            for (int bx = 0; bx < across; ++bx, ++k) {
                for (int j = 0; j < 4; ++j)
                    frame->data[0][(2 * by + j / 2) * frame->linesize[0] + 2 * bx + j % 2] =
                        static_cast<uint8_t>(lumaOf(k, j));
            }
        }
        lumaFilled = true;
    }

    int width;
    int rows;
    AVFrame* frame;
    bool lumaFilled = false;
};

// The i-th value from `centre` on, in the order centre, centre - 1, centre + 1, centre - 2, ...
int outward(int centre, int i)
{
    return centre + (i % 2 == 0 ? i / 2 : -(i + 1) / 2);
}

// The term that gives f(x) for every x in 0..255, searched around the slope the values show;
// one without a constant first.
bool fitTerm(const int (&f)[256], YuvGrey::Term& term)
{
    const double slope = (f[255] - f[0]) / 255.0; // 8 * coefficient / 65536
    const int centre = static_cast<int>(std::lround(slope * 8192));
    for (const bool withConstant : {false, true}) {
        for (int d = 0; d <= 2 * coefficientSearch; ++d) {
            const int coefficient = outward(centre, d);
            if (coefficient < SHRT_MIN || coefficient > SHRT_MAX)
                continue;
            for (int i = 0; i <= 2 * offsetSearch; ++i) {
                YuvGrey::Term t{outward(0, i), coefficient, 0};
                if (withConstant)
                    t.constant = f[0] - t(0);
                if (std::abs(t.constant) > largestConstant)
                    continue;
                int x = 255;
                while (x >= 0 && t(x) == f[x])
                    --x;
                if (x < 0) {
                    term = t;
                    return true;
                }
            }
        }
    }
    return false;
}

// What the learning pictures show of one channel: value[pair][Y].
using Probe = std::vector<std::array<int, 256>>;

bool allKnown(const int (&f)[256])
{
    return std::none_of(std::begin(f), std::end(f), [](int v) { return v == unknown; });
}

#if CV_SIMD128
// The step of 16 pixels in 128-bit vectors, wherever OpenCV has them.
struct Step128 {
    static constexpr int pixels = 16;

    explicit Step128(const YuvGrey::Terms& t)
        : lumaOffset(cv::v_setall_s16(static_cast<short>(t.luma.offset))),
          lumaCoefficient(cv::v_setall_s16(static_cast<short>(t.luma.coefficient))),
          blueOffset(cv::v_setall_s16(static_cast<short>(t.blue.offset))),
          blueCoefficient(cv::v_setall_s16(static_cast<short>(t.blue.coefficient))),
          greenUOffset(cv::v_setall_s16(static_cast<short>(t.greenU.offset))),
          greenUCoefficient(cv::v_setall_s16(static_cast<short>(t.greenU.coefficient))),
          greenVOffset(cv::v_setall_s16(static_cast<short>(t.greenV.offset))),
          greenVCoefficient(cv::v_setall_s16(static_cast<short>(t.greenV.coefficient))),
          redOffset(cv::v_setall_s16(static_cast<short>(t.red.offset))),
          redCoefficient(cv::v_setall_s16(static_cast<short>(t.red.coefficient))),
          blueConstant(cv::v_setall_s16(static_cast<short>(t.luma.constant + t.blue.constant))),
          greenConstant(cv::v_setall_s16(
              static_cast<short>(t.luma.constant + t.greenU.constant + t.greenV.constant))),
          redConstant(cv::v_setall_s16(static_cast<short>(t.luma.constant + t.red.constant))),
          blueGreen(cv::v_int16x8(greyBlue, greyGreen, greyBlue, greyGreen, greyBlue, greyGreen,
                                  greyBlue, greyGreen)),
          redRound(cv::v_int16x8(greyRed, greyRound, greyRed, greyRound, greyRed, greyRound,
                                 greyRed, greyRound)),
          two(cv::v_setall_s16(2)), top(cv::v_setall_s16(255)), zero(cv::v_setzero_s16())
    {
    }

    void one(const uchar* y, const uchar* u, const uchar* v, uchar* out) const
    {
        step(y, u, v, out);
    }
    void run(const uchar* y, const uchar* u, const uchar* v, uchar* out, int steps) const
    {
        for (int i = 0; i < steps; ++i)
            step(y + i * pixels, u + i * pixels / 2, v + i * pixels / 2, out + i * pixels);
    }

private:
    // Sixteen pixels from an even column on: their luma, and the chroma of their eight blocks.
    ORVANE_ALWAYS_INLINE void step(const uchar* y, const uchar* u, const uchar* v, uchar* out) const
    {
        const cv::v_int16x8 cu = cv::v_shl<3>(cv::v_reinterpret_as_s16(cv::v_load_expand(u)));
        const cv::v_int16x8 cv_ = cv::v_shl<3>(cv::v_reinterpret_as_s16(cv::v_load_expand(v)));
        const cv::v_int16x8 blue = cv::v_mul_hi(cu - blueOffset, blueCoefficient) + blueConstant;
        const cv::v_int16x8 green = cv::v_mul_hi(cu - greenUOffset, greenUCoefficient) +
                                    cv::v_mul_hi(cv_ - greenVOffset, greenVCoefficient) +
                                    greenConstant;
        const cv::v_int16x8 red = cv::v_mul_hi(cv_ - redOffset, redCoefficient) + redConstant;
        cv::v_uint16x8 y0, y1;
        cv::v_expand(cv::v_load(y), y0, y1);
        // Each chroma sample serves the two pixels of its block in the row.
        cv::v_int16x8 blue0, blue1, green0, green1, red0, red1;
        cv::v_zip(blue, blue, blue0, blue1);
        cv::v_zip(green, green, green0, green1);
        cv::v_zip(red, red, red0, red1);
        cv::v_store(out, cv::v_pack_u(greyOf8(luma(y0), blue0, green0, red0),
                                      greyOf8(luma(y1), blue1, green1, red1)));
    }

    cv::v_int16x8 luma(const cv::v_uint16x8& y) const
    {
        return cv::v_mul_hi(cv::v_shl<3>(cv::v_reinterpret_as_s16(y)) - lumaOffset,
                            lumaCoefficient);
    }

    // Eight pixels' grey from their luma term and their chroma terms.
    cv::v_int16x8 greyOf8(const cv::v_int16x8& l, const cv::v_int16x8& blue,
                          const cv::v_int16x8& green, const cv::v_int16x8& red) const
    {
        const cv::v_int16x8 b = cv::v_max(cv::v_min(l + blue, top), zero);
        const cv::v_int16x8 g = cv::v_max(cv::v_min(l + green, top), zero);
        const cv::v_int16x8 r = cv::v_max(cv::v_min(l + red, top), zero);
        cv::v_int16x8 bg0, bg1, r0, r1;
        cv::v_zip(b, g, bg0, bg1);
        cv::v_zip(r, two, r0, r1);
        const cv::v_int32x4 sum0 = cv::v_dotprod(bg0, blueGreen, cv::v_dotprod(r0, redRound));
        const cv::v_int32x4 sum1 = cv::v_dotprod(bg1, blueGreen, cv::v_dotprod(r1, redRound));
        return cv::v_pack(cv::v_shr<greyShift>(sum0), cv::v_shr<greyShift>(sum1));
    }

    cv::v_int16x8 lumaOffset, lumaCoefficient, blueOffset, blueCoefficient, greenUOffset,
        greenUCoefficient, greenVOffset, greenVCoefficient, redOffset, redCoefficient, blueConstant,
        greenConstant, redConstant, blueGreen, redRound, two, top, zero;
};
#endif

#if ORVANE_AVX2_STEP
// The same in 256-bit vectors, 32 pixels a step. AVX2 works within each 128-bit half: the low
// half of a 16-bit vector holds pixels 0..7 and the high half 16..23 (or 8..15 and 24..31),
// which the final pack puts back in order.
struct Step256 {
    static constexpr int pixels = 32;

    ORVANE_AVX2 explicit Step256(const YuvGrey::Terms& t)
        : lumaOffset(_mm256_set1_epi16(static_cast<short>(t.luma.offset))),
          lumaCoefficient(_mm256_set1_epi16(static_cast<short>(t.luma.coefficient))),
          blueOffset(_mm256_set1_epi16(static_cast<short>(t.blue.offset))),
          blueCoefficient(_mm256_set1_epi16(static_cast<short>(t.blue.coefficient))),
          greenUOffset(_mm256_set1_epi16(static_cast<short>(t.greenU.offset))),
          greenUCoefficient(_mm256_set1_epi16(static_cast<short>(t.greenU.coefficient))),
          greenVOffset(_mm256_set1_epi16(static_cast<short>(t.greenV.offset))),
          greenVCoefficient(_mm256_set1_epi16(static_cast<short>(t.greenV.coefficient))),
          redOffset(_mm256_set1_epi16(static_cast<short>(t.red.offset))),
          redCoefficient(_mm256_set1_epi16(static_cast<short>(t.red.coefficient))),
          blueConstant(_mm256_set1_epi16(static_cast<short>(t.luma.constant + t.blue.constant))),
          greenConstant(_mm256_set1_epi16(
              static_cast<short>(t.luma.constant + t.greenU.constant + t.greenV.constant))),
          redConstant(_mm256_set1_epi16(static_cast<short>(t.luma.constant + t.red.constant))),
          blueGreen(_mm256_set1_epi32(greyGreen << 16 | greyBlue)),
          redRound(_mm256_set1_epi32(greyRound << 16 | greyRed)), two(_mm256_set1_epi16(2)),
          top(_mm256_set1_epi16(255)), zero(_mm256_setzero_si256())
    {
    }

    ORVANE_AVX2 void one(const uchar* y, const uchar* u, const uchar* v, uchar* out) const
    {
        step(y, u, v, out);
    }
    ORVANE_AVX2 void run(const uchar* y, const uchar* u, const uchar* v, uchar* out,
                         int steps) const
    {
        for (int i = 0; i < steps; ++i)
            step(y + i * pixels, u + i * pixels / 2, v + i * pixels / 2, out + i * pixels);
    }

private:
    ORVANE_AVX2 ORVANE_ALWAYS_INLINE void step(const uchar* y, const uchar* u, const uchar* v,
                                               uchar* out) const
    {
        const __m256i cu = _mm256_slli_epi16(
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u))), 3);
        const __m256i cv = _mm256_slli_epi16(
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v))), 3);
        const __m256i blue = _mm256_adds_epi16(
            _mm256_mulhi_epi16(_mm256_subs_epi16(cu, blueOffset), blueCoefficient), blueConstant);
        const __m256i green = _mm256_adds_epi16(
            _mm256_adds_epi16(
                _mm256_mulhi_epi16(_mm256_subs_epi16(cu, greenUOffset), greenUCoefficient),
                _mm256_mulhi_epi16(_mm256_subs_epi16(cv, greenVOffset), greenVCoefficient)),
            greenConstant);
        const __m256i red = _mm256_adds_epi16(
            _mm256_mulhi_epi16(_mm256_subs_epi16(cv, redOffset), redCoefficient), redConstant);
        const __m256i luma8 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y));
        const __m256i grey0 =
            greyOf16(luma(_mm256_unpacklo_epi8(luma8, zero)), _mm256_unpacklo_epi16(blue, blue),
                     _mm256_unpacklo_epi16(green, green), _mm256_unpacklo_epi16(red, red));
        const __m256i grey1 =
            greyOf16(luma(_mm256_unpackhi_epi8(luma8, zero)), _mm256_unpackhi_epi16(blue, blue),
                     _mm256_unpackhi_epi16(green, green), _mm256_unpackhi_epi16(red, red));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_packus_epi16(grey0, grey1));
    }

    ORVANE_AVX2 __m256i luma(__m256i y) const
    {
        return _mm256_mulhi_epi16(_mm256_subs_epi16(_mm256_slli_epi16(y, 3), lumaOffset),
                                  lumaCoefficient);
    }

    ORVANE_AVX2 __m256i clip(__m256i value) const
    {
        return _mm256_max_epi16(_mm256_min_epi16(value, top), zero);
    }

    ORVANE_AVX2 __m256i greyOf16(__m256i l, __m256i blue, __m256i green, __m256i red) const
    {
        const __m256i b = clip(_mm256_adds_epi16(l, blue));
        const __m256i g = clip(_mm256_adds_epi16(l, green));
        const __m256i r = clip(_mm256_adds_epi16(l, red));
        const __m256i sum0 =
            _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(b, g), blueGreen),
                             _mm256_madd_epi16(_mm256_unpacklo_epi16(r, two), redRound));
        const __m256i sum1 =
            _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(b, g), blueGreen),
                             _mm256_madd_epi16(_mm256_unpackhi_epi16(r, two), redRound));
        return _mm256_packs_epi32(_mm256_srai_epi32(sum0, greyShift),
                                  _mm256_srai_epi32(sum1, greyShift));
    }

    __m256i lumaOffset, lumaCoefficient, blueOffset, blueCoefficient, greenUOffset,
        greenUCoefficient, greenVOffset, greenVCoefficient, redOffset, redCoefficient, blueConstant,
        greenConstant, redConstant, blueGreen, redRound, two, top, zero;
};
#endif

// A step that sticks out of [x0, x1) on either side, through copies of its pixels, so that every
// pixel goes through the same step.
template <class Step>
void stepThroughCopy(const Step& step, const uchar* y, const uchar* u, const uchar* v, uchar* out,
                     int x, int x0, int x1)
{
    constexpr int n = Step::pixels;
    const int from = std::max(x, x0), to = std::min(x + n, x1);
    uchar lumaCopy[n] = {}, uCopy[n / 2] = {}, vCopy[n / 2] = {}, greyCopy[n];
    std::memcpy(lumaCopy + (from - x), y + from, static_cast<size_t>(to - from));
    const int c0 = from / 2, c1 = (to + 1) / 2;
    std::memcpy(uCopy + (c0 - x / 2), u + c0, static_cast<size_t>(c1 - c0));
    std::memcpy(vCopy + (c0 - x / 2), v + c0, static_cast<size_t>(c1 - c0));
    step.one(lumaCopy, uCopy, vCopy, greyCopy);
    std::memcpy(out + (from - x0), greyCopy + (from - x), static_cast<size_t>(to - from));
}

// Pixels [x0, x1) of a row, into out[0 .. x1 - x0), in steps from even columns.
template <class Step>
void convertRowWith(const Step& step, const uchar* y, const uchar* u, const uchar* v, uchar* out,
                    int x0, int x1)
{
    constexpr int n = Step::pixels;
    int x = x0 & ~1;
    if (x < x0) {
        stepThroughCopy(step, y, u, v, out, x, x0, x1);
        x += n;
    }
    const int steps = std::max(0, (x1 - x) / n);
    step.run(y + x, u + x / 2, v + x / 2, out + (x - x0), steps);
    x += steps * n;
    if (x < x1)
        stepThroughCopy(step, y, u, v, out, x, x0, x1);
}

#if CV_SIMD128
void convertRow128(const YuvGrey::Terms& t, const uchar* y, const uchar* u, const uchar* v,
                   uchar* out, int x0, int x1)
{
    convertRowWith(Step128(t), y, u, v, out, x0, x1);
}
#endif

#if ORVANE_AVX2_STEP
ORVANE_AVX2 void convertRow256(const YuvGrey::Terms& t, const uchar* y, const uchar* u,
                               const uchar* v, uchar* out, int x0, int x1)
{
    convertRowWith(Step256(t), y, u, v, out, x0, x1);
}
#endif

// One for the whole process, so that the check of every (Y, U, V) covers every pixel converted.
YuvGrey::RowConverter rowConverter(YuvGrey::Vectors vectors)
{
#if ORVANE_AVX2_STEP
    if (vectors == YuvGrey::Vectors::Widest && cv::checkHardwareSupport(CV_CPU_AVX2))
        return convertRow256;
#else
    (void)vectors;
#endif
#if CV_SIMD128
    return convertRow128;
#else
    return nullptr;
#endif
}
} // namespace

const YuvGrey* YuvGrey::forPictures(int format, cv::Size coded)
{
    if (!rowConverter(Vectors::Widest) ||
        (format != AV_PIX_FMT_YUV420P && format != AV_PIX_FMT_YUVJ420P) || coded.width <= 0 ||
        coded.width % widthStep != 0 || coded.height <= 0 || coded.height % 2 != 0)
        return nullptr;
    static std::mutex mutex;
    static std::map<std::pair<int, int>, std::unique_ptr<YuvGrey>> learnt;
    std::lock_guard<std::mutex> lock(mutex);
    const std::pair<int, int> key(format, coded.width);
    auto found = learnt.find(key);
    if (found != learnt.end())
        return found->second.get();
    auto converter = std::make_unique<YuvGrey>();
    if (!converter->learn(format, coded.width)) {
        qInfo("Grey straight from the decoded pictures is not available for format %d, %d "
              "pixels wide: they are turned into BGR first",
              format, coded.width);
        converter.reset();
    }
    return (learnt[key] = std::move(converter)).get();
}

// The luma term from the blue channel at neutral chroma, and where that clips from blue at the
// other values of U, which in turn give the blue term; the red and green terms follow from the
// luma term.
bool YuvGrey::learn(int format, int width)
{
    convertRow = rowConverter(vectors);
    if (!convertRow)
        return false;
    std::vector<int> pairs;
    for (int c = 0; c < 256; ++c)
        pairs.push_back(c << 8 | neutral); // U varies
    for (int c = 0; c < 256; ++c)
        pairs.push_back(neutral << 8 | c); // V varies
    Synthetic synthetic(format, width, static_cast<int>(pairs.size()));
    if (!synthetic.valid())
        return false;
    synthetic.fill(pairs);
    BgrPicture bgr;
    const cv::Size size = synthetic.size();
    bgr.convert(synthetic.picture(), size, 0, size.height);
    const cv::Mat& picture = bgr.mat();
    if (picture.size() != size)
        return false;
    Probe channel[3];
    for (Probe& p : channel)
        p.assign(pairs.size(), {});
    for (int k = 0; k < static_cast<int>(pairs.size()) * blocksPerPair; ++k) {
        for (int j = 0; j < 4; ++j) {
            const cv::Vec3b& pixel = picture.at<cv::Vec3b>(synthetic.pixelOf(k, j));
            for (int c = 0; c < 3; ++c)
                channel[c][static_cast<size_t>(k / blocksPerPair)]
                       [static_cast<size_t>(Synthetic::lumaOf(k, j))] = pixel[c];
        }
    }
    const Probe& blueOfU = channel[0]; // pairs 0..255: U varies
    int luma[256], blue[256], red[256], greenU[256], greenV[256];
    for (int* term : {luma, blue, red, greenU, greenV})
        std::fill(term, term + 256, unknown);
    for (int y = 0; y < 256; ++y) {
        if (unclipped(blueOfU[neutral][y]))
            luma[y] = blueOfU[neutral][y];
    }
    // Each round reaches further into the luma values that clip at neutral chroma.
    for (int round = 0; round < 4; ++round) {
        for (int u = 0; u < 256; ++u) {
            for (int y = 0; y < 256; ++y) {
                const int b = blueOfU[static_cast<size_t>(u)][static_cast<size_t>(y)];
                if (!unclipped(b))
                    continue;
                if (blue[u] == unknown && luma[y] != unknown)
                    blue[u] = b - luma[y];
                else if (luma[y] == unknown && blue[u] != unknown)
                    luma[y] = b - blue[u];
            }
        }
    }
    if (!allKnown(luma))
        return false;
    // The term of a channel c: its value less the luma term where it does not clip.
    auto termOf = [&](const Probe& p, size_t firstPair, int(&term)[256], int less) {
        for (int c = 0; c < 256; ++c) {
            for (int y = 0; y < 256 && term[c] == unknown; ++y) {
                const int value = p[firstPair + static_cast<size_t>(c)][static_cast<size_t>(y)];
                if (unclipped(value))
                    term[c] = value - luma[y] - less;
            }
        }
    };
    termOf(channel[1], 0, greenU, 0);
    termOf(channel[2], 256, red, 0);
    if (!allKnown(greenU))
        return false;
    // At neutral U the green term of V carries greenU(128) with it.
    termOf(channel[1], 256, greenV, greenU[neutral]);
    if (!allKnown(blue) || !allKnown(red) || !allKnown(greenV))
        return false;
    if (!fitTerm(luma, t.luma) || !fitTerm(blue, t.blue) || !fitTerm(greenU, t.greenU) ||
        !fitTerm(greenV, t.greenV) || !fitTerm(red, t.red))
        return false;
    return checkAll(format, width);
}

// Every (Y, U, V), as many chroma pairs at a time as keep the pictures small.
bool YuvGrey::checkAll(int format, int width) const
{
    Synthetic synthetic(format, width, pairsPerCheck);
    if (!synthetic.valid())
        return false;
    const cv::Size size = synthetic.size();
    const cv::Rect whole(cv::Point(), size);
    BgrPicture bgr;
    cv::Mat expected, grey;
    std::vector<int> pairs(pairsPerCheck);
    for (int first = 0; first < chromaPairs; first += pairsPerCheck) {
        for (int i = 0; i < pairsPerCheck; ++i)
            pairs[static_cast<size_t>(i)] = first + i;
        synthetic.fill(pairs);
        bgr.convert(synthetic.picture(), size, 0, size.height);
        if (bgr.mat().size() != size)
            return false;
        cv::cvtColor(bgr.mat(), expected, cv::COLOR_BGR2GRAY);
        convert(synthetic.picture(), whole, grey);
        for (int row = 0; row < size.height; ++row) {
            if (std::memcmp(expected.ptr(row), grey.ptr(row), static_cast<size_t>(size.width)))
                return false;
        }
    }
    return true;
}

void YuvGrey::convert(const AVFrame* frame, const cv::Rect& area, cv::Mat& grey) const
{
    grey.create(area.size(), CV_8UC1);
    for (int row = 0; row < area.height; ++row) {
        const int y = area.y + row;
        convertRow(t, frame->data[0] + y * frame->linesize[0],
                   frame->data[1] + (y >> 1) * frame->linesize[1],
                   frame->data[2] + (y >> 1) * frame->linesize[2], grey.ptr(row), area.x,
                   area.br().x);
    }
}
