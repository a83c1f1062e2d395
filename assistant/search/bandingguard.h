// The banding guard: a PWM-dimmed panel read by a rolling shutter bands the frame at short exposures. A frame that
// bands is a finding, not a measurement: it is never a result, and it raises the shortest exposure the search may
// use above the exposure its bands say they would need to fade, with the level lowered to hold the target. Plain C++.
#pragma once

#include "flatsearch.h"

#include <optional>
#include <vector>

namespace flatsearch {

// Whether a frame bands: its banding figure (the row means' spread against the most a flat may show) is above 1.
bool bands(const Frame &frame);

// The search for one filter behind the guard: FilterSearch with its exposure held no shorter than the banding
// allows.
class GuardedSearch
{
public:
    // `knownBandingBelow`: the exposure below which this box and camera banded in an earlier filter (0: none known).
    GuardedSearch(const Settings &settings, const ResponseCurve &box, double fullLevelRate = 0,
        double knownBandingBelow = 0);

    Step next(const std::vector<Frame> &history);

    const ResponseCurve &curve() const;
    double fullLevelRate() const;
    // The exposure below which frames band, as the banded frames estimate it (bands fade as 1 / exposure); 0 while
    // none is known.
    double bandingBelow() const;

    // A frame's bands tell the exposure they would fade at only roughly (it depends on where in the lamp's cycle the
    // exposure ends): the next frame goes a tenth beyond it.
    static constexpr double bandingMargin = 1.1;
    // A frame that barely bands still lengthens the exposure by a step that shows a difference.
    static constexpr double bandingGrowth = 1.25;

private:
    double exposureFloor(const std::vector<Frame> &history);
    Settings guarded(double floor) const;
    int levelFor(double exposure) const;

    Settings settings;
    ResponseCurve startBox;
    double startRate = 0;
    double knownBelow = 0;
    double below = 0;
    std::optional<FilterSearch> search;
};

// An exposure rounded up to two significant digits, so that the flats, their table line and their flat-darks share
// one exposure as it is written.
double roundedUpExposure(double seconds);

} // namespace flatsearch
