// A model of a light box in front of a camera: what a flat frame at a lamp level, exposure and filter looks like.
// It makes the frames of the tests, the benchmark and the project's INDI test camera. Plain C++ and cfitsio.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace flatmodel {

struct BoxModel
{
    int darkZoneEnd = 8; // the lowest level that gives light
    double gamma = 2.0;  // brightness rises as ((level - darkZoneEnd + 1) / (256 - darkZoneEnd)) ^ gamma
    // Measured curve: level -> relative brightness 0..1, interpolated linearly; overrides gamma when not empty.
    // Levels below darkZoneEnd stay dark either way.
    std::vector<std::pair<int, double>> measured;
    double fullRate = 0.25; // fraction of full scale per second at level 255 through a clear filter
    // A PWM-dimmed panel: the lamp is fully on for `duty` of each cycle of this frequency, off for the rest. 0: a
    // steady light. A camera with a rolling shutter (CameraModel::lineTime) sees each row lit for a different share
    // of its exposure, as bands.
    double pwmFrequency = 0;
    // The lamp's duty cycle, 0..1; 0: the level's brightness is the duty cycle (dimming by PWM alone).
    double pwmDuty = 0;
    // A PWM on a slow timer, coarse at the bottom of the range: below `coarseBelow` only every `coarseStep`th level
    // changes the light (a level gives the light of the multiple of `coarseStep` at or below it). 1: every level.
    int coarseStep = 1;
    int coarseBelow = 0;
    // The level from which the box stops brightening: every level above gives this one's light. 255: none.
    int plateauFrom = 255;

    // 0 in the dark zone, 1 at level 255 (less on a box whose light stops rising below it).
    double relativeBrightness(int level) const;
    // The lowest level that gives any light (the dark zone's end, or the first coarse step above it).
    int lowestLitLevel() const;
    // The share of each PWM cycle the lamp is on at a level (1 for a steady light).
    double dutyCycle(int level) const;
};

struct CameraModel
{
    long width = 640;
    long height = 480;
    int bitpix = 16;          // 8, 16 (unsigned, BZERO 32768), 32 (unsigned, BZERO 2147483648) or -32 (float 0..1)
    double noise = 0.004;     // standard deviation of the pixel noise, fraction of full scale
    double vignetting = 0.15; // light lost in the corners (fraction), falling off with the square of the radius
    double bias = 0.0;        // fraction of full scale every pixel reads without light
    std::string bayer;        // "" for mono, or "RGGB", "BGGR", "GRBG", "GBRG"
    double channelResponse[3] = {0.8, 1.0, 0.6}; // R, G, B of a colour camera
    // A rolling shutter: each row starts its exposure this many seconds after the one above it. 0: all rows at once.
    double lineTime = 0;
};

// Each row's light against the frame's average, 1 for every row under a steady light or a global shutter: a PWM
// lamp read by a rolling shutter lights each row for the lamp's on-time within that row's own exposure window. The
// first row starts at `phase` (0..1) of a PWM cycle.
std::vector<double> rowLight(const BoxModel &box, const CameraModel &camera, int level, double exposure,
    double phase);

// The share of a clear filter's light a filter passes: Luminance/L 1.0, Red/Green/Blue about 0.3, H-alpha about
// 0.015, H-beta 0.017, OIII 0.02, SII 0.012, anything unknown 1.0. Names as filterkind::classify reads them ("Ha",
// "Hα", "H_Alpha", "O3", "Rosso", ...).
double filterTransmission(const std::string &filter);

// The centre median the model gives (brightest channel of a colour camera), clipped at 1.0; without noise.
double expectedFigure(const BoxModel &box, const CameraModel &camera, const std::string &filter, int level,
    double exposure, bool lampOn = true);

// A whole FITS file in memory, with EXPTIME, FILTER, IMAGETYP = 'Flat Field', BAYERPAT for a colour camera.
// Empty when cfitsio fails.
std::vector<unsigned char> renderFits(const BoxModel &box, const CameraModel &camera, const std::string &filter,
    int level, double exposure, unsigned seed, bool lampOn = true);
bool writeFitsFile(const std::string &path, const BoxModel &box, const CameraModel &camera,
    const std::string &filter, int level, double exposure, unsigned seed, bool lampOn, std::string &error);

// Light boxes by name: "linear" (a PWM panel, light proportional to level), "gamma" (brightness as level squared),
// "measured-led" (the usual shape of an LED panel's measured response), "bright" (too bright even at its dimmest for
// 0.5 s through a clear filter), "dim" (narrowband filters out of reach within 60 s), "pwm-led" (the LED panel's
// response, dimmed by a slow PWM that bands a rolling shutter's frames at the usual flat exposures), "late-start"
// (light only from level 30, rising with a gamma of 2.4), "dark-40" (no light below level 40), "soft" (rising with
// the square root of the level), "steep" (a gamma of 3), "coarse-pwm" (only every 8th level changes the light below
// level 64), "coarse-bright" (bright, and only every 16th level changes the light below level 48: one step too dim,
// the next saturated), "plateau" (no brighter above level 170). Unknown names: the default.
BoxModel namedBox(const std::string &name);
std::vector<std::string> boxNames();

} // namespace flatmodel
