#include "makevideo.h"

#include "areacontour.h"
#include "exportpath.h"
#include "truth.h"

#include <QCommandLineParser>
#include <QFile>
#include <QRegularExpression>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace
{

// Insects appear after the frames that an analysis skips, so its first frame shows none.
constexpr int firstAnalysedFrame = 92;
// Generated videos run this many frames past the last insect.
constexpr int tailFrames = 5;
// The mask written with the regions leaves this border of the frame out.
constexpr int maskInset = 4;
// Farther than any frame is wide.
constexpr int maxLead = 100000;
// Outdoor videos: sensor noise, and the spread of the insects' lengths, unless given.
constexpr double outdoorNoise = 2;
constexpr double outdoorShortest = 10, outdoorLongest = 16;

const QRegularExpression pointPattern(QStringLiteral("^-?\\d+,-?\\d+$"));

struct Parser {
    QCommandLineParser parser;
    QCommandLineOption size{QStringLiteral("size"), QStringLiteral("Frame size."),
                            QStringLiteral("WxH"), QStringLiteral("640x480")};
    QCommandLineOption fps{QStringLiteral("fps"), QStringLiteral("Frames per second."),
                           QStringLiteral("F"), QStringLiteral("25")};
    QCommandLineOption frames{QStringLiteral("frames"),
                              QStringLiteral("Number of frames (default 150, or long enough for "
                                             "the generated paths)."),
                              QStringLiteral("N")};
    QCommandLineOption insects{QStringLiteral("insects"),
                               QStringLiteral("Number of insects (default 4)."),
                               QStringLiteral("K"), QStringLiteral("4")};
    QCommandLineOption blob{QStringLiteral("blob"),
                            QStringLiteral("One insect on a straight path (may be repeated)."),
                            QStringLiteral("X,Y,DX,DY[,RADIUS[,FIRST[,LAST]]]")};
    QCommandLineOption codec{QStringLiteral("codec"), QStringLiteral("Video codec."),
                             QStringLiteral("h264|mpeg4|mjpeg"), QStringLiteral("h264")};
    QCommandLineOption seed{QStringLiteral("seed"),
                            QStringLiteral("Seed of the background, paths, noise and flicker."),
                            QStringLiteral("N"), QStringLiteral("7")};
    QCommandLineOption truth{QStringLiteral("truth"),
                             QStringLiteral("Write every insect's centre per frame to FILE, and "
                                            "with a region the true events to FILE_events.csv."),
                             QStringLiteral("FILE.csv")};
    QCommandLineOption line{QStringLiteral("line"),
                            QStringLiteral("Counting line; its region files go beside the video."),
                            QStringLiteral("X1,Y1,X2,Y2")};
    QCommandLineOption area{QStringLiteral("area"),
                            QStringLiteral("Counting area; its region files go beside the video."),
                            QStringLiteral("X,Y X,Y X,Y...")};
    QCommandLineOption sizes{QStringLiteral("sizes"),
                             QStringLiteral("Range of the insects' length in pixels."),
                             QStringLiteral("MIN,MAX")};
    QCommandLineOption speeds{
        QStringLiteral("speeds"),
        QStringLiteral(
            "Range of the insects' speed in pixels per frame (per second with --per-second)."),
        QStringLiteral("MIN,MAX")};
    QCommandLineOption wander{QStringLiteral("wander"),
                              QStringLiteral("Wandering paths (a smooth random walk).")};
    QCommandLineOption pauses{QStringLiteral("pauses"),
                              QStringLiteral("Every insect stops once for 8 to 30 frames.")};
    QCommandLineOption closePasses{QStringLiteral("close-passes"),
                                   QStringLiteral("Insects pass close to each other in pairs.")};
    QCommandLineOption lead{QStringLiteral("lead"),
                            QStringLiteral("Pixels the insects walk before they reach the region "
                                           "and after they leave it (default %1).")
                                .arg(videogen::MotionOptions().lead),
                            QStringLiteral("PX")};
    QCommandLineOption noise{QStringLiteral("noise"),
                             QStringLiteral("Sensor noise, standard deviation in grey levels."),
                             QStringLiteral("SIGMA"), QStringLiteral("0")};
    QCommandLineOption flicker{QStringLiteral("flicker"),
                               QStringLiteral("Light flicker, amplitude in grey levels."),
                               QStringLiteral("AMPLITUDE"), QStringLiteral("0")};
    QCommandLineOption perSecond{
        QStringLiteral("per-second"),
        QStringLiteral("--speeds in pixels per second (default 100), and the paths timed in "
                       "seconds: the same options give the same scene at any --fps.")};
    QCommandLineOption outdoor{
        QStringLiteral("outdoor"),
        QStringLiteral("A trap filmed outdoors: a sticky card, insect shapes with a 1/50 s "
                       "exposure, lengths 10 to 16 px, a 0.25 px tremble, a 1 px gust of 0.8 s "
                       "and a cloud shadow every 10 s, light drifting by 10 %, a swaying leaf, "
                       "noise 2 and H.264 at about 90 kbit/s for 640x480 at 25 fps. Each "
                       "option below given as well overrides its part.")};
    QCommandLineOption backdrop{QStringLiteral("background"),
                                QStringLiteral("Background: plain (default), card (a yellow "
                                               "sticky card with a printed grid, glue bubbles "
                                               "and dirt), soil or leaf (with veins)."),
                                QStringLiteral("KIND")};
    QCommandLineOption shapes{QStringLiteral("insect-shapes"),
                              QStringLiteral("Insects with head, thorax, abdomen, legs, "
                                             "translucent wings and a soft shadow.")};
    QCommandLineOption exposure{
        QStringLiteral("motion-blur"),
        QStringLiteral("Motion blur of a shutter open SECONDS (e.g. 0.02)."),
        QStringLiteral("SECONDS")};
    QCommandLineOption jitter{QStringLiteral("jitter"),
                              QStringLiteral("The camera trembles by up to PX pixels (sub-pixel, "
                                             "e.g. 0.25) every frame."),
                              QStringLiteral("PX")};
    QCommandLineOption gusts{QStringLiteral("gusts"),
                             QStringLiteral("N gusts spread over the video, each shaking the "
                                            "camera by up to PX pixels (default 1) for SECONDS "
                                            "(default 0.8)."),
                             QStringLiteral("N[,PX[,SECONDS]]")};
    QCommandLineOption drift{
        QStringLiteral("light-drift"),
        QStringLiteral("The light drifts slowly by up to FRACTION (e.g. 0.1)."),
        QStringLiteral("FRACTION")};
    QCommandLineOption clouds{QStringLiteral("clouds"),
                              QStringLiteral("N soft cloud shadows pass over the picture."),
                              QStringLiteral("N")};
    QCommandLineOption sway{QStringLiteral("sway"),
                            QStringLiteral("A leaf at the edge of the picture sways in the wind "
                                           "(more in gusts); it never comes near the region.")};
    QCommandLineOption bitrate{QStringLiteral("bitrate"),
                               QStringLiteral("H.264 at KBIT kilobits per second (0: a steady "
                                              "good quality)."),
                               QStringLiteral("KBIT")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help.")};

    Parser()
    {
        parser.setApplicationDescription(
            QStringLiteral("Writes a synthetic insect video: dark blobs over a fixed textured "
                           "background. With --line or --area the insects cross that region "
                           "(horizontally, from both sides), and its region files are written "
                           "beside the video so that it can be counted at once."));
        parser.addPositionalArgument(QStringLiteral("OUTPUT.mp4"),
                                     QStringLiteral("The video to write."));
        parser.addOptions({size,      fps,     frames,      insects, blob,     codec,
                           seed,      truth,   line,        area,    sizes,    speeds,
                           wander,    pauses,  closePasses, lead,    noise,    flicker,
                           perSecond, outdoor, backdrop,    shapes,  exposure, jitter,
                           gusts,     drift,   clouds,      sway,    bitrate,  help});
    }
};

// "--area 1,2 3,4 5,6" as separate words becomes one value, as if it had been quoted.
QStringList joinAreaPoints(const QStringList& arguments)
{
    QStringList joined;
    for (int i = 0; i < arguments.size(); ++i) {
        joined << arguments.at(i);
        if (arguments.at(i) != QLatin1String("--area"))
            continue;
        QStringList points;
        while (i + 1 < arguments.size() && pointPattern.match(arguments.at(i + 1)).hasMatch())
            points << arguments.at(++i);
        if (!points.isEmpty())
            joined << points.join(QLatin1Char(' '));
    }
    return joined;
}

bool toNumbers(const QString& text, const QString& separator, std::vector<double>& out)
{
    out.clear();
    for (const QString& part : text.split(separator, Qt::SkipEmptyParts)) {
        bool ok = false;
        out.push_back(part.toDouble(&ok));
        if (!ok)
            return false;
    }
    return true;
}

bool toPoints(const QString& text, std::vector<cv::Point>& out)
{
    out.clear();
    std::vector<double> xy;
    for (const QString& word :
         text.split(QRegularExpression(QStringLiteral("[\\s;]+")), Qt::SkipEmptyParts)) {
        if (!toNumbers(word, QStringLiteral(","), xy) || xy.size() != 2)
            return false;
        out.emplace_back(static_cast<int>(xy[0]), static_cast<int>(xy[1]));
    }
    return true;
}

bool toLine(const QString& text, std::vector<cv::Point>& out)
{
    std::vector<double> v;
    if (!toNumbers(text, QStringLiteral(","), v) || v.size() != 4)
        return false;
    out = {cv::Point(int(v[0]), int(v[1])), cv::Point(int(v[2]), int(v[3]))};
    return out[0] != out[1];
}

bool toRange(const QString& text, double& low, double& high)
{
    std::vector<double> v;
    if (!toNumbers(text, QStringLiteral(","), v) || v.empty() || v.size() > 2)
        return false;
    low = v.front();
    high = v.back();
    return low > 0 && high >= low;
}

bool toBlob(const QString& text, videogen::Blob& b)
{
    std::vector<double> v;
    if (!toNumbers(text, QStringLiteral(","), v) || v.size() < 4 || v.size() > 7)
        return false;
    b.start = {v[0], v[1]};
    b.velocity = {v[2], v[3]};
    if (v.size() > 4)
        b.radius = static_cast<int>(v[4]);
    if (v.size() > 5)
        b.firstFrame = static_cast<int>(v[5]);
    if (v.size() > 6)
        b.lastFrame = static_cast<int>(v[6]);
    return b.radius > 0;
}

QString readRecipe(const Parser& p, MakeVideoOptions& o)
{
    videogen::ClipRecipe& r = o.recipe;
    const QStringList wh = p.parser.value(p.size).split(QLatin1Char('x'));
    r.size = {wh.value(0).toInt(), wh.value(1).toInt()};
    if (wh.size() != 2 || r.size.width < 16 || r.size.height < 16 || r.size.width > 8192 ||
        r.size.height > 8192)
        return QStringLiteral("--size must be WxH, each between 16 and 8192");
    bool ok = false;
    r.fps = p.parser.value(p.fps).toDouble(&ok);
    if (!ok || r.fps <= 0)
        return QStringLiteral("--fps must be a positive number");
    o.framesGiven = p.parser.isSet(p.frames);
    if (o.framesGiven) {
        r.frames = p.parser.value(p.frames).toInt(&ok);
        if (!ok || r.frames <= 0)
            return QStringLiteral("--frames must be a positive number");
    }
    const QString codec = p.parser.value(p.codec);
    if (codec != QLatin1String("h264") && codec != QLatin1String("mpeg4") &&
        codec != QLatin1String("mjpeg"))
        return QStringLiteral("--codec must be h264, mpeg4 or mjpeg");
    r.codec = codec == QLatin1String("mjpeg")   ? videogen::Codec::MJPEG
              : codec == QLatin1String("mpeg4") ? videogen::Codec::MPEG4
                                                : videogen::Codec::H264;
    r.seed = p.parser.value(p.seed).toUInt(&ok);
    if (!ok)
        return QStringLiteral("--seed must be a whole number of at least 0");
    r.noise = p.parser.value(p.noise).toDouble(&ok);
    if (!ok || r.noise < 0)
        return QStringLiteral("--noise must be a number of at least 0");
    r.flicker = p.parser.value(p.flicker).toDouble(&ok);
    if (!ok || r.flicker < 0)
        return QStringLiteral("--flicker must be a number of at least 0");
    for (const QString& text : p.parser.values(p.blob)) {
        videogen::Blob b;
        if (!toBlob(text, b))
            return QStringLiteral("--blob must be X,Y,DX,DY[,RADIUS[,FIRST[,LAST]]]: %1").arg(text);
        r.blobs.push_back(b);
    }
    return QString();
}

bool toNonNegative(const QString& text, double& out)
{
    bool ok = false;
    out = text.toDouble(&ok);
    return ok && out >= 0 && std::isfinite(out);
}

bool toCount(const QString& text, int& out)
{
    bool ok = false;
    out = text.toInt(&ok);
    return ok && out >= 0 && out <= 1000;
}

bool toGusts(const QString& text, videogen::OutdoorOptions& o)
{
    std::vector<double> v;
    if (!toNumbers(text, QStringLiteral(","), v) || v.empty() || v.size() > 3 || v[0] < 0 ||
        v[0] > 1000 || v[0] != std::floor(v[0]))
        return false;
    o.gusts = static_cast<int>(v[0]);
    o.gustShift = v.size() > 1 ? v[1] : o.gustShift;
    o.gustSeconds = v.size() > 2 ? v[2] : o.gustSeconds;
    return o.gustShift >= 0 && o.gustShift <= 50 && o.gustSeconds > 0;
}

bool toBackdrop(const QString& text, videogen::Backdrop& out)
{
    const QStringList names{QStringLiteral("plain"), QStringLiteral("card"), QStringLiteral("soil"),
                            QStringLiteral("leaf")};
    const int i = names.indexOf(text);
    if (i < 0)
        return false;
    out = static_cast<videogen::Backdrop>(i);
    return true;
}

QString readOutdoor(const Parser& p, MakeVideoOptions& o)
{
    videogen::OutdoorOptions& d = o.outdoor;
    const QCommandLineParser& q = p.parser;
    if (q.isSet(p.outdoor)) {
        d = videogen::OutdoorOptions::realistic(o.recipe);
        if (!q.isSet(p.noise))
            o.recipe.noise = outdoorNoise;
        if (!q.isSet(p.sizes))
            o.motion.sizeMin = outdoorShortest, o.motion.sizeMax = outdoorLongest;
    }
    if (q.isSet(p.backdrop) && !toBackdrop(q.value(p.backdrop), d.backdrop))
        return QStringLiteral("--background must be plain, card, soil or leaf");
    d.insectShapes = d.insectShapes || q.isSet(p.shapes);
    if (q.isSet(p.exposure) && !toNonNegative(q.value(p.exposure), d.exposure))
        return QStringLiteral("--motion-blur must be a number of seconds of at least 0");
    if (q.isSet(p.jitter) && (!toNonNegative(q.value(p.jitter), d.jitter) || d.jitter > 50))
        return QStringLiteral("--jitter must be between 0 and 50 pixels");
    if (q.isSet(p.gusts) && !toGusts(q.value(p.gusts), d))
        return QStringLiteral("--gusts must be N[,PX[,SECONDS]] with N between 0 and 1000, PX "
                              "between 0 and 50 and SECONDS above 0");
    if (q.isSet(p.drift) && (!toNonNegative(q.value(p.drift), d.lightDrift) || d.lightDrift > 0.9))
        return QStringLiteral("--light-drift must be between 0 and 0.9");
    if (q.isSet(p.clouds) && !toCount(q.value(p.clouds), d.clouds))
        return QStringLiteral("--clouds must be between 0 and 1000");
    d.sway = d.sway || q.isSet(p.sway);
    if (q.isSet(p.bitrate) && !toNonNegative(q.value(p.bitrate), d.kbitPerSecond))
        return QStringLiteral("--bitrate must be a number of at least 0");
    if (d.any() && o.recipe.codec != videogen::Codec::H264)
        return QStringLiteral("outdoor conditions are written as H.264 only");
    if (d.any() && (o.recipe.size.width % 2 != 0 || o.recipe.size.height % 2 != 0))
        return QStringLiteral("outdoor conditions need an even frame width and height");
    d.sceneStartFrame = firstAnalysedFrame;
    o.perSecond = q.isSet(p.perSecond);
    if (o.perSecond && !q.isSet(p.speeds))
        o.motion.speedMin = o.motion.speedMax = 4 * videogen::pathStepsPerSecond;
    return QString();
}

QString readRegionsAndMotion(const Parser& p, MakeVideoOptions& o)
{
    bool ok = false;
    o.insects = p.parser.value(p.insects).toInt(&ok);
    if (!ok || o.insects < 0 || o.insects > 1000)
        return QStringLiteral("--insects must be between 0 and 1000");
    if (p.parser.isSet(p.line) && !toLine(p.parser.value(p.line), o.line))
        return QStringLiteral("--line must be X1,Y1,X2,Y2 with two different ends");
    if (p.parser.isSet(p.area) && (!toPoints(p.parser.value(p.area), o.area) || o.area.size() < 3))
        return QStringLiteral("--area must be at least three points X,Y");
    if (!o.line.empty() && !o.area.empty())
        return QStringLiteral("--line and --area cannot be given together");
    videogen::MotionOptions& m = o.motion;
    if (p.parser.isSet(p.sizes) && !toRange(p.parser.value(p.sizes), m.sizeMin, m.sizeMax))
        return QStringLiteral("--sizes must be MIN,MAX with 0 < MIN <= MAX");
    if (p.parser.isSet(p.speeds) && !toRange(p.parser.value(p.speeds), m.speedMin, m.speedMax))
        return QStringLiteral("--speeds must be MIN,MAX with 0 < MIN <= MAX");
    m.wander = p.parser.isSet(p.wander);
    m.pauses = p.parser.isSet(p.pauses);
    m.closePasses = p.parser.isSet(p.closePasses);
    if (p.parser.isSet(p.lead)) {
        m.lead = p.parser.value(p.lead).toInt(&ok);
        if (!ok || m.lead < 0 || m.lead > maxLead)
            return QStringLiteral("--lead must be between 0 and %1").arg(maxLead);
    }
    m.count = o.insects;
    m.seed = o.recipe.seed;
    m.firstFrame = firstAnalysedFrame;
    o.truth = p.parser.value(p.truth);
    const QString problem = readOutdoor(p, o);
    o.generatePaths = o.recipe.blobs.empty() &&
                      (!o.line.empty() || !o.area.empty() || p.parser.isSet(p.sizes) ||
                       p.parser.isSet(p.speeds) || m.wander || m.pauses || m.closePasses ||
                       o.perSecond || p.parser.isSet(p.outdoor) || p.parser.isSet(p.lead));
    return problem;
}

// The rectangle the insects cross: the region's bounding box, or the middle of the frame.
cv::Rect crossedRect(const MakeVideoOptions& o)
{
    const std::vector<cv::Point>& region = o.line.empty() ? o.area : o.line;
    const cv::Size s = o.recipe.size;
    if (region.empty())
        return cv::Rect(s.width / 4, s.height / 4, s.width / 2, s.height / 2);
    return cv::boundingRect(region) & cv::Rect(0, 0, s.width, s.height);
}

bool saveRegions(const MakeVideoOptions& o)
{
    AreaContour regions;
    regions.area = o.line.empty() ? o.area : o.line;
    if (regions.area.size() >= 3 && regions.area.front() != regions.area.back())
        regions.area.push_back(regions.area.front());
    const int right = o.recipe.size.width - 1 - maskInset;
    const int bottom = o.recipe.size.height - 1 - maskInset;
    regions.mask = {{maskInset, maskInset},
                    {right, maskInset},
                    {right, bottom},
                    {maskInset, bottom},
                    {maskInset, maskInset}};
    return ExportPath::ensureFolder(o.output) && regions.save_area(o.output) &&
           regions.save_mask(o.output);
}

std::string local(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QString writeTruth(const MakeVideoOptions& o)
{
    const videogen::ClipRecipe& r = o.recipe;
    std::string error;
    if (!videogen::writeCentres(local(o.truth), r.blobs, r.frames, &error))
        return QString::fromStdString(error);
    if (o.line.empty() && o.area.empty())
        return QString();
    const std::vector<videogen::TrueEvent> events =
        o.line.empty() ? videogen::areaEvents(r.blobs, r.frames, o.area)
                       : videogen::lineEvents(r.blobs, r.frames, o.line[0], o.line[1]);
    if (!videogen::writeEvents(local(eventsPathFor(o.truth)), events, &error))
        return QString::fromStdString(error);
    return QString();
}

} // namespace

QString makeVideoUsage()
{
    return Parser().parser.helpText();
}

QString parseMakeVideoArguments(const QStringList& arguments, MakeVideoOptions& options)
{
    Parser p;
    if (!p.parser.parse(joinAreaPoints(arguments)))
        return p.parser.errorText();
    options = MakeVideoOptions();
    options.help = p.parser.isSet(p.help);
    if (options.help)
        return QString();
    const QStringList positional = p.parser.positionalArguments();
    if (positional.size() != 1)
        return QStringLiteral("give exactly one output video");
    options.output = positional.front();
    const QString problem = readRecipe(p, options);
    return problem.isEmpty() ? readRegionsAndMotion(p, options) : problem;
}

QString eventsPathFor(const QString& truthPath)
{
    QString base = truthPath;
    if (base.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        base.chop(4);
    return base + QStringLiteral("_events.csv");
}

QString makeVideo(MakeVideoOptions o)
{
    videogen::ClipRecipe& r = o.recipe;
    if (o.generatePaths && o.perSecond) {
        r.blobs = videogen::crossingPathsPerSecond(o.motion, crossedRect(o), r.size, r.fps);
        if (!o.framesGiven)
            r.frames = std::max(r.frames, videogen::endOfPaths(r.blobs) + tailFrames);
    } else if (o.generatePaths) {
        r.blobs = videogen::crossingPaths(o.motion, crossedRect(o), r.size);
        if (!o.framesGiven)
            r.frames = std::max(r.frames, videogen::endOfPaths(r.blobs) + tailFrames);
    } else if (r.blobs.empty()) {
        r.blobs = videogen::crossingInsects(r.size, r.frames, o.insects);
    }
    std::string error;
    if (o.outdoor.any()) {
        o.outdoor.keepClear = {crossedRect(o)};
        if (!videogen::writeOutdoorVideo(local(o.output), r, o.outdoor, &error))
            return QString::fromStdString(error);
    } else if (!videogen::writeVideo(local(o.output), r, &error)) {
        return QString::fromStdString(error);
    }
    if ((!o.line.empty() || !o.area.empty()) && !saveRegions(o))
        return QStringLiteral("cannot write the region files of %1").arg(o.output);
    return o.truth.isEmpty() ? QString() : writeTruth(o);
}
