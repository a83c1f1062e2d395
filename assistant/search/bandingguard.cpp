#include "bandingguard.h"

#include <algorithm>
#include <cmath>

namespace flatsearch {

namespace {

bool atLeast(double exposure, double floor)
{
    return exposure >= floor * (1 - 1e-9);
}

} // namespace

bool bands(const Frame &frame)
{
    return !frame.saturated && frame.banding > 1;
}

double roundedUpExposure(double seconds)
{
    if (!(seconds > 0))
        return seconds;
    const double unit = std::pow(10.0, std::floor(std::log10(seconds)) - 1);
    return std::ceil(seconds / unit - 1e-9) * unit;
}

GuardedSearch::GuardedSearch(const Settings &settings, const ResponseCurve &box, double fullLevelRate,
    double knownBandingBelow)
    : settings(settings), startBox(box), startRate(fullLevelRate), knownBelow(knownBandingBelow),
      below(knownBandingBelow)
{
}

// The exposure no frame may fall short of: above what the banded frames (and the earlier filters') say bands need to
// fade, 0 while nothing has banded. Sets `below`.
double GuardedSearch::exposureFloor(const std::vector<Frame> &history)
{
    below = knownBelow;
    double floor = knownBelow > 0 ? roundedUpExposure(knownBelow * bandingMargin) : 0;
    for (const Frame &frame : history) {
        if (!bands(frame))
            continue;
        // Bands fade as 1 / exposure: this frame's would shrink to the allowed spread at `needed`.
        const double needed = frame.exposure * frame.banding;
        below = std::max(below, needed);
        floor = std::max(floor, roundedUpExposure(std::max(needed * bandingMargin, frame.exposure * bandingGrowth)));
    }
    return floor;
}

// The search learns the filter's light from every frame, banded ones too (their median still says how bright the
// filter is), but with the exposure held at or above the floor; a banded frame, or one shorter than the floor, is
// never the result, however close to the target it came.
Step GuardedSearch::next(const std::vector<Frame> &history)
{
    const double floor = exposureFloor(history);
    if (floor <= 0) {
        search.emplace(settings, startBox, startRate);
        return search->next(history);
    }
    const Frame *last = history.empty() ? nullptr : &history.back();
    if (floor > settings.maxExposure && last && bands(*last) && atLeast(last->exposure, settings.maxExposure))
        return {Verdict::Unreachable, last->level, last->exposure};
    const Settings raised = guarded(std::min(floor, settings.maxExposure));
    search.emplace(raised, startBox, startRate);
    const Step step = search->next(history);
    const bool lastTooShort = last && (bands(*last) || !atLeast(last->exposure, raised.minExposure));
    if (step.verdict != Verdict::Done || !lastTooShort)
        return step;
    return {Verdict::Next, levelFor(raised.exposure), raised.exposure};
}

// The level whose predicted figure at the exposure lies nearest the target: the same light, from a dimmer lamp.
int GuardedSearch::levelFor(double exposure) const
{
    int best = 255;
    for (int level = search->curve().darkZoneEnd(); level <= 255; ++level) {
        const double miss = std::abs(search->predictedFigure(level, exposure) - settings.target);
        if (miss < std::abs(search->predictedFigure(best, exposure) - settings.target))
            best = level;
    }
    return best;
}

// The search's settings with the exposure no shorter than `floor`.
Settings GuardedSearch::guarded(double floor) const
{
    Settings raised = settings;
    raised.minExposure = std::max(settings.minExposure, floor);
    raised.exposure = std::max(settings.exposure, floor);
    return raised;
}

const ResponseCurve &GuardedSearch::curve() const
{
    return search ? search->curve() : startBox;
}

double GuardedSearch::fullLevelRate() const
{
    return search ? search->fullLevelRate() : startRate;
}

double GuardedSearch::bandingBelow() const
{
    return below;
}

} // namespace flatsearch
