#include "outdoor.h"

#include "h264writer.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace videogen
{

namespace
{

constexpr double pi = 3.14159265358979323846;
// The scene is drawn this much larger on every side, so that a shaken camera never shows its
// edge.
constexpr int sceneMargin = 4;
// Sub-pixel precision of the shapes drawn (bits after the point).
constexpr int shiftBits = 4;
constexpr double fixedOne = 1 << shiftBits;
// Gusts and cloud shadows come this often when only "a realistic number" is asked for.
constexpr double secondsPerEvent = 10;
// The realistic bit rate: at this picture size and frame rate.
constexpr double realisticKbit = 90;
constexpr double realisticPixels = 640.0 * 480.0;
constexpr double realisticFps = 25;
constexpr double lowestKbit = 16;
// The light's slow drift: two slow waves.
constexpr double slowDriftSeconds = 40, fastDriftSeconds = 9;
// The swaying leaf: its calm swing, how much more a gust moves it, and how far it stays from
// the regions.
constexpr double calmSwingDegrees = 5;
constexpr double gustSwingFactor = 2;
constexpr int leafClearance = 10;
// Insects' shadows fall this far (as a share of their length) down and right, this dark.
constexpr double shadowReach = 0.18;
constexpr float shadowStrength = 0.35f;
// Slight softness of the lens over the whole picture.
constexpr double lensSigma = 0.6;
const cv::Vec3f leafColour(35, 115, 55);

using Image = cv::Mat_<cv::Vec3f>;
using Alpha = cv::Mat_<float>;

cv::Point fixedPoint(cv::Point2d p)
{
    return {static_cast<int>(std::lround(p.x * fixedOne)),
            static_cast<int>(std::lround(p.y * fixedOne))};
}

void fillEllipse(cv::Mat& m, cv::Point2d centre, double along, double across, double degrees,
                 double value)
{
    if (along < 0.3 || across < 0.3)
        return;
    cv::ellipse(m,
                cv::RotatedRect(cv::Point2f(centre),
                                cv::Size2f(float(2 * along), float(2 * across)), float(degrees)),
                cv::Scalar::all(value), cv::FILLED, cv::LINE_AA);
}

void thinLine(cv::Mat& m, cv::Point2d a, cv::Point2d b, double value)
{
    cv::line(m, fixedPoint(a), fixedPoint(b), cv::Scalar::all(value), 1, cv::LINE_AA, shiftBits);
}

// Smooth noise in about [-1, 1] with features of about `cell` pixels.
Alpha smoothNoise(cv::Size size, double cell, cv::RNG& rng)
{
    const int w = std::max(2, static_cast<int>(size.width / cell) + 2);
    const int h = std::max(2, static_cast<int>(size.height / cell) + 2);
    Alpha coarse(h, w);
    rng.fill(coarse, cv::RNG::UNIFORM, -1.0, 1.0);
    Alpha out;
    cv::resize(coarse, out, size, 0, 0, cv::INTER_CUBIC);
    return out;
}

// `img` times (1 + light) per pixel.
void modulate(Image& img, const Alpha& light)
{
    for (int y = 0; y < img.rows; ++y)
        for (int x = 0; x < img.cols; ++x)
            img(y, x) *= 1.0f + light(y, x);
}

// Paints `colour` over `img` where `mask` (8 bit) is set, at most at `alpha`.
void paint(Image& img, const cv::Mat& mask, cv::Vec3f colour, float alpha)
{
    for (int y = 0; y < img.rows; ++y)
        for (int x = 0; x < img.cols; ++x) {
            const float a = alpha * mask.at<uchar>(y, x) / 255.0f;
            if (a > 0)
                img(y, x) = img(y, x) * (1 - a) + colour * a;
        }
}

// A yellow sticky card: glue with uneven sheen, a printed grid slightly askew, glue bubbles
// with a bright highlight, specks of dirt, fibres and a few long-stuck insects.
Image stickyCard(cv::Size size, cv::RNG& rng)
{
    Image img(size, cv::Vec3f(38, 204, 232));
    Alpha light = smoothNoise(size, size.width / 4.0, rng) * 0.05f;
    light += smoothNoise(size, 10, rng) * 0.02f;
    modulate(img, light);
    cv::Mat mask = cv::Mat::zeros(size, CV_8U), major = mask.clone();
    const double spacing = std::max(6.0, size.width / 24.0);
    const double tilt = rng.uniform(-0.02, 0.02);
    const double offset = rng.uniform(0.0, spacing);
    const double far = size.width + size.height;
    for (int k = -4; offset + k * spacing < far; ++k) {
        const double at = offset + k * spacing;
        cv::Mat& target = k % 5 == 0 ? major : mask;
        thinLine(target, {at, 0}, {at + tilt * size.height, double(size.height)}, 255);
        thinLine(target, {0, at}, {double(size.width), at - tilt * size.width}, 255);
    }
    paint(img, mask, {40, 70, 60}, 0.45f);
    paint(img, major, {40, 70, 60}, 0.7f);
    cv::Mat rims = cv::Mat::zeros(size, CV_8U), shine = rims.clone(), dirt = rims.clone();
    const int bubbles = size.area() / 2500 + 1;
    for (int i = 0; i < bubbles; ++i) {
        const cv::Point2d c(rng.uniform(0.0, double(size.width)),
                            rng.uniform(0.0, double(size.height)));
        const double r = rng.uniform(1.2, 4.5);
        cv::circle(rims, fixedPoint(c), static_cast<int>(r * fixedOne), cv::Scalar(255), 1,
                   cv::LINE_AA, shiftBits);
        fillEllipse(shine, c - cv::Point2d(0.35 * r, 0.35 * r), 0.35 * r, 0.3 * r, 0, 255);
    }
    paint(img, rims, {20, 120, 150}, 0.4f);
    paint(img, shine, {235, 250, 255}, 0.65f);
    const int specks = size.area() / 1800 + 1;
    for (int i = 0; i < specks; ++i) {
        const cv::Point2d c(rng.uniform(0.0, double(size.width)),
                            rng.uniform(0.0, double(size.height)));
        fillEllipse(dirt, c, rng.uniform(0.4, 1.8), rng.uniform(0.4, 1.4), rng.uniform(0, 180),
                    rng.uniform(120, 255));
        if (i % 8 == 0) {
            const double a = rng.uniform(0.0, pi);
            thinLine(dirt, c, c + rng.uniform(4.0, 12.0) * cv::Point2d(std::cos(a), std::sin(a)),
                     150);
        }
    }
    for (int i = 0; i < 3; ++i) {
        const cv::Point2d c(rng.uniform(0.0, double(size.width)),
                            rng.uniform(0.0, double(size.height)));
        fillEllipse(dirt, c, rng.uniform(1.5, 3.0), rng.uniform(1.0, 1.6), rng.uniform(0, 180),
                    255);
    }
    paint(img, dirt, {30, 45, 60}, 0.85f);
    return img;
}

// Soil: brown earth with lumps at several scales, grains, and small stones lit from the top
// left.
Image soil(cv::Size size, cv::RNG& rng)
{
    Image img(size, cv::Vec3f(48, 78, 108));
    Alpha light = smoothNoise(size, size.width / 5.0, rng) * 0.12f;
    light += smoothNoise(size, size.width / 20.0, rng) * 0.1f;
    light += smoothNoise(size, 3, rng) * 0.08f;
    Alpha grain(size);
    rng.fill(grain, cv::RNG::NORMAL, 0.0, 0.05);
    light += grain;
    modulate(img, light);
    cv::Mat canvas;
    img.convertTo(canvas, CV_8UC3);
    const int stones = size.area() / 900 + 1;
    for (int i = 0; i < stones; ++i) {
        const cv::Point2d c(rng.uniform(0.0, double(size.width)),
                            rng.uniform(0.0, double(size.height)));
        const double a = rng.uniform(0.8, 4.0), b = a * rng.uniform(0.5, 1.0),
                     angle = rng.uniform(0, 180);
        const double grey = rng.uniform(70.0, 160.0);
        fillEllipse(canvas, c + cv::Point2d(0.3 * a, 0.3 * a), a, b, angle, 0.4 * grey);
        cv::ellipse(
            canvas,
            cv::RotatedRect(cv::Point2f(c), cv::Size2f(float(2 * a), float(2 * b)), float(angle)),
            cv::Scalar(grey * 0.85, grey * 0.95, grey * 1.05), cv::FILLED, cv::LINE_AA);
        fillEllipse(canvas, c - cv::Point2d(0.3 * a, 0.3 * a), 0.4 * a, 0.4 * b, angle, 0);
        cv::ellipse(canvas,
                    cv::RotatedRect(cv::Point2f(c - cv::Point2d(0.3 * a, 0.3 * a)),
                                    cv::Size2f(float(0.8 * a), float(0.8 * b)), float(angle)),
                    cv::Scalar::all(std::min(255.0, grey * 1.3)), cv::FILLED, cv::LINE_AA);
    }
    canvas.convertTo(img, CV_32FC3);
    return img;
}

// A leaf filling the picture: green with a curved midrib, side veins and a fine network.
Image leafSurface(cv::Size size, cv::RNG& rng)
{
    Image img(size, cv::Vec3f(45, 128, 72));
    Alpha light = smoothNoise(size, size.width / 6.0, rng) * 0.1f;
    light += smoothNoise(size, 6, rng) * 0.04f;
    modulate(img, light);
    const double w = size.width, h = size.height;
    const double y0 = rng.uniform(0.3, 0.7) * h, bend = rng.uniform(-0.3, 0.3),
                 tilt = rng.uniform(-0.2, 0.2);
    const auto midrib = [&](double x) {
        return y0 + bend * (x - w / 2) * (x - w / 2) / w + tilt * (x - w / 2);
    };
    cv::Mat rib = cv::Mat::zeros(size, CV_8U), veins = rib.clone(), net = rib.clone();
    std::vector<cv::Point> ribLine;
    for (double x = -0.1 * w; x <= 1.1 * w; x += w / 40)
        ribLine.push_back(fixedPoint({x, midrib(x)}));
    cv::polylines(rib, ribLine, false, cv::Scalar(255), std::max(2, size.width / 120), cv::LINE_AA,
                  shiftBits);
    const double spacing = w / 9;
    for (double x = rng.uniform(0.0, spacing); x < w + spacing; x += spacing)
        for (int side : {-1, 1}) {
            const double angle = side * rng.uniform(0.7, 1.0);
            cv::Point2d p(x, midrib(x));
            for (int step = 0; step < 12; ++step) {
                const double a = angle * (1 - 0.04 * step);
                const cv::Point2d q = p + (h / 14) * cv::Point2d(std::cos(a) * 0.8, std::sin(a));
                thinLine(veins, p, q, 255);
                p = q;
            }
        }
    const int twigs = size.area() / 1200 + 1;
    for (int i = 0; i < twigs; ++i) {
        const cv::Point2d c(rng.uniform(0.0, w), rng.uniform(0.0, h));
        const double a = rng.uniform(0.0, 2 * pi);
        thinLine(net, c, c + rng.uniform(4.0, 12.0) * cv::Point2d(std::cos(a), std::sin(a)), 255);
    }
    paint(img, net, {70, 160, 100}, 0.3f);
    paint(img, veins, {80, 170, 115}, 0.6f);
    paint(img, rib, {105, 195, 145}, 0.8f);
    return img;
}

Image backgroundOf(const ClipRecipe& recipe, Backdrop backdrop, cv::Size size)
{
    cv::RNG rng(recipe.seed * 2654435761u + 17);
    Image img;
    switch (backdrop) {
    case Backdrop::Card:
        img = stickyCard(size, rng);
        break;
    case Backdrop::Soil:
        img = soil(size, rng);
        break;
    case Backdrop::Leaf:
        img = leafSurface(size, rng);
        break;
    case Backdrop::Plain: {
        ClipRecipe larger = recipe;
        larger.size = size;
        background(larger).convertTo(img, CV_32FC3);
        return img;
    }
    }
    cv::GaussianBlur(img, img, cv::Size(0, 0), 0.7);
    return img;
}

struct Look {
    cv::Vec3f body;
    cv::Vec3f wing;
    float wingAlpha = 0; // 0: no wings
};

struct Gust {
    double start = 0;
    double frequency = 2;
    double phase = 0;
    cv::Point2d along{1, 0};
};

struct Cloud {
    double start = 0, seconds = 5;
    cv::Point2d from, to;
    double radiusX = 100, radiusY = 80, angle = 0, darkness = 0.3;
    double wobble[2] = {0, 0};
};

struct Leaf {
    cv::Point2d pivot;
    double length = 0, width = 0, baseAngle = 0, period = 2, phase = 0;
    cv::Point2d shadowOffset;
    double shadowSigma = 4;
};

double smoothStep(double x)
{
    x = std::clamp(x, 0.0, 1.0);
    return x * x * (3 - 2 * x);
}

cv::Rect keepClearBox(const OutdoorOptions& o, cv::Size frame)
{
    cv::Rect box;
    for (const cv::Rect& r : o.keepClear)
        box = box.empty() ? r : (box | r);
    if (box.empty())
        box = cv::Rect(frame.width / 4, frame.height / 4, frame.width / 2, frame.height / 2);
    box.x -= leafClearance;
    box.y -= leafClearance;
    box.width += 2 * leafClearance;
    box.height += 2 * leafClearance;
    return box;
}

} // namespace

bool OutdoorOptions::any() const
{
    return backdrop != Backdrop::Plain || insectShapes || exposure > 0 || jitter > 0 ||
           gusts != 0 || lightDrift > 0 || clouds != 0 || sway || kbitPerSecond > 0;
}

double OutdoorOptions::realisticBitRate(cv::Size size, double fps)
{
    const double pixels = size.area() / realisticPixels;
    return std::max(lowestKbit, realisticKbit * pixels * std::max(1.0, fps / realisticFps));
}

OutdoorOptions OutdoorOptions::realistic(const ClipRecipe& recipe)
{
    OutdoorOptions o;
    o.backdrop = Backdrop::Card;
    o.insectShapes = true;
    o.exposure = 1.0 / 50;
    o.jitter = 0.25;
    o.gusts = -1;
    o.lightDrift = 0.1;
    o.clouds = -1;
    o.sway = true;
    o.kbitPerSecond = realisticBitRate(recipe.size, recipe.fps);
    return o;
}

struct OutdoorScene::Plan {
    ClipRecipe recipe;
    OutdoorOptions options;
    cv::Size scene;
    Image background;
    std::vector<Look> looks;
    std::vector<Gust> gusts;
    std::vector<Cloud> clouds;
    bool hasLeaf = false;
    Leaf leaf;
    double driftPhase[2] = {0, 0};
    cv::Vec3f tint{1, 1, 1};
    cv::Point2d sun{1, 1.3};
    // Reused between frames.
    Image canvas, warped, patch;
    Alpha body, wings, shade, cloudLow, cloudMap;
    cv::Mat layer, leafMask, leafShadow;

    double secondsAt(int index) const { return (index - options.sceneStartFrame) / recipe.fps; }
    double duration() const
    {
        return std::max(1.0, (recipe.frames - options.sceneStartFrame) / recipe.fps);
    }
    int countOf(int asked) const
    {
        return asked >= 0
                   ? asked
                   : std::max(1, static_cast<int>(std::lround(duration() / secondsPerEvent)));
    }
    // Start of the `k`-th of `n` things spread over the video, with some play.
    double spreadStart(int k, int n, double length, cv::RNG& rng) const
    {
        const double slot = duration() / n;
        return std::max(0.0, slot * (k + 0.5) - length / 2 + rng.uniform(-0.25, 0.25) * slot);
    }

    void planInsects(cv::RNG& rng);
    void planGusts(cv::RNG& rng);
    void planClouds(cv::RNG& rng);
    void planLeaf(cv::RNG& rng);
    double gustStrength(double t) const;
    std::vector<cv::Point> leafOutline(double degrees, cv::Point2d offset) const;
    double leafAngle(double t) const;

    void drawInsect(const Blob& b, const Look& look, int index);
    void drawBody(cv::Point2d c, cv::Point2d u, double length, bool legs, const Look& look);
    void drawLeaf(double t);
    void applyLight(double t, int index);
};

void OutdoorScene::Plan::planInsects(cv::RNG& rng)
{
    for (size_t i = 0; i < recipe.blobs.size(); ++i) {
        Look l;
        const float dark = static_cast<float>(rng.uniform(18.0, 55.0));
        l.body = {dark, dark * float(rng.uniform(1.0, 1.25)), dark * float(rng.uniform(1.05, 1.5))};
        l.wing = {200, 205, 210};
        l.wingAlpha =
            rng.uniform(0.0, 1.0) < 0.7 ? static_cast<float>(rng.uniform(0.25, 0.45)) : 0.0f;
        looks.push_back(l);
    }
}

void OutdoorScene::Plan::planGusts(cv::RNG& rng)
{
    const int n = countOf(options.gusts);
    for (int k = 0; k < n; ++k) {
        Gust g;
        g.start = spreadStart(k, n, options.gustSeconds, rng);
        g.frequency = rng.uniform(1.5, 3.0);
        // The swing peaks in the middle of the gust.
        g.phase = pi / 2 - pi * g.frequency * options.gustSeconds;
        const double a = rng.uniform(0.0, 2 * pi);
        g.along = {std::cos(a), std::sin(a)};
        gusts.push_back(g);
    }
}

void OutdoorScene::Plan::planClouds(cv::RNG& rng)
{
    const int n = countOf(options.clouds);
    const double w = recipe.size.width, h = recipe.size.height;
    for (int k = 0; k < n; ++k) {
        Cloud c;
        c.seconds = rng.uniform(3.0, 7.0);
        c.start = spreadStart(k, n, c.seconds, rng);
        c.radiusX = rng.uniform(0.5, 1.0) * w;
        c.radiusY = c.radiusX * rng.uniform(0.5, 0.9);
        c.angle = rng.uniform(0.0, pi);
        c.darkness = rng.uniform(0.2, 0.4);
        c.wobble[0] = rng.uniform(0.0, 2 * pi);
        c.wobble[1] = rng.uniform(0.0, 2 * pi);
        const double a = rng.uniform(0.0, 2 * pi);
        const cv::Point2d dir(std::cos(a), std::sin(a));
        const cv::Point2d centre(w / 2 + rng.uniform(-0.3, 0.3) * w,
                                 h / 2 + rng.uniform(-0.3, 0.3) * h);
        const double reach = 1.3 * c.radiusX + (w + h) / 2;
        c.from = centre - reach * dir;
        c.to = centre + reach * dir;
        clouds.push_back(c);
    }
}

std::vector<cv::Point> OutdoorScene::Plan::leafOutline(double degrees, cv::Point2d offset) const
{
    const double a = degrees * pi / 180;
    const cv::Point2d u(std::cos(a), std::sin(a)), n(-u.y, u.x);
    std::vector<cv::Point> left, right;
    constexpr int steps = 16;
    for (int i = 0; i <= steps; ++i) {
        const double s = double(i) / steps;
        const cv::Point2d axis =
            leaf.pivot + offset + u * (s * leaf.length) + n * (0.08 * leaf.length * s * s);
        const double half = 0.5 * leaf.width * std::pow(std::sin(pi * std::min(s, 0.999)), 0.7);
        left.push_back(fixedPoint(axis + n * half));
        right.push_back(fixedPoint(axis - n * half));
    }
    left.insert(left.end(), right.rbegin(), right.rend());
    return left;
}

void OutdoorScene::Plan::planLeaf(cv::RNG& rng)
{
    const int m = sceneMargin;
    const cv::Size f = recipe.size;
    cv::Rect keep = keepClearBox(options, f);
    keep.x += m;
    keep.y += m;
    // The side of the picture with the most room.
    const int gaps[4] = {keep.y - m, m + f.height - keep.br().y, keep.x - m,
                         m + f.width - keep.br().x};
    const int side = static_cast<int>(std::max_element(gaps, gaps + 4) - gaps);
    const double gap = gaps[side];
    if (gap < leafClearance)
        return;
    const double along = rng.uniform(0.2, 0.8);
    const double inward[4] = {90, -90, 0, 180};
    switch (side) {
    case 0:
        leaf.pivot = {m + along * f.width, 0};
        break;
    case 1:
        leaf.pivot = {m + along * f.width, double(scene.height)};
        break;
    case 2:
        leaf.pivot = {0, m + along * f.height};
        break;
    default:
        leaf.pivot = {double(scene.width), m + along * f.height};
        break;
    }
    leaf.baseAngle = inward[side] + rng.uniform(-30.0, 30.0);
    leaf.period = rng.uniform(1.5, 3.0);
    leaf.phase = rng.uniform(0.0, 2 * pi);
    const double widest = calmSwingDegrees * (1 + gustSwingFactor);
    // Shrinks the leaf until neither it nor its shadow comes near the regions at any swing.
    for (leaf.length = 2.5 * gap; leaf.length >= 8; leaf.length *= 0.9) {
        leaf.width = 0.38 * leaf.length;
        leaf.shadowOffset = sun * (0.15 * leaf.length + 4);
        leaf.shadowSigma = 2 + 0.05 * leaf.length;
        const int blur = static_cast<int>(std::ceil(3 * leaf.shadowSigma));
        bool clear = true;
        for (double d = -widest; d <= widest && clear; d += 1) {
            for (cv::Point2d offset : {cv::Point2d(0, 0), leaf.shadowOffset}) {
                std::vector<cv::Point> outline = leafOutline(leaf.baseAngle + d, offset);
                for (cv::Point& p : outline)
                    p = {p.x / int(fixedOne), p.y / int(fixedOne)};
                cv::Rect box = cv::boundingRect(outline);
                box = cv::Rect(box.x - blur, box.y - blur, box.width + 2 * blur,
                               box.height + 2 * blur);
                clear = clear && (box & keep).empty();
            }
        }
        if (clear) {
            hasLeaf = true;
            return;
        }
    }
}

double OutdoorScene::Plan::gustStrength(double t) const
{
    double strongest = 0;
    for (const Gust& g : gusts) {
        const double s = (t - g.start) / options.gustSeconds;
        if (s >= 0 && s <= 1)
            strongest = std::max(strongest, std::sin(pi * s));
    }
    return strongest;
}

double OutdoorScene::Plan::leafAngle(double t) const
{
    const double swing = calmSwingDegrees * (1 + gustSwingFactor * gustStrength(t));
    return leaf.baseAngle + swing * std::sin(2 * pi * t / leaf.period + leaf.phase);
}

// The body (head, thorax, abdomen), legs and antennae go to `body`, the wings to `wings`,
// accumulated so that several calls along the motion make a blur.
void OutdoorScene::Plan::drawBody(cv::Point2d c, cv::Point2d u, double length, bool legs,
                                  const Look& look)
{
    const cv::Point2d n(-u.y, u.x);
    const double degrees = std::atan2(u.y, u.x) * 180 / pi;
    const double L = length;
    layer.setTo(0);
    if (!options.insectShapes) {
        fillEllipse(layer, c, L / 2, L / 3, 0, 255);
        cv::accumulate(layer, body);
        return;
    }
    fillEllipse(layer, c - u * (0.2 * L), 0.3 * L, 0.16 * L, degrees, 255);
    fillEllipse(layer, c + u * (0.12 * L), 0.14 * L, 0.12 * L, degrees, 255);
    fillEllipse(layer, c + u * (0.32 * L), 0.09 * L, 0.09 * L, degrees, 255);
    if (legs) {
        // Thin legs look fainter on small insects.
        const double faint = 255 * std::min(1.0, L / 20);
        for (int k = -1; k <= 1; ++k)
            for (int side : {-1, 1}) {
                const cv::Point2d hip = c + u * (0.12 * L + 0.06 * L * k) + n * (side * 0.06 * L);
                const cv::Point2d knee = hip + n * (side * 0.25 * L) + u * (0.15 * L * k);
                thinLine(layer, hip, knee, faint);
                thinLine(layer, knee, knee + n * (side * 0.15 * L) + u * (0.2 * L * k), faint);
            }
        for (int side : {-1, 1})
            thinLine(layer, c + u * (0.38 * L), c + u * (0.62 * L) + n * (side * 0.15 * L),
                     faint * 0.6);
    }
    cv::accumulate(layer, body);
    if (look.wingAlpha <= 0 || !legs)
        return;
    layer.setTo(0);
    for (int side : {-1, 1})
        fillEllipse(layer, c - u * (0.12 * L) + n * (side * 0.1 * L), 0.32 * L, 0.12 * L,
                    degrees + side * 15, 255);
    cv::accumulate(layer, wings);
}

void OutdoorScene::Plan::drawInsect(const Blob& b, const Look& look, int index)
{
    const cv::Point2d here(b.positionAt(index));
    const cv::Point2d at = here + cv::Point2d(sceneMargin, sceneMargin);
    // The motion over one frame, from the neighbouring frames on which the insect is seen.
    const bool hasBefore = b.visibleAt(index - 1), hasAfter = b.visibleAt(index + 1);
    const cv::Point2d before = hasBefore ? cv::Point2d(b.positionAt(index - 1)) : here;
    const cv::Point2d after = hasAfter ? cv::Point2d(b.positionAt(index + 1)) : here;
    const cv::Point2d step = (after - before) * (hasBefore && hasAfter ? 0.5 : 1.0);
    cv::Point2d heading = step;
    for (int back = 1; heading.dot(heading) < 1e-9 && back < 40 && b.visibleAt(index - back);
         ++back)
        heading = cv::Point2d(b.positionAt(index)) - cv::Point2d(b.positionAt(index - back));
    if (heading.dot(heading) < 1e-9)
        heading = b.velocity.dot(b.velocity) > 0 ? b.velocity : cv::Point2d(1, 0);
    const cv::Point2d u = heading / std::sqrt(heading.dot(heading));
    const double length = 2.0 * b.radius;
    const double speed = std::sqrt(step.dot(step));
    const double blur = speed * std::min(1.0, options.exposure * recipe.fps);
    const cv::Point2d blurDir = speed > 0 ? step / speed : u;
    const double reach = length * 0.9 + blur / 2 + shadowReach * length + 4 * (1 + 0.15 * length);
    const cv::Rect box = cv::Rect(cv::Point(int(at.x - reach), int(at.y - reach)),
                                  cv::Point(int(at.x + reach) + 2, int(at.y + reach) + 2)) &
                         cv::Rect(0, 0, scene.width, scene.height);
    if (box.empty())
        return;
    body.create(box.size());
    wings.create(box.size());
    shade.create(box.size());
    layer.create(box.size(), CV_8U);
    body.setTo(0);
    wings.setTo(0);
    const int samples = std::clamp(static_cast<int>(std::ceil(blur)), 1, 16);
    const cv::Point2d origin(box.x, box.y);
    for (int k = 0; k < samples; ++k) {
        const double f = samples > 1 ? double(k) / (samples - 1) - 0.5 : 0;
        drawBody(at - origin + blurDir * (blur * f), u, length, true, look);
    }
    body /= 255.0f * samples;
    wings /= 255.0f * samples;
    if (options.insectShapes) {
        const cv::Point2d offset = sun * (shadowReach * length);
        const cv::Matx23d move(1, 0, offset.x, 0, 1, offset.y);
        cv::warpAffine(body, shade, move, box.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT);
        cv::GaussianBlur(shade, shade, cv::Size(0, 0), 0.8 + 0.12 * length);
    } else {
        shade.setTo(0);
    }
    Image roi = canvas(box);
    for (int y = 0; y < box.height; ++y)
        for (int x = 0; x < box.width; ++x) {
            cv::Vec3f& s = roi(y, x);
            s *= 1 - shadowStrength * std::min(1.0f, shade(y, x));
            const float w = std::min(1.0f, wings(y, x)) * look.wingAlpha;
            s = s * (1 - w) + look.wing * w;
            const float a = std::min(1.0f, body(y, x));
            s = s * (1 - a) + look.body * a;
        }
}

void OutdoorScene::Plan::drawLeaf(double t)
{
    const double angle = leafAngle(t);
    const std::vector<std::vector<cv::Point>> outline{leafOutline(angle, {0, 0})};
    const std::vector<std::vector<cv::Point>> shadow{leafOutline(angle, leaf.shadowOffset)};
    // Only the part of the picture the leaf and its blurred shadow can touch.
    cv::Rect box = cv::boundingRect(outline[0]) | cv::boundingRect(shadow[0]);
    const int pad = static_cast<int>(std::ceil(3 * leaf.shadowSigma)) + 4;
    box = cv::Rect(box.x / int(fixedOne) - pad, box.y / int(fixedOne) - pad,
                   box.width / int(fixedOne) + 2 * pad, box.height / int(fixedOne) + 2 * pad) &
          cv::Rect(0, 0, scene.width, scene.height);
    if (box.empty())
        return;
    leafMask.create(scene, CV_8U);
    leafShadow.create(scene, CV_8U);
    cv::Mat mask = leafMask(box), shade = leafShadow(box);
    mask.setTo(0);
    shade.setTo(0);
    const cv::Point shift(-box.x * int(fixedOne), -box.y * int(fixedOne));
    cv::fillPoly(mask, outline, cv::Scalar(255), cv::LINE_AA, shiftBits, shift);
    cv::fillPoly(shade, shadow, cv::Scalar(255), cv::LINE_AA, shiftBits, shift);
    cv::GaussianBlur(shade, shade, cv::Size(0, 0), leaf.shadowSigma, 0, cv::BORDER_ISOLATED);
    // The leaf is near the lens: out of focus.
    cv::GaussianBlur(mask, mask, cv::Size(0, 0), 1.2, 0, cv::BORDER_ISOLATED);
    const double a = angle * pi / 180;
    const cv::Point2d along(std::cos(a), std::sin(a));
    for (int y = 0; y < box.height; ++y)
        for (int x = 0; x < box.width; ++x) {
            const float s = shade.at<uchar>(y, x) / 255.0f;
            const float m = mask.at<uchar>(y, x) / 255.0f;
            if (s <= 0 && m <= 0)
                continue;
            cv::Vec3f& p = canvas(box.y + y, box.x + x);
            p *= 1 - 0.4f * s;
            // Lighter towards the tip, and along the midrib.
            const cv::Point2d d = cv::Point2d(box.x + x, box.y + y) - leaf.pivot;
            const double reach = std::clamp(d.dot(along) / leaf.length, 0.0, 1.0);
            const double offAxis = std::abs(d.x * along.y - d.y * along.x);
            const float light = float(0.85 + 0.3 * reach + (offAxis < 1.2 ? 0.35 : 0.0));
            p = p * (1 - m) + leafColour * light * m;
        }
}

// Light drift and cloud shadows multiply the picture; flicker shifts it.
void OutdoorScene::Plan::applyLight(double t, int index)
{
    const double drift =
        options.lightDrift * (0.65 * std::sin(2 * pi * t / slowDriftSeconds + driftPhase[0]) +
                              0.35 * std::sin(2 * pi * t / fastDriftSeconds + driftPhase[1]));
    const cv::Vec3f gain(float(1 + drift * tint[0]), float(1 + drift * tint[1]),
                         float(1 + drift * tint[2]));
    bool shaded = false;
    constexpr int cell = 8;
    cloudLow.create(scene.height / cell + 2, scene.width / cell + 2);
    cloudLow.setTo(0);
    for (const Cloud& c : clouds) {
        const double s = (t - c.start) / c.seconds;
        if (s < 0 || s > 1)
            continue;
        shaded = true;
        const cv::Point2d centre =
            c.from + (c.to - c.from) * s + cv::Point2d(sceneMargin, sceneMargin);
        for (int y = 0; y < cloudLow.rows; ++y)
            for (int x = 0; x < cloudLow.cols; ++x) {
                const cv::Point2d d = cv::Point2d(x * cell, y * cell) - centre;
                const double rx = d.x * std::cos(c.angle) + d.y * std::sin(c.angle);
                const double ry = -d.x * std::sin(c.angle) + d.y * std::cos(c.angle);
                const double theta = std::atan2(ry, rx);
                const double edge = 1 + 0.12 * std::sin(3 * theta + c.wobble[0]) +
                                    0.08 * std::sin(5 * theta + c.wobble[1]);
                const double r = std::hypot(rx / c.radiusX, ry / c.radiusY) / edge;
                // A soft edge: the penumbra is a third of the cloud's radius.
                cloudLow(y, x) =
                    std::max(cloudLow(y, x), float(c.darkness * smoothStep((1.15 - r) / 0.35)));
            }
    }
    if (shaded)
        cv::resize(cloudLow, cloudMap, cv::Size(cloudLow.cols * cell, cloudLow.rows * cell), 0, 0,
                   cv::INTER_LINEAR);
    double flicker = 0;
    if (recipe.flicker > 0) {
        cv::RNG rng(recipe.seed * 7919u + static_cast<unsigned>(index) * 104729u + 1);
        flicker = recipe.flicker * (0.7 * std::sin(index * 0.9) + 0.3 * rng.uniform(-1.0, 1.0));
    }
    const cv::Vec3f shift = cv::Vec3f::all(float(flicker));
    for (int y = 0; y < scene.height; ++y)
        for (int x = 0; x < scene.width; ++x) {
            const float cloud = shaded ? 1 - cloudMap(y, x) : 1;
            cv::Vec3f& p = canvas(y, x);
            p = p.mul(gain) * cloud + shift;
        }
}

OutdoorScene::OutdoorScene(const ClipRecipe& recipe, const OutdoorOptions& options)
    : plan(std::make_unique<Plan>())
{
    Plan& p = *plan;
    p.recipe = recipe;
    p.options = options;
    p.scene = {recipe.size.width + 2 * sceneMargin, recipe.size.height + 2 * sceneMargin};
    p.background = backgroundOf(recipe, options.backdrop, p.scene);
    cv::RNG rng(recipe.seed * 40503u + 3);
    p.planInsects(rng);
    p.planGusts(rng);
    p.planClouds(rng);
    p.driftPhase[0] = rng.uniform(0.0, 2 * pi);
    p.driftPhase[1] = rng.uniform(0.0, 2 * pi);
    p.tint = {float(rng.uniform(0.8, 1.2)), 1.0f, float(rng.uniform(0.8, 1.2))};
    if (options.sway)
        p.planLeaf(rng);
}

OutdoorScene::~OutdoorScene() = default;

cv::Point2d OutdoorScene::cameraShift(int index) const
{
    const Plan& p = *plan;
    cv::Point2d shift(0, 0);
    if (p.options.jitter > 0) {
        cv::RNG rng(p.recipe.seed * 2246822519u + static_cast<unsigned>(index) * 3266489917u + 5);
        shift.x = rng.uniform(-p.options.jitter, p.options.jitter);
        shift.y = rng.uniform(-p.options.jitter, p.options.jitter);
    }
    const double t = p.secondsAt(index);
    for (const Gust& g : p.gusts) {
        const double tau = t - g.start;
        if (tau < 0 || tau > p.options.gustSeconds)
            continue;
        const double envelope = std::sin(pi * tau / p.options.gustSeconds);
        const cv::Point2d across(-g.along.y, g.along.x);
        shift += p.options.gustShift * envelope *
                 (0.94 * g.along * std::sin(2 * pi * g.frequency * tau + g.phase) +
                  0.33 * across * std::sin(2 * pi * 1.7 * g.frequency * tau));
    }
    return shift;
}

std::vector<FrameSpan> OutdoorScene::gustFrames() const
{
    const Plan& p = *plan;
    std::vector<FrameSpan> spans;
    for (const Gust& g : p.gusts) {
        const double first = p.options.sceneStartFrame + g.start * p.recipe.fps;
        const double last =
            p.options.sceneStartFrame + (g.start + p.options.gustSeconds) * p.recipe.fps;
        spans.emplace_back(static_cast<int>(std::ceil(first)), static_cast<int>(std::floor(last)));
    }
    return spans;
}

void OutdoorScene::render(int index, cv::Mat& out)
{
    Plan& p = *plan;
    const double t = p.secondsAt(index);
    p.background.copyTo(p.canvas);
    for (size_t i = 0; i < p.recipe.blobs.size(); ++i)
        if (p.recipe.blobs[i].visibleAt(index))
            p.drawInsect(p.recipe.blobs[i], p.looks[i], index);
    if (p.hasLeaf)
        p.drawLeaf(t);
    p.applyLight(t, index);
    // Bilinear resampling moves the picture by fractions of a pixel.
    const cv::Point2d shift = cameraShift(index);
    const cv::Matx23d view(1, 0, sceneMargin - shift.x, 0, 1, sceneMargin - shift.y);
    cv::warpAffine(p.canvas, p.warped, view, p.recipe.size, cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                   cv::BORDER_REFLECT);
    if (p.options.backdrop != Backdrop::Plain || p.options.insectShapes)
        cv::GaussianBlur(p.warped, p.warped, cv::Size(0, 0), lensSigma);
    if (p.recipe.noise > 0) {
        cv::RNG rng(p.recipe.seed * 7919u + static_cast<unsigned>(index) * 104729u + 2);
        p.patch.create(p.recipe.size);
        rng.fill(p.patch, cv::RNG::NORMAL, cv::Scalar::all(0), cv::Scalar::all(p.recipe.noise));
        p.warped += p.patch;
    }
    p.warped.convertTo(out, CV_8UC3);
}

bool writeOutdoorVideo(const std::string& path, const ClipRecipe& recipe,
                       const OutdoorOptions& options, std::string* error)
{
    H264Writer writer;
    if (!writer.open(path, recipe.size, recipe.fps, options.kbitPerSecond, error))
        return false;
    OutdoorScene scene(recipe, options);
    cv::Mat frame;
    for (int i = 0; i < recipe.frames; ++i) {
        scene.render(i, frame);
        if (!writer.write(frame))
            break;
    }
    return writer.close(error);
}

} // namespace videogen
