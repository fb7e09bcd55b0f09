#include "eventmatch.h"

#include <algorithm>
#include <cstdlib>
#include <tuple>

namespace
{

bool compatible(const videogen::TrueEvent& t, const CountedEvent& c)
{
    return (t.in && c.in) || (t.out && c.out);
}

bool within(const videogen::TrueEvent& t, const CountedEvent& c, const MatchTolerance& tol)
{
    return compatible(t, c) && c.frame >= t.touchFirst - tol.frames &&
           c.frame <= t.touchLast + tol.frames && cv::norm(c.at - t.at) <= tol.distance;
}

struct Pair {
    int frameGap;
    double distance;
    size_t truth;
    size_t counted;

    bool operator<(const Pair& o) const
    {
        return std::tie(frameGap, distance, truth, counted) <
               std::tie(o.frameGap, o.distance, o.truth, o.counted);
    }
};

} // namespace

MatchCounts& MatchCounts::operator+=(const MatchCounts& o)
{
    trueIn += o.trueIn;
    trueOut += o.trueOut;
    trueEvents += o.trueEvents;
    countedIn += o.countedIn;
    countedOut += o.countedOut;
    countedEvents += o.countedEvents;
    matched += o.matched;
    missed += o.missed;
    extra += o.extra;
    doubles += o.doubles;
    return *this;
}

double MatchCounts::precision() const
{
    return countedEvents == 0 ? 1.0 : double(matched) / countedEvents;
}

double MatchCounts::recall() const
{
    return trueEvents == 0 ? 1.0 : double(matched) / trueEvents;
}

MatchCounts matchEvents(const std::vector<videogen::TrueEvent>& truth,
                        const std::vector<CountedEvent>& counted, const MatchTolerance& tolerance,
                        std::vector<Verdict>* verdicts)
{
    MatchCounts m;
    for (const videogen::TrueEvent& t : truth) {
        m.trueIn += t.in;
        m.trueOut += t.out;
    }
    for (const CountedEvent& c : counted) {
        m.countedIn += c.in;
        m.countedOut += c.out;
    }
    m.trueEvents = static_cast<int>(truth.size());
    m.countedEvents = static_cast<int>(counted.size());

    std::vector<Pair> pairs;
    for (size_t i = 0; i < truth.size(); ++i)
        for (size_t j = 0; j < counted.size(); ++j)
            if (within(truth[i], counted[j], tolerance))
                pairs.push_back({std::abs(counted[j].frame - truth[i].frame),
                                 cv::norm(counted[j].at - truth[i].at), i, j});
    std::sort(pairs.begin(), pairs.end());
    std::vector<bool> truthUsed(truth.size()), countedUsed(counted.size());
    for (const Pair& p : pairs) {
        if (truthUsed[p.truth] || countedUsed[p.counted])
            continue;
        truthUsed[p.truth] = countedUsed[p.counted] = true;
        ++m.matched;
    }
    m.missed = m.trueEvents - m.matched;
    if (verdicts)
        verdicts->assign(counted.size(), Verdict::Matched);
    for (size_t j = 0; j < counted.size(); ++j) {
        if (countedUsed[j])
            continue;
        const bool repeat = std::any_of(pairs.begin(), pairs.end(), [&](const Pair& p) {
            return p.counted == j && truthUsed[p.truth];
        });
        ++(repeat ? m.doubles : m.extra);
        if (verdicts)
            (*verdicts)[j] = repeat ? Verdict::Double : Verdict::Extra;
    }
    return m;
}
