// The search for a filter's flat: which lamp level (and, where no level will do, which exposure) gives a frame whose
// figure lies in the target band. Plain C++: it knows nothing of INDI, files, Qt or the frames themselves.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace flatsearch {

// One test frame as the search sees it.
struct Frame
{
    int level = 0;          // the lamp level it was taken at, 0..255
    double exposure = 0;    // seconds
    double figure = 0;      // median of the frame's centre as a fraction of full scale (brightest colour channel)
    bool saturated = false; // the centre is clipped: counts as "far too bright", not as a measurement
    double banding = 0;     // the row means' spread against the most a flat may show: above 1 it bands (bandingguard.h)
};

struct Settings
{
    double exposure = 2;     // the flat exposure the user asked for; held unless no level can reach the target
    double minExposure = 0.5; // the shortest exposure (the banding guard may raise it: bandingguard.h)
    double maxExposure = 60;
    double target = 0.5;     // fraction of full scale
    double tolerance = 0.05; // relative to target: 0.5 and 0.05 accept 0.475..0.525
    // The figure a frame without light reads (the camera's offset), when known: light is what lies above it. Left
    // at 0, the search still reads an offset from frames whose figure does not follow a longer exposure.
    double bias = 0;
    // The filter's name, when known: its kind (filterkind::classify) says where a box nothing is known of most likely
    // puts the band, and so where the first frame goes (a narrowband filter's band mostly lies at or beyond 255).
    std::string filter;
    // How far the filter's rate passed to the search may be off, as a natural-log factor (0.1: about a tenth); see
    // rateGuessDoubt. 0 when not known: the filter's first measured frame then takes its rate from the curve alone.
    double rateDoubt = 0;
};

// A light box's response: relative brightness against level, learned from frames, with the dark zone at the bottom
// (levels that give no light) and a non-linear rise. One per light box; it outlives a run (see CurveStore).
class ResponseCurve
{
public:
    // Whether any frame has taught the curve something.
    bool known() const;
    // The lowest level that gives light (0 while nothing is known of the dark zone).
    int darkZoneEnd() const;
    // Relative brightness at a level: 0 in the dark zone, about 1 at level 255 (exactly 1 on a box nothing is known
    // of). Between learned points it follows a power law of (level - darkZoneEnd + 1); beyond them the nearest
    // learned slope, or the first guess's exponent.
    double brightness(int level) const;
    // The lowest level whose brightness reaches `relative` (0..1); -1 when even 255 does not.
    int levelFor(double relative) const;
    // The learned points (level, relative brightness), for plotting.
    std::vector<std::pair<int, double>> points() const;

    // The power law's exponent the learned points show at and below a level (from the highest point there and one far
    // enough below it); the first guess's where they show none.
    double slopeBelow(int level) const;
    // How far brightness(level) may be off, as a natural-log factor: little at a learned level, more between learned
    // levels far apart, and growing with the distance beyond the outermost ones.
    double doubt(int level) const;

    // A text form of the curve, and back; nullopt for text that is not one.
    std::string serialize() const;
    static std::optional<ResponseCurve> parse(const std::string &text);

    // Takes in what a frame says of the box, given the filter's light at full level (figure per second at 255):
    // a frame reading no light marks the dark zone, a saturated frame says nothing, any other adds a point.
    void learn(const Frame &frame, double fullLevelRate);

    // A frame at `level` gave no light: the dark zone reaches at least that far.
    void markDark(int level);
    // A frame at `level` gave light: the dark zone ends at or below it.
    void markLight(int level);
    // A learned point; points it contradicts (brighter below it, dimmer above it) are dropped.
    void addPoint(int level, double relative);

    // The exponent of the first guess: brightness = ((level - darkZoneEnd + 1) / (256 - darkZoneEnd)) ^ exponent.
    static constexpr double priorExponent = 2.0;

private:
    double extrapolationExponent(bool above) const;
    double x(int level) const;

    std::map<int, double> learned; // level -> relative brightness
    int darkEnd = 0;
};

enum class Verdict {
    Next,       // take a frame at `level` and `exposure`
    Done,       // the last frame is in the band: `level` and `exposure` are the result
    Unreachable // no level between the dark zone's end and 255 reaches the band within the exposure limits (shown
                // by a frame at 255 and the longest exposure, or at the dark zone's end and the shortest), or the
                // search gave up: after `FilterSearch::maxFrames` frames, or with every frame it could propose taken
                // before
};

struct Step
{
    Verdict verdict = Verdict::Next;
    int level = 0;
    double exposure = 0;
};

// The search for one filter. `box` is what is known of the light box (perhaps nothing); `fullLevelRate` is a guess of
// the filter's figure per second at level 255 (0 when there is none, e.g. a filter never seen with this box).
class FilterSearch
{
public:
    FilterSearch(const Settings &settings, const ResponseCurve &box, double fullLevelRate = 0);

    // The next frame to take, or the verdict, from every frame of this filter so far (oldest first). The same level
    // is never proposed twice in a row at the same exposure.
    Step next(const std::vector<Frame> &history);

    // What the frames have taught: the box's curve (to store and hand to the next filter) and this filter's rate.
    const ResponseCurve &curve() const;
    double fullLevelRate() const;
    // The figure the search expects at a level and exposure, for plotting the learned curve (0 while the filter's
    // rate is not known).
    double predictedFigure(int level, double exposure) const;

    // A frame whose figure (above the camera's offset) lies below this shows no light.
    static constexpr double darkFigure = 0.005;
    static constexpr int maxFrames = 20;
    // The level of the first frame on a box nothing is known of, with no guess of the filter's rate: low enough that
    // most bright filters do not saturate there, high enough above dark zones of up to 40 levels and steep rises that
    // a dim filter still shows light. A colour filter passes a third of the light and starts higher. (Tried from 30
    // to 128 on the benchmark's random boxes: these put the most first filters within three frames while the later
    // filters of the LED curve keep to two.)
    static constexpr int firstLevel = 48;
    static constexpr int colourFirstLevel = 72;
    // Above this level, the second frame on a new box goes to 255 (see reachForTop).
    static constexpr int topJumpLevel = 160;
    // The steepness a light box's response may have, as the exponent of its power law: the boxes this search is
    // built for rise between the square root and the cube of the level; a little beyond either end leaves room for
    // noise. A slope outside it is not the box's.
    static constexpr std::pair<double, double> plausibleExponent{0.3, 4.0};

private:
    struct Plan
    {
        int level = 0;
        double exposure = 0;
    };
    struct Brackets
    {
        int dim = -1;      // no level measured too dim
        double dimFigure = 0;
        int bright = 256;  // no level measured too bright
    };
    Brackets heldBrackets(const std::vector<Frame> &history) const;
    Step search(const std::vector<Frame> &history);
    double frameOffset(const std::vector<Frame> &history) const;
    void replay(const std::vector<Frame> &history);
    void takeDarkFrame(const Frame &frame, double knownRate);
    void takeMeasuredFrame(const Frame &frame);
    double firstFrameRate(const Frame &frame) const;
    double assumedRate(const std::vector<Frame> &history, double guess) const;
    std::optional<Step> unreachable(const std::vector<Frame> &history) const;
    Plan plan(double filterRate, const std::vector<Frame> &history) const;
    Plan firstPlan() const;
    bool startNarrowbandAtTop() const;
    void reachForTop(Plan &proposal, const std::vector<Frame> &history) const;
    void aimSteepestBelowBand(Plan &proposal, const Frame &first) const;
    // The steepest rise of the boxes this search is built for, as the exponent of its power law (a cube).
    static constexpr double steepestBoxExponent = 3.0;
    // A first frame above a tenth of the target mostly lies on a gentle rise whose band is at or beyond 255 (a colour
    // filter on a linear box reads a fifth of it at level 72): only a dimmer one is aimed on the steepest rise. (Tried
    // 6, 10 and 15 on the benchmark's random boxes: 6 and 10 do as well, 15 loses the steep boxes.)
    static constexpr double dimFirstFrameRatio = 10.0;
    int nearestLevel(double relative) const;
    bool closeCall(double predicted) const;
    double lengthenedTarget() const;
    double x(int level) const;
    static bool measuredAt(const std::vector<Frame> &history, int level);
    void aimBelowSaturation(Plan &plan, const std::vector<Frame> &history) const;
    void keepBelowSaturation(Plan &plan, const std::vector<Frame> &history) const;
    std::optional<Frame> plateauSeen(const std::vector<Frame> &history) const;
    void aimBelowPlateau(Plan &plan, const std::vector<Frame> &history) const;
    void followOwnFrames(Plan &plan, const std::vector<Frame> &history) const;
    bool nearBand(const Frame &frame) const;
    double offsetOnExposureLine(const Frame &shorter, const Frame &longer) const;
    bool figureStaysPut(const Frame &shorter, const Frame &longer) const;
    // Two frames tell the camera's offset only when their exposures differ by half again or more: closer, noise
    // dominates the difference.
    static constexpr double offsetPairExposureRatio = 1.5;
    struct CoarseStep
    {
        int first = -1; // the levels of one step, all giving the same light
        int last = -1;
    };
    struct CoarseSteps
    {
        CoarseStep dim;    // the step of the highest level too dim at the held exposure (first = last = -1: none)
        CoarseStep bright; // the step of the lowest too bright (256: none)
    };
    std::optional<CoarseStep> flatRunAround(const Frame &frame, const std::vector<Frame> &history) const;
    CoarseSteps heldCoarseSteps(const std::vector<Frame> &history) const;
    void stepPastFlatRun(Plan &plan, const std::vector<Frame> &history) const;
    void splitCoarseStep(Plan &plan, const std::vector<Frame> &history) const;
    bool avoidCycle(Plan &plan, const std::vector<Frame> &history) const;
    int highestTooDim(const std::vector<Frame> &history, int below, double exposure) const;
    bool inBand(double figure) const;
    bool tooDim(const Frame &frame) const;
    bool tooBright(const Frame &frame) const;

    Settings asked;    // as the caller gave them
    Settings settings; // as the search works: figures and target above the camera's offset, told or found
    ResponseCurve startBox;
    double startRate = 0;
    ResponseCurve box;
    double rate = 0;
    bool rateMeasured = false; // `rate` comes from a frame of this search, not from the caller's guess
};

// A guess of a filter's figure per second at level 255 from the rates other filters showed with the same box and
// camera (filter name -> rate), scaled by the usual share of light each kind of filter passes (luminance and clear
// 1, red, green, blue a third, narrowband a fiftieth). 0 when no rate is known.
double guessFullLevelRate(const std::string &filter, const std::map<std::string, double> &knownRates);
// How far that guess may be off, as a natural-log factor: the shares of light filters of one kind pass differ by about
// a tenth among clear, luminance and colour filters and by half among narrowband filters. 0 when no rate is known.
double rateGuessDoubt(const std::string &filter, const std::map<std::string, double> &knownRates);
// How far a rate a filter showed before with the same box and camera may be off: by its frames' noise only.
constexpr double ownRateDoubt = 0.05;

} // namespace flatsearch
