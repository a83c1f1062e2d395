#include "flatsearch.h"

#include "filterkind.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>

namespace flatsearch {

namespace {

// Dark zones reach a few percent of the range; a frame reading no light higher up is a filter too dim to show.
constexpr int darkZoneLimit = 64;
// A saturated frame is taken as this many times full scale: far too bright, so the next frame aims well below.
constexpr double saturatedFigure = 4.0;
// A lit frame's figure counts as a measurement of light from twice the figure that shows none: below that, noise and
// the camera's offset make up too much of it.
constexpr double litFigure = 2 * FilterSearch::darkFigure;
// A saturated frame below which a lit one was measured is taken as a little above full scale, where the rise between
// them most likely crosses it: the least it can be, with half again for the clipped part of the centre.
constexpr double justSaturatedFigure = 1.5;
// A slope between two learned points is trusted only across a quarter or more of the level above the dark zone:
// across less, a point's noise (a percent or two of its figure) moves the exponent by more than a tenth.
constexpr double slopeBaseRatio = 1.25;
// Where the curve has learned level 255, a prediction there is off only by the filter's rate: the guess from other
// filters' rates holds it to about a tenth (a colour filter passes 0.27-0.33 where a third is guessed).
constexpr double closeCallLearnedTop = 0.9;
// Where the curve's top is extrapolated from lower points, a prediction there may fall short by two thirds again: a
// slope of 2 guessed where the box rises as 1.3 over the upper half of its range overstates 255 by 2^0.7 = 1.6.
constexpr double closeCallExtrapolatedTop = 0.6;
// Two frames whose figures differ by less than this (their noise and the offset's drift) show the same light.
constexpr double sameFigure = 0.02;
// A slow PWM changes its light every 4th, 8th or at most every 16th level at the bottom of the range: within one
// such step, levels read alike.
constexpr int widestCoarseStep = 16;
// An offset is at most half the target: a camera reading more without light leaves too little range to measure.
constexpr double largestOffsetShare = 0.5;

bool sameExposure(double a, double b)
{
    return std::abs(a - b) <= 1e-9 * std::max(std::abs(a), std::abs(b));
}

double logDistance(double a, double b)
{
    return std::abs(std::log(a / b));
}

struct KindShare
{
    double share; // of a clear filter's light
    double doubt; // how far one filter of the kind may pass more or less, as a natural-log factor
};

// The usual share of a clear filter's light a kind of filter passes, from its pass band's width.
KindShare typicalShare(const std::string &filter)
{
    // A colour a third of the visible band: red, green and blue filters pass 0.27-0.33 of the light.
    constexpr KindShare colour{1.0 / 3.0, 0.08};
    // One line a few nanometres of its 300: lines of 3-7 nm pass 0.01-0.02.
    constexpr KindShare narrowband{0.02, 0.5};
    // Clear, luminance and unnamed filters.
    constexpr KindShare clear{1.0, 0.1};
    switch (filterkind::classify(filter).kind) {
    case filterkind::Kind::Colour:
        return colour;
    case filterkind::Kind::Narrowband:
        return narrowband;
    default:
        return clear;
    }
}

} // namespace

// ---- ResponseCurve ----

bool ResponseCurve::known() const
{
    return !learned.empty() || darkEnd > 0;
}

int ResponseCurve::darkZoneEnd() const
{
    return darkEnd;
}

double ResponseCurve::x(int level) const
{
    return level - darkEnd + 1.0;
}

double ResponseCurve::brightness(int level) const
{
    level = std::clamp(level, 0, 255);
    if (level < darkEnd)
        return 0;
    if (learned.empty())
        return std::pow(x(level) / (256.0 - darkEnd), priorExponent);
    const auto above = learned.lower_bound(level);
    if (above != learned.end() && above->first == level)
        return above->second;
    if (above == learned.end()) {
        const auto &[top, value] = *learned.rbegin();
        return value * std::pow(x(level) / x(top), extrapolationExponent(true));
    }
    if (above == learned.begin())
        return above->second * std::pow(x(level) / x(above->first), extrapolationExponent(false));
    const auto below = std::prev(above);
    const double exponent = std::log(above->second / below->second) / std::log(x(above->first) / x(below->first));
    return below->second * std::pow(x(level) / x(below->first), exponent);
}

// The power law's exponent beyond the learned points: between the outermost point and the nearest one far enough
// from it (a quarter further in level above the dark zone) that noise does not dominate the slope.
double ResponseCurve::extrapolationExponent(bool above) const
{
    if (learned.size() < 2)
        return priorExponent;
    const auto &[endLevel, endValue] = above ? *learned.rbegin() : *learned.begin();
    std::vector<std::pair<int, double>> others(learned.begin(), learned.end());
    if (above)
        std::reverse(others.begin(), others.end());
    others.erase(others.begin());
    auto partner = others.back();
    for (const auto &point : others) {
        if (std::max(x(point.first), x(endLevel)) / std::min(x(point.first), x(endLevel)) >= slopeBaseRatio) {
            partner = point;
            break;
        }
    }
    const double exponent = std::log(endValue / partner.second) / std::log(x(endLevel) / x(partner.first));
    return std::clamp(exponent, FilterSearch::plausibleExponent.first, FilterSearch::plausibleExponent.second);
}

double ResponseCurve::slopeBelow(int level) const
{
    std::vector<std::pair<int, double>> below(learned.begin(), learned.upper_bound(level));
    if (below.size() < 2)
        return priorExponent;
    const auto &[top, topValue] = below.back();
    for (auto point = below.rbegin() + 1; point != below.rend(); ++point) {
        if (x(top) / x(point->first) >= slopeBaseRatio) {
            const double exponent = std::log(topValue / point->second) / std::log(x(top) / x(point->first));
            return std::clamp(exponent, FilterSearch::plausibleExponent.first, FilterSearch::plausibleExponent.second);
        }
    }
    return priorExponent;
}

double ResponseCurve::doubt(int level) const
{
    // A learned point is off by its frame's noise and the camera's offset; between two, a power law bends a little
    // from the box's own curve, the more the further apart they lie; beyond them, the slope extrapolated may be off by most of
    // itself (boxes rise anywhere from the square root to the cube of the level). Tried on the benchmark's boxes from
    // half to twice these: the later filters' frames hardly change.
    constexpr double pointDoubt = 0.03;
    constexpr double bendPerSpan = 0.1;
    constexpr double slopeDoubt = 0.8;
    constexpr double unknownDoubt = 2.0; // nothing learned: the first guess's curve, off by up to several times
    level = std::clamp(level, 0, 255);
    if (learned.empty())
        return unknownDoubt;
    const auto above = learned.lower_bound(level);
    if (above != learned.end() && above->first == level)
        return pointDoubt;
    if (above == learned.end())
        return pointDoubt + slopeDoubt * std::log(x(level) / x(learned.rbegin()->first));
    if (above == learned.begin())
        return pointDoubt + slopeDoubt * std::log(x(above->first) / x(level));
    // Between two learned points the power law bends away from the box's curve most halfway, not at either end.
    const auto below = std::prev(above);
    const double span = std::log(x(above->first) / x(below->first));
    const double along = std::log(x(level) / x(below->first)) / span;
    return pointDoubt + bendPerSpan * span * 4 * along * (1 - along);
}

int ResponseCurve::levelFor(double relative) const
{
    for (int level = darkEnd; level <= 255; ++level) {
        if (brightness(level) >= relative)
            return level;
    }
    return -1;
}

std::vector<std::pair<int, double>> ResponseCurve::points() const
{
    return {learned.begin(), learned.end()};
}

std::string ResponseCurve::serialize() const
{
    std::ostringstream text;
    text << "dark " << darkEnd << " points";
    char value[32];
    for (const auto &[level, relative] : learned) {
        std::snprintf(value, sizeof value, "%.9g", relative);
        text << ' ' << level << ':' << value;
    }
    return text.str();
}

std::optional<ResponseCurve> ResponseCurve::parse(const std::string &text)
{
    std::istringstream in(text);
    std::string darkWord, pointsWord;
    ResponseCurve curve;
    if (!(in >> darkWord >> curve.darkEnd >> pointsWord) || darkWord != "dark" || pointsWord != "points"
        || curve.darkEnd < 0 || curve.darkEnd > 256)
        return std::nullopt;
    std::string point;
    int previousLevel = -1;
    double previousValue = 0;
    while (in >> point) {
        int level = 0;
        double relative = 0;
        int used = 0;
        if (std::sscanf(point.c_str(), "%d:%lf%n", &level, &relative, &used) != 2 || used != int(point.size()))
            return std::nullopt;
        const bool ordered = level > previousLevel && relative > previousValue;
        if (!ordered || level < curve.darkEnd || level > 255 || !std::isfinite(relative))
            return std::nullopt;
        curve.learned[level] = relative;
        previousLevel = level;
        previousValue = relative;
    }
    return curve;
}

void ResponseCurve::learn(const Frame &frame, double fullLevelRate)
{
    if (frame.saturated)
        return;
    if (frame.figure < FilterSearch::darkFigure)
        markDark(frame.level);
    else if (fullLevelRate > 0 && frame.exposure > 0)
        addPoint(frame.level, frame.figure / (frame.exposure * fullLevelRate));
    else
        markLight(frame.level);
}

void ResponseCurve::markDark(int level)
{
    level = std::clamp(level, 0, 255);
    if (level < darkEnd)
        return;
    darkEnd = level + 1;
    learned.erase(learned.begin(), learned.upper_bound(level));
}

void ResponseCurve::markLight(int level)
{
    darkEnd = std::min(darkEnd, std::clamp(level, 0, 255));
}

void ResponseCurve::addPoint(int level, double relative)
{
    if (!(relative > 0) || !std::isfinite(relative))
        return;
    level = std::clamp(level, 0, 255);
    markLight(level);
    for (auto point = learned.begin(); point != learned.end();) {
        const bool contradicts = (point->first < level && point->second >= relative)
            || (point->first > level && point->second <= relative);
        point = contradicts ? learned.erase(point) : std::next(point);
    }
    learned[level] = relative;
}

// ---- FilterSearch ----

namespace {

// The search works on the light above the camera's offset: the band keeps its width around the lowered target.
Settings aboveBias(Settings settings)
{
    const double bias = std::clamp(settings.bias, 0.0, settings.target * largestOffsetShare);
    settings.tolerance = settings.target * settings.tolerance / (settings.target - bias);
    settings.target -= bias;
    settings.bias = bias;
    return settings;
}

} // namespace

FilterSearch::FilterSearch(const Settings &settings, const ResponseCurve &box, double fullLevelRate)
    : asked(settings), settings(aboveBias(settings)), startBox(box), startRate(std::max(fullLevelRate, 0.0)), box(box), rate(startRate)
{
}

const ResponseCurve &FilterSearch::curve() const
{
    return box;
}

double FilterSearch::fullLevelRate() const
{
    return rate;
}

double FilterSearch::predictedFigure(int level, double exposure) const
{
    return rate > 0 ? std::min(1.0, settings.bias + rate * box.brightness(level) * exposure) : 0.0;
}

bool FilterSearch::inBand(double figure) const
{
    return std::abs(figure - settings.target) <= settings.target * settings.tolerance + 1e-12;
}

bool FilterSearch::tooDim(const Frame &frame) const
{
    return !frame.saturated && frame.figure < settings.target * (1 - settings.tolerance);
}

bool FilterSearch::tooBright(const Frame &frame) const
{
    return frame.saturated || frame.figure > settings.target * (1 + settings.tolerance);
}

Step FilterSearch::next(const std::vector<Frame> &history)
{
    Settings withOffset = asked;
    withOffset.bias = std::max(asked.bias, frameOffset(history));
    settings = aboveBias(withOffset);
    const double offset = settings.bias;
    if (offset <= 0)
        return search(history);
    std::vector<Frame> aboveOffset = history;
    for (Frame &frame : aboveOffset)
        frame.figure = std::max(0.0, frame.figure - offset);
    return search(aboveOffset);
}

// Where the camera's offset is not known, frames show it: pairs whose figures stay put with a longer exposure, and
// lit pairs at one level whose figures rise with it.
double FilterSearch::frameOffset(const std::vector<Frame> &history) const
{
    double offset = 0;
    for (const Frame &shorter : history) {
        for (const Frame &longer : history) {
            const bool pair = longer.level >= shorter.level && longer.exposure >= offsetPairExposureRatio * shorter.exposure
                && !shorter.saturated && !longer.saturated;
            if (!pair)
                continue;
            if (figureStaysPut(shorter, longer))
                offset = std::max(offset, std::max(shorter.figure, longer.figure) + darkFigure / 2);
            else if (longer.level == shorter.level)
                offset = std::max(offset, offsetOnExposureLine(shorter, longer));
        }
    }
    return offset;
}

// A dim figure that stays put while the exposure grows by half again or more, at the same or a higher level, is no
// light at all: the camera's offset. (Light would have risen by half; a fifth allows for noise.)
bool FilterSearch::figureStaysPut(const Frame &shorter, const Frame &longer) const
{
    constexpr double noiseAllowance = 1.2;
    constexpr double dimShare = 0.2; // of the target: what an offset may be, with light hardly above it
    return longer.figure < noiseAllowance * shorter.figure && longer.figure < dimShare * asked.target;
}

// Two lit frames at one level and two exposures: the figure rises in proportion to the exposure from the camera's
// offset, which is where the line through them meets no exposure. Noise makes a small negative value of no offset; the
// shorter frame is lit (its figure rose with the exposure), so the offset lies below its figure.
double FilterSearch::offsetOnExposureLine(const Frame &shorter, const Frame &longer) const
{
    const double offset = (shorter.figure * longer.exposure - longer.figure * shorter.exposure)
        / (longer.exposure - shorter.exposure);
    return std::clamp(offset, 0.0, shorter.figure - darkFigure);
}

Step FilterSearch::search(const std::vector<Frame> &history)
{
    replay(history);
    if (!history.empty() && !history.back().saturated && inBand(history.back().figure))
        return {Verdict::Done, history.back().level, history.back().exposure};
    if (const auto verdict = unreachable(history))
        return *verdict;
    if (history.size() >= std::size_t(maxFrames))
        return {Verdict::Unreachable, history.back().level, history.back().exposure};
    const double filterRate = rateMeasured ? rate : assumedRate(history, startRate);
    Plan proposal = filterRate > 0 ? plan(filterRate, history) : firstPlan();
    reachForTop(proposal, history);
    if (!avoidCycle(proposal, history))
        return {Verdict::Unreachable, history.back().level, history.back().exposure};
    return {Verdict::Next, proposal.level, proposal.exposure};
}

// Rebuilds what the frames teach from the starting knowledge, so that any history (also frames the search did not
// propose, as in folder mode) gives the same answer.
void FilterSearch::replay(const std::vector<Frame> &history)
{
    box = startBox;
    rate = startRate;
    rateMeasured = false;
    const double boundRate = assumedRate(history, startRate);
    for (const Frame &frame : history) {
        if (frame.saturated || frame.exposure <= 0)
            continue;
        if (frame.figure < darkFigure)
            takeDarkFrame(frame, rateMeasured ? rate : boundRate);
        else
            takeMeasuredFrame(frame);
    }
}

// A frame without light low in the range, where the rate known says light should show, is the dark zone.
void FilterSearch::takeDarkFrame(const Frame &frame, double knownRate)
{
    const double expected = knownRate * box.brightness(frame.level) * frame.exposure;
    if (frame.level <= darkZoneLimit && expected >= litFigure)
        box.markDark(frame.level);
}

// The filter's first measured frame sets its rate; later ones teach the curve at the filter's rate.
void FilterSearch::takeMeasuredFrame(const Frame &frame)
{
    const double perSecond = frame.figure / frame.exposure;
    if (box.brightness(frame.level) <= 0)
        box.markLight(frame.level);
    if (!rateMeasured) {
        rate = firstFrameRate(frame);
        rateMeasured = true;
    }
    box.addPoint(frame.level, perSecond / rate);
}

// The rate the first measured frame shows through the curve, where the curve knows that level well; where it only
// extrapolates there (other filters' frames lay far from it), the guess from their rates may know better, and the two
// are weighed by how far each may be off.
double FilterSearch::firstFrameRate(const Frame &frame) const
{
    const double fromCurve = frame.figure / frame.exposure / box.brightness(frame.level);
    if (startRate <= 0 || asked.rateDoubt <= 0)
        return fromCurve;
    const double curveDoubt = box.doubt(frame.level);
    const double curveWeight = std::pow(asked.rateDoubt, 2) / (std::pow(asked.rateDoubt, 2) + std::pow(curveDoubt, 2));
    return std::exp(curveWeight * std::log(fromCurve) + (1 - curveWeight) * std::log(startRate));
}

// The filter's rate while no frame has measured it: the caller's guess, held within what saturated frames (at least
// full scale) and frames without light (below the dark figure) allow.
double FilterSearch::assumedRate(const std::vector<Frame> &history, double guess) const
{
    double atLeast = 0;
    double atMost = std::numeric_limits<double>::infinity();
    for (const Frame &frame : history) {
        const double light = box.brightness(frame.level) * frame.exposure;
        if (light <= 0)
            continue;
        if (frame.saturated)
            atLeast = std::max(atLeast, 1.0 / light);
        else if (frame.figure < darkFigure)
            atMost = std::min(atMost, darkFigure / light);
    }
    const bool bounded = std::isfinite(atMost);
    if (guess > 0 && guess >= atLeast * saturatedFigure && guess <= atMost)
        return guess;
    if (atLeast > 0 && bounded)
        return atLeast < atMost ? std::sqrt(atLeast * atMost) : atLeast;
    if (atLeast > 0)
        return atLeast * saturatedFigure;
    if (bounded)
        return guess > 0 ? std::min(guess, atMost) : atMost;
    return guess;
}

std::optional<Step> FilterSearch::unreachable(const std::vector<Frame> &history) const
{
    const int dimmest = box.darkZoneEnd();
    const bool dimmestProven = dimmest > 0 || std::any_of(history.begin(), history.end(),
        [](const Frame &frame) { return frame.level == 0; });
    for (const Frame &frame : history) {
        if (frame.level == 255 && frame.exposure >= settings.maxExposure * (1 - 1e-9) && tooDim(frame))
            return Step{Verdict::Unreachable, frame.level, frame.exposure};
        const bool atDimmest = frame.level == dimmest && dimmestProven;
        if (atDimmest && frame.exposure <= settings.minExposure * (1 + 1e-9) && tooBright(frame))
            return Step{Verdict::Unreachable, frame.level, frame.exposure};
    }
    return std::nullopt;
}

FilterSearch::Plan FilterSearch::firstPlan() const
{
    const auto points = box.points();
    if (!points.empty())
        return {points.back().first, settings.exposure};
    if (startNarrowbandAtTop())
        return {255, settings.exposure};
    const bool colour = filterkind::classify(settings.filter).kind == filterkind::Kind::Colour;
    return {std::max(colour ? colourFirstLevel : firstLevel, box.darkZoneEnd()), settings.exposure};
}

// A narrowband filter passes a fiftieth of a clear filter's light: on most boxes its band lies at 255 or beyond, and
// a first frame there measures its light with the box's curve known at that one level.
bool FilterSearch::startNarrowbandAtTop() const
{
    return filterkind::classify(settings.filter).kind == filterkind::Kind::Narrowband;
}

// On a box nothing was known of, a first frame that puts the band high in the range says little of where: the first
// guess's exponent may be far off there, and the band may lie beyond 255. A frame at 255 settles both: too dim, and
// the exposure that reaches the band follows from it alone; too bright, and the band lies between two measured
// levels.
void FilterSearch::reachForTop(Plan &proposal, const std::vector<Frame> &history) const
{
    const bool firstOnNewBox = !startBox.known() && history.size() == 1 && rateMeasured;
    if (!firstOnNewBox || proposal.level < topJumpLevel || !sameExposure(proposal.exposure, settings.exposure))
        return;
    proposal.level = 255;
    aimSteepestBelowBand(proposal, history.front());
}

// A first frame lit but ten times or more below the target on a new box: on the steepest box this search is built
// for, the band lies lowest, where that frame's light rises to the target as the cube of the level. A frame there
// reads at most about the target rather than a saturated frame that says almost nothing, and with the first it shows
// the box's own steepness for the third. Where even the steepest box puts the band high in the range, the frame at
// 255 stays the better one: the band most likely lies at or beyond it.
void FilterSearch::aimSteepestBelowBand(Plan &proposal, const Frame &first) const
{
    const bool farBelowBand = first.figure * dimFirstFrameRatio <= settings.target;
    if (!farBelowBand || first.figure < litFigure || first.saturated)
        return;
    const double aimed = x(first.level) * std::pow(settings.target / first.figure, 1 / steepestBoxExponent);
    const int level = int(std::lround(aimed + box.darkZoneEnd() - 1));
    if (level > first.level && level < topJumpLevel)
        proposal.level = level;
}

// The held exposure and the level the curve gives for the target; the exposure moves only when the curve says that
// no level between the dark zone's end and 255 reaches the band.
FilterSearch::Plan FilterSearch::plan(double filterRate, const std::vector<Frame> &history) const
{
    const double target = settings.target;
    const double held = settings.exposure;
    const double atFull = filterRate * box.brightness(255);
    const double atDimmest = filterRate * box.brightness(box.darkZoneEnd());
    Plan proposal{0, held};
    if (atFull * held < target * (1 - settings.tolerance)) {
        proposal = {255, atFull > 0 ? lengthenedTarget() / atFull : settings.maxExposure};
        if (closeCall(atFull * held) && !measuredAt(history, 255))
            proposal.exposure = held;
    } else if (atDimmest * held > target * (1 + settings.tolerance)) {
        const int level = box.darkZoneEnd();
        proposal = {level, target / (filterRate * std::max(box.brightness(level), 1e-12))};
    } else {
        proposal.level = nearestLevel(target / (filterRate * held));
    }
    proposal.exposure = std::clamp(proposal.exposure, settings.minExposure, settings.maxExposure);
    aimBelowSaturation(proposal, history);
    followOwnFrames(proposal, history);
    aimBelowPlateau(proposal, history);
    keepBelowSaturation(proposal, history);
    stepPastFlatRun(proposal, history);
    splitCoarseStep(proposal, history);
    return proposal;
}

// The figure an exposure lengthened from a dim frame aims at. A camera offset not told or found yet is part of that
// frame's figure but does not grow with the exposure, so the longer frame falls short of the aim by the offset times
// the stretch: aimed at the band's upper half, an offset of a few hundredths still lands in the band.
double FilterSearch::lengthenedTarget() const
{
    const bool offsetKnown = settings.bias > 0;
    const bool newBox = !startBox.known() && startRate <= 0;
    return offsetKnown || !newBox ? settings.target : settings.target * (1 + settings.tolerance / 2);
}

// A prediction that falls just short of the band may be wrong: unless a frame at that level measured it, a frame at
// the held exposure settles whether the exposure has to move. Where the curve has learned level 255 only the
// filter's rate is uncertain, and the margin is narrower than where the curve's top is extrapolated.
bool FilterSearch::closeCall(double predicted) const
{
    const auto points = box.points();
    const bool topLearned = !points.empty() && points.back().first == 255;
    const double share = topLearned ? closeCallLearnedTop : closeCallExtrapolatedTop;
    return predicted >= share * settings.target * (1 - settings.tolerance);
}

double FilterSearch::x(int level) const
{
    return level - box.darkZoneEnd() + 1.0;
}

bool FilterSearch::measuredAt(const std::vector<Frame> &history, int level)
{
    return std::any_of(history.begin(), history.end(), [&](const Frame &frame) {
        return frame.level == level && !frame.saturated && frame.figure >= darkFigure;
    });
}

int FilterSearch::nearestLevel(double relative) const
{
    const int level = box.levelFor(relative);
    if (level < 0)
        return 255;
    const double below = box.brightness(level - 1);
    if (level > box.darkZoneEnd() && below > 0
        && logDistance(relative, below) < logDistance(box.brightness(level), relative))
        return level - 1;
    return level;
}

// On a box nothing was known of, a lit frame too dim below a saturated one at the held exposure bounds the curve's
// steepness between them: the rise from the lit frame's figure to at least full scale. The band is aimed at on the
// power law that rises to a little above full scale there, rather than on the first guess's exponent.
void FilterSearch::aimBelowSaturation(Plan &proposal, const std::vector<Frame> &history) const
{
    if (startBox.known() || !sameExposure(proposal.exposure, settings.exposure))
        return;
    const Frame *lit = nullptr;
    for (const Frame &frame : history) {
        const bool usable = sameExposure(frame.exposure, settings.exposure) && tooDim(frame)
            && frame.figure >= litFigure && frame.level >= box.darkZoneEnd();
        if (usable && (!lit || frame.level > lit->level))
            lit = &frame;
    }
    if (!lit)
        return;
    const Frame *saturated = nullptr;
    for (const Frame &frame : history) {
        if (!sameExposure(frame.exposure, settings.exposure) || frame.level <= lit->level)
            continue;
        if (!frame.saturated)
            return; // a measured frame above the lit one already shapes the curve there
        if (saturated)
            return; // the aim below saturation missed once: the search bisects from here
        saturated = &frame;
    }
    if (!saturated || saturated->level <= lit->level + 1)
        return;
    const double exponent = std::clamp(
        std::log(justSaturatedFigure / lit->figure) / std::log(x(saturated->level) / x(lit->level)),
        plausibleExponent.first, plausibleExponent.second);
    const double aimed = x(lit->level) * std::pow(settings.target / lit->figure, 1 / exponent);
    proposal.level = std::clamp(int(std::lround(aimed + box.darkZoneEnd() - 1)), lit->level + 1,
        saturated->level - 1);
}

// Two lit frames of this filter at the held exposure show the curve's steepness where the band lies better than the
// curve other filters taught (their rates and the camera's offset each blur it): the band is aimed at on the power
// law through them, the pair on either side of the target, else the two nearest it.
void FilterSearch::followOwnFrames(Plan &proposal, const std::vector<Frame> &history) const
{
    if (!sameExposure(proposal.exposure, settings.exposure))
        return;
    std::vector<Frame> lit;
    for (const Frame &frame : history) {
        const bool usable = !frame.saturated && frame.figure >= litFigure
            && sameExposure(frame.exposure, settings.exposure) && frame.level >= box.darkZoneEnd();
        const bool newLevel = std::none_of(lit.begin(), lit.end(), [&](const Frame &f) { return f.level == frame.level; });
        if (usable && newLevel)
            lit.push_back(frame);
    }
    if (lit.size() < 2)
        return;
    const double target = settings.target;
    std::sort(lit.begin(), lit.end(), [&](const Frame &a, const Frame &b) {
        return logDistance(a.figure, target) < logDistance(b.figure, target);
    });
    const Frame nearest = lit[0];
    Frame partner = lit[1];
    for (const Frame &frame : lit) {
        if ((frame.figure - target) * (nearest.figure - target) < 0 && nearBand(frame)) {
            partner = frame; // the nearest on the target's other side
            break;
        }
    }
    const double slope = std::log(partner.figure / nearest.figure) / std::log(x(partner.level) / x(nearest.level));
    if (!(slope >= plausibleExponent.first && slope <= plausibleExponent.second))
        return; // a flat stretch (a coarse step) or noise: the curve knows better
    const double aimed = x(nearest.level) * std::pow(target / nearest.figure, 1 / slope);
    proposal.level = std::clamp(int(std::lround(aimed + box.darkZoneEnd() - 1)), 0, 255);
}

// A frame within four times of the target on either side: further off, the dark zone, the camera's offset or a
// plateau bend the curve between it and the band more than a power law follows.
bool FilterSearch::nearBand(const Frame &frame) const
{
    constexpr double farthestPartner = 4.0;
    return logDistance(frame.figure, settings.target) <= std::log(farthestPartner);
}

// The lowest of this filter's lit frames at the held exposure that reads what a frame well above it read: the box
// stops brightening at or below its level. Nullopt when no frames show a plateau.
std::optional<Frame> FilterSearch::plateauSeen(const std::vector<Frame> &history) const
{
    std::optional<Frame> lowest;
    for (const Frame &lower : history) {
        if (lower.saturated || lower.figure < litFigure || !sameExposure(lower.exposure, settings.exposure))
            continue;
        const bool flat = std::any_of(history.begin(), history.end(), [&](const Frame &higher) {
            return higher.level > lower.level + widestCoarseStep && !higher.saturated
                && sameExposure(higher.exposure, lower.exposure) && logDistance(higher.figure, lower.figure) < sameFigure;
        });
        if (flat && (!lowest || lower.level < lowest->level))
            lowest = lower;
    }
    return lowest;
}

// A box that stops brightening: a power law through a frame too bright on its plateau puts the band too high, where
// the light is the plateau's again. The band is aimed at from the highest frame too dim below the plateau, on the
// curve's slope below it; with none, halfway between the dark zone's end and the plateau.
void FilterSearch::aimBelowPlateau(Plan &proposal, const std::vector<Frame> &history) const
{
    if (!sameExposure(proposal.exposure, settings.exposure))
        return;
    const std::optional<Frame> plateau = plateauSeen(history);
    if (!plateau || !tooBright(*plateau))
        return;
    const Brackets held = heldBrackets(history);
    if (held.bright != plateau->level)
        return; // a frame too bright below the plateau bounds the band better
    int level = (box.darkZoneEnd() + plateau->level) / 2;
    if (held.dim >= 0 && held.dim < plateau->level && held.dimFigure >= litFigure) {
        const double aimed = x(held.dim) * std::pow(settings.target / held.dimFigure, 1 / box.slopeBelow(held.dim));
        level = int(std::lround(aimed + box.darkZoneEnd() - 1));
    }
    proposal.level = std::clamp(level, std::max(box.darkZoneEnd(), held.dim + 1), plateau->level - 1);
}

// The highest level measured too dim and the lowest measured too bright (not saturated) at the held exposure.
FilterSearch::Brackets FilterSearch::heldBrackets(const std::vector<Frame> &history) const
{
    Brackets held;
    for (const Frame &frame : history) {
        if (!sameExposure(frame.exposure, settings.exposure))
            continue;
        if (tooDim(frame) && frame.level > held.dim) {
            held.dim = frame.level;
            held.dimFigure = frame.figure;
        } else if (tooBright(frame) && !frame.saturated) {
            held.bright = std::min(held.bright, frame.level);
        }
    }
    return held;
}

// A saturated frame binds: nothing at its level or above at its exposure or longer is worth a frame.
void FilterSearch::keepBelowSaturation(Plan &proposal, const std::vector<Frame> &history) const
{
    for (const Frame &frame : history) {
        const bool covered = frame.saturated && proposal.level >= frame.level
            && proposal.exposure >= frame.exposure * (1 - 1e-9);
        if (!covered)
            continue;
        if (frame.level > box.darkZoneEnd()) {
            const int lower = box.levelFor(box.brightness(frame.level) / saturatedFigure);
            const int dimBelow = highestTooDim(history, frame.level, proposal.exposure);
            // Between a level measured too dim and the saturated one, halfway; else well below the saturated one.
            const int level = dimBelow >= 0 ? (dimBelow + frame.level) / 2 : lower;
            proposal.level = std::clamp(level, std::max(box.darkZoneEnd(), dimBelow + 1), frame.level - 1);
        } else {
            proposal.exposure = std::max(settings.minExposure, frame.exposure / saturatedFigure);
        }
    }
}

// The highest level below `below` that a frame at this exposure showed too dim (but lit); -1 when none did.
int FilterSearch::highestTooDim(const std::vector<Frame> &history, int below, double exposure) const
{
    int highest = -1;
    for (const Frame &frame : history) {
        if (frame.level < below && sameExposure(frame.exposure, exposure) && tooDim(frame)
            && frame.figure >= darkFigure)
            highest = std::max(highest, frame.level);
    }
    return highest;
}

// The coarse step a frame at the held exposure lies in, where other frames a few levels from it read the same figure:
// the smallest step of 4, 8 or 16 levels that holds them all. Nullopt when no frame reads alike nearby.
std::optional<FilterSearch::CoarseStep> FilterSearch::flatRunAround(const Frame &frame,
    const std::vector<Frame> &history) const
{
    int lowest = frame.level;
    int highest = frame.level;
    for (const Frame &other : history) {
        const bool alike = other.level != frame.level && !other.saturated
            && std::abs(other.level - frame.level) < widestCoarseStep && sameExposure(other.exposure, frame.exposure) && logDistance(other.figure, frame.figure) < sameFigure;
        if (alike) {
            lowest = std::min(lowest, other.level);
            highest = std::max(highest, other.level);
        }
    }
    if (lowest == highest)
        return std::nullopt;
    for (const int step : {4, 8, widestCoarseStep}) {
        if (lowest / step == highest / step)
            return CoarseStep{lowest / step * step, lowest / step * step + step - 1};
    }
    return std::nullopt;
}

// Frames that read alike a few levels apart lie in one coarse step, and every level of that step gives the same
// light: the next frame steps past it, below a step too bright or above one too dim, rather than walking through it.
void FilterSearch::stepPastFlatRun(Plan &proposal, const std::vector<Frame> &history) const
{
    if (!sameExposure(proposal.exposure, settings.exposure))
        return;
    const CoarseSteps steps = heldCoarseSteps(history);
    if (steps.bright.first >= 0 && proposal.level >= steps.bright.first && steps.bright.first - 1 > steps.dim.last)
        proposal.level = steps.bright.first - 1;
    else if (steps.dim.last >= 0 && proposal.level <= steps.dim.last && steps.dim.last + 1 < steps.bright.first)
        proposal.level = steps.dim.last + 1;
}

// The held brackets widened to the coarse steps they lie in, where frames show those steps; a saturated frame bounds
// the bright side as well.
FilterSearch::CoarseSteps FilterSearch::heldCoarseSteps(const std::vector<Frame> &history) const
{
    const Brackets held = heldBrackets(history);
    CoarseSteps steps{{held.dim, held.dim}, {held.bright, held.bright}};
    for (const Frame &frame : history) {
        if (frame.saturated && sameExposure(frame.exposure, settings.exposure) && frame.level < steps.bright.first)
            steps.bright = {frame.level, frame.level};
    }
    for (const Frame &frame : history) {
        if (!sameExposure(frame.exposure, settings.exposure) || frame.saturated || frame.figure < litFigure)
            continue;
        if (frame.level == held.dim) {
            if (const auto run = flatRunAround(frame, history))
                steps.dim = {held.dim, run->last};
        } else if (frame.level == held.bright) {
            if (const auto run = flatRunAround(frame, history))
                steps.bright = {run->first, held.bright};
        }
    }
    return steps;
}

// Where a step too dim and the next too bright meet at the held exposure, no level reaches the band: the dimmer
// level is kept and the exposure stretched to it.
void FilterSearch::splitCoarseStep(Plan &proposal, const std::vector<Frame> &history) const
{
    if (!sameExposure(proposal.exposure, settings.exposure))
        return;
    const Brackets held = heldBrackets(history);
    const CoarseSteps steps = heldCoarseSteps(history);
    if (steps.bright.first != steps.dim.last + 1 || held.dim < 0 || held.dimFigure < darkFigure)
        return;
    proposal.level = held.dim;
    proposal.exposure = std::clamp(settings.exposure * lengthenedTarget() / held.dimFigure, settings.minExposure,
        settings.maxExposure);
}

// A frame taken before at the same level and exposure would teach nothing new (the curve there stays flat, as it does
// below an unknown camera offset): the level steps one the way that frame points, or where the range ends or that
// level was taken too, the exposure moves to where that frame says the band lies. False when every way out was taken
// as well: no frame left can tell more.
bool FilterSearch::avoidCycle(Plan &proposal, const std::vector<Frame> &history) const
{
    const auto taken = [&](int level, double exposure) {
        return std::find_if(history.begin(), history.end(), [&](const Frame &frame) {
            return frame.level == level && sameExposure(frame.exposure, exposure);
        });
    };
    for (std::size_t tries = 0; tries <= history.size(); ++tries) {
        const auto frame = taken(proposal.level, proposal.exposure);
        if (frame == history.end())
            return true;
        const bool bright = tooBright(*frame);
        const int stepped = proposal.level + (bright ? -1 : 1);
        if (stepped >= box.darkZoneEnd() && stepped <= 255 && taken(stepped, proposal.exposure) == history.end()) {
            proposal.level = stepped;
            return true;
        }
        const double factor = bright ? 1.0 / saturatedFigure
                                     : std::min(saturatedFigure, settings.target / std::max(frame->figure, darkFigure));
        const double moved = std::clamp(frame->exposure * factor, settings.minExposure, settings.maxExposure);
        if (sameExposure(moved, proposal.exposure))
            return false; // at the exposure's limit with both neighbours taken: no frame can tell more
        proposal.exposure = moved;
    }
    return false;
}

double rateGuessDoubt(const std::string &filter, const std::map<std::string, double> &knownRates)
{
    double leastKnown = std::numeric_limits<double>::infinity();
    for (const auto &[name, knownRate] : knownRates) {
        if (knownRate > 0)
            leastKnown = std::min(leastKnown, typicalShare(name).doubt);
    }
    if (!std::isfinite(leastKnown))
        return 0;
    return std::hypot(typicalShare(filter).doubt, leastKnown);
}

double guessFullLevelRate(const std::string &filter, const std::map<std::string, double> &knownRates)
{
    double logSum = 0;
    int count = 0;
    for (const auto &[name, knownRate] : knownRates) {
        if (knownRate > 0) {
            logSum += std::log(knownRate / typicalShare(name).share);
            ++count;
        }
    }
    return count ? std::exp(logSum / count) * typicalShare(filter).share : 0.0;
}

} // namespace flatsearch
