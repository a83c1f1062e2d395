// Measuring a test frame: FITS read with cfitsio, the median of its centre as a fraction of full scale.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace flatframes {

struct Measurement
{
    bool ok = false;
    std::string error;          // why the frame could not be measured ("not a FITS file", "truncated", ...)
    double figure = 0;          // the brightest channel's median of the centre, 0..1 of full scale
    std::vector<double> channels; // one figure per colour channel (R, G, B for a Bayer frame), or one for mono
    bool saturated = false;     // the centre is clipped at full scale
    std::string filter;         // FILTER header, empty when absent
    double exposure = -1;       // EXPTIME (or EXPOSURE) header in seconds, -1 when absent
    std::string bayerPattern;   // "RGGB", ... when measured as a colour frame
    long width = 0;
    long height = 0;
    // Bands across the rows, as a rolling shutter shows a PWM-dimmed lamp: the standard deviation of the centre's row
    // means (row pairs of a colour frame) around their smooth course, what the frame's own pixel noise gives that
    // spread, and the spread against the most a flat may show (see `bandingAllowed`): above 1 the frame bands. All
    // fractions of full scale; 0 for a saturated frame.
    double rowSpread = 0;
    double rowNoise = 0;
    double banding = 0;
};

// The most row-to-row spread a flat may show: the larger of `bandingSignificance` times what its noise gives (so
// noise alone never reads as bands) and `bandingShare` of its level (so bands too faint to leave a mark in a
// calibrated light do not lengthen the exposure).
constexpr double bandingSignificance = 3.0;
constexpr double bandingShare = 0.002;
double bandingAllowed(double rowNoise, double level);

// The centre is the centred rectangle of half the width and half the height. Full scale is the data range the
// image's BITPIX and BZERO/BSCALE give (65535 for unsigned 16-bit), or 1 for float frames whose values lie in 0..1.
// `bayerPattern` (e.g. the camera's CFA property) overrides the frame's BAYERPAT header; empty uses the header.
Measurement measureFitsFile(const std::string &path, const std::string &bayerPattern = std::string());
Measurement measureFitsMemory(const void *data, std::size_t size, const std::string &bayerPattern = std::string());

// What a saved frame of the flat set says of itself, in its image's header.
struct FrameHeaders
{
    std::string imageType; // IMAGETYP: "Flat Field" or "Dark Frame"
    std::string filter;    // FILTER
    double exposure = 0;   // EXPTIME, seconds
    int lampLevel = 0;     // LAMPLVL: the light box's level, 0 with the lamp off
    std::string dateObs;   // DATE-OBS (UTC, "2026-12-01T21:04:05.123"), kept where the camera wrote its own
};

// Writes a camera's FITS frame to `path` with these headers in its image's header, every HDU copied as it came; the
// file appears only once complete (written under "PATH.part", then renamed). False, with `error`, for a frame that is
// not FITS or is truncated, or a file that cannot be written.
bool saveFitsFrame(const void *data, std::size_t size, const std::string &path, const FrameHeaders &headers,
    std::string &error);

} // namespace flatframes
