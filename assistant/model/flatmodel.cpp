#include "flatmodel.h"

#include "filterkind.h"

#include <fitsio.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>

namespace flatmodel {

namespace {

// The camera's light fall-off: 1 in the centre, 1 - vignetting in the corners.
double vignettingFactor(const CameraModel &camera, double x, double y)
{
    const double dx = (x - (camera.width - 1) / 2.0) / (camera.width / 2.0);
    const double dy = (y - (camera.height - 1) / 2.0) / (camera.height / 2.0);
    return 1.0 - camera.vignetting * (dx * dx + dy * dy) / 2.0;
}

// The median of the fall-off over the centred rectangle of half the width and height, which the measurement uses.
double centreVignettingMedian(const CameraModel &camera)
{
    std::vector<double> factors;
    const int steps = 64;
    for (int i = 0; i < steps; ++i) {
        for (int j = 0; j < steps; ++j) {
            const double x = camera.width / 4.0 + (i + 0.5) * camera.width / 2.0 / steps;
            const double y = camera.height / 4.0 + (j + 0.5) * camera.height / 2.0 / steps;
            factors.push_back(vignettingFactor(camera, x, y));
        }
    }
    std::nth_element(factors.begin(), factors.begin() + factors.size() / 2, factors.end());
    return factors[factors.size() / 2];
}

int channelAt(const std::string &bayer, long x, long y)
{
    const char colour = bayer[std::size_t((y % 2) * 2 + (x % 2))];
    return colour == 'R' ? 0 : colour == 'G' ? 1 : 2;
}

bool isColour(const CameraModel &camera)
{
    return camera.bayer.size() == 4;
}

// Light through the filter at the level, as a fraction of full scale, before the camera's own response.
double lightSignal(const BoxModel &box, const std::string &filter, int level, double exposure, bool lampOn)
{
    if (!lampOn)
        return 0;
    return box.fullRate * filterTransmission(filter) * box.relativeBrightness(level) * exposure;
}

double brightestResponse(const CameraModel &camera)
{
    if (!isColour(camera))
        return 1.0;
    return std::max({camera.channelResponse[0], camera.channelResponse[1], camera.channelResponse[2]});
}

struct PixelRange
{
    int imageType;
    int dataType;
    double fullScale;
};

PixelRange pixelRange(int bitpix)
{
    switch (bitpix) {
    case 8:
        return {BYTE_IMG, TBYTE, 255.0};
    case 32:
        return {ULONG_IMG, TUINT, 4294967295.0};
    case -32:
        return {FLOAT_IMG, TFLOAT, 1.0};
    default:
        return {USHORT_IMG, TUSHORT, 65535.0};
    }
}

template<typename T>
void fillPixels(std::vector<T> &pixels, const std::vector<double> &fractions, double fullScale, bool integer)
{
    pixels.resize(fractions.size());
    for (std::size_t i = 0; i < fractions.size(); ++i) {
        const double value = std::clamp(fractions[i], 0.0, 1.0) * fullScale;
        pixels[i] = T(integer ? std::round(value) : value);
    }
}

bool flickers(const BoxModel &box, int level)
{
    return box.pwmFrequency > 0 && box.dutyCycle(level) < 1;
}

// The lamp's on-time from the start of the first PWM cycle to `time`, in seconds.
double onTimeUntil(double time, double period, double duty)
{
    const double cycles = std::floor(time / period);
    return cycles * duty * period + std::min(time - cycles * period, duty * period);
}

// Where in its PWM cycle the lamp is when the frame's first row starts: a frame's own, from its seed (a generator
// of its own, so that the pixel noise of every frame stays as it was without PWM).
double framePhase(unsigned seed)
{
    std::mt19937 random(seed ^ 0x9e3779b9u);
    return std::uniform_real_distribution<double>(0.0, 1.0)(random);
}

// Each pixel's value as a fraction of full scale, clipped at 0 and 1: light, fall-off, colour, bias and noise.
std::vector<double> pixelFractions(const BoxModel &box, const CameraModel &camera, const std::string &filter,
    int level, double exposure, unsigned seed, bool lampOn)
{
    const double light = lightSignal(box, filter, level, exposure, lampOn);
    const std::vector<double> rows = flickers(box, level) ? rowLight(box, camera, level, exposure, framePhase(seed))
                                                          : std::vector<double>(std::size_t(camera.height), 1.0);
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, camera.noise);
    std::vector<double> fractions(std::size_t(camera.width * camera.height));
    for (long y = 0; y < camera.height; ++y) {
        for (long x = 0; x < camera.width; ++x) {
            const double response = isColour(camera) ? camera.channelResponse[channelAt(camera.bayer, x, y)] : 1.0;
            double value = camera.bias + light * rows[std::size_t(y)] * response * vignettingFactor(camera, x, y);
            if (camera.noise > 0)
                value += noise(random);
            fractions[std::size_t(y * camera.width + x)] = std::clamp(value, 0.0, 1.0);
        }
    }
    return fractions;
}

bool writeImage(fitsfile *file, const CameraModel &camera, const std::vector<double> &fractions, int &status)
{
    const PixelRange range = pixelRange(camera.bitpix);
    long axes[2] = {camera.width, camera.height};
    fits_create_img(file, range.imageType, 2, axes, &status);
    const LONGLONG count = LONGLONG(fractions.size());
    if (range.dataType == TBYTE) {
        std::vector<unsigned char> pixels;
        fillPixels(pixels, fractions, range.fullScale, true);
        fits_write_img(file, TBYTE, 1, count, pixels.data(), &status);
    } else if (range.dataType == TUSHORT) {
        std::vector<unsigned short> pixels;
        fillPixels(pixels, fractions, range.fullScale, true);
        fits_write_img(file, TUSHORT, 1, count, pixels.data(), &status);
    } else if (range.dataType == TUINT) {
        std::vector<unsigned int> pixels;
        fillPixels(pixels, fractions, range.fullScale, true);
        fits_write_img(file, TUINT, 1, count, pixels.data(), &status);
    } else {
        std::vector<float> pixels;
        fillPixels(pixels, fractions, range.fullScale, false);
        fits_write_img(file, TFLOAT, 1, count, pixels.data(), &status);
    }
    return status == 0;
}

void writeHeaders(fitsfile *file, const CameraModel &camera, const std::string &filter, double exposure, int &status)
{
    fits_update_key(file, TDOUBLE, "EXPTIME", &exposure, "Exposure time in seconds", &status);
    std::string filterName = filter;
    fits_update_key(file, TSTRING, "FILTER", filterName.data(), "Filter", &status);
    char frameType[] = "Flat Field";
    fits_update_key(file, TSTRING, "IMAGETYP", frameType, "Frame type", &status);
    if (isColour(camera)) {
        std::string pattern = camera.bayer;
        int offset = 0;
        fits_update_key(file, TSTRING, "BAYERPAT", pattern.data(), "Colour filter array", &status);
        fits_update_key(file, TINT, "XBAYROFF", &offset, "Bayer pattern X offset", &status);
        fits_update_key(file, TINT, "YBAYROFF", &offset, "Bayer pattern Y offset", &status);
    }
}

bool renderInto(fitsfile *file, const BoxModel &box, const CameraModel &camera, const std::string &filter, int level,
    double exposure, unsigned seed, bool lampOn, int &status)
{
    const std::vector<double> fractions = pixelFractions(box, camera, filter, level, exposure, seed, lampOn);
    if (writeImage(file, camera, fractions, status))
        writeHeaders(file, camera, filter, exposure, status);
    return status == 0;
}

std::string fitsError(int status)
{
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(status, text);
    return text;
}

} // namespace

double BoxModel::relativeBrightness(int level) const
{
    level = std::clamp(level, 0, std::clamp(plateauFrom, 0, 255));
    if (coarseStep > 1 && level < coarseBelow)
        level -= level % coarseStep;
    if (level < darkZoneEnd)
        return 0;
    if (measured.empty()) {
        const double span = 256.0 - darkZoneEnd;
        return std::pow((level - darkZoneEnd + 1) / span, gamma);
    }
    if (level <= measured.front().first)
        return measured.front().second;
    for (std::size_t i = 1; i < measured.size(); ++i) {
        const auto &[highLevel, highValue] = measured[i];
        if (level <= highLevel) {
            const auto &[lowLevel, lowValue] = measured[i - 1];
            const double share = double(level - lowLevel) / double(highLevel - lowLevel);
            return lowValue + share * (highValue - lowValue);
        }
    }
    return measured.back().second;
}

int BoxModel::lowestLitLevel() const
{
    int level = 0;
    while (level < 255 && relativeBrightness(level) <= 0)
        ++level;
    return level;
}

double BoxModel::dutyCycle(int level) const
{
    if (pwmFrequency <= 0)
        return 1;
    return std::clamp(pwmDuty > 0 ? pwmDuty : relativeBrightness(level), 0.0, 1.0);
}

std::vector<double> rowLight(const BoxModel &box, const CameraModel &camera, int level, double exposure,
    double phase)
{
    std::vector<double> rows(std::size_t(std::max(0L, camera.height)), 1.0);
    const double duty = box.dutyCycle(level);
    if (!flickers(box, level) || duty <= 0 || exposure <= 0)
        return rows;
    const double period = 1.0 / box.pwmFrequency;
    const double average = duty * exposure;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        const double start = phase * period + double(row) * camera.lineTime;
        rows[row] = (onTimeUntil(start + exposure, period, duty) - onTimeUntil(start, period, duty)) / average;
    }
    return rows;
}

double filterTransmission(const std::string &filter)
{
    switch (filterkind::classify(filter).band) {
    case filterkind::Band::HAlpha:
        return 0.015;
    case filterkind::Band::HBeta:
        return 0.017; // a 5 nm pass band of the visible band's 300 nm
    case filterkind::Band::OIII:
        return 0.02;
    case filterkind::Band::SII:
        return 0.012;
    case filterkind::Band::Red:
        return 0.30;
    case filterkind::Band::Green:
        return 0.33;
    case filterkind::Band::Blue:
        return 0.27;
    default:
        return 1.0;
    }
}

double expectedFigure(const BoxModel &box, const CameraModel &camera, const std::string &filter, int level,
    double exposure, bool lampOn)
{
    const double light = lightSignal(box, filter, level, exposure, lampOn);
    const double figure = camera.bias + light * brightestResponse(camera) * centreVignettingMedian(camera);
    return std::min(figure, 1.0);
}

std::vector<unsigned char> renderFits(const BoxModel &box, const CameraModel &camera, const std::string &filter,
    int level, double exposure, unsigned seed, bool lampOn)
{
    std::size_t memorySize = 2880 * 16;
    void *memory = std::malloc(memorySize);
    fitsfile *file = nullptr;
    int status = 0;
    fits_create_memfile(&file, &memory, &memorySize, 2880 * 64, std::realloc, &status);
    LONGLONG headerStart = 0, dataStart = 0, dataEnd = 0;
    if (status == 0 && renderInto(file, box, camera, filter, level, exposure, seed, lampOn, status))
        fits_get_hduaddrll(file, &headerStart, &dataStart, &dataEnd, &status);
    const bool written = status == 0;
    if (file)
        fits_close_file(file, &status);
    std::vector<unsigned char> bytes;
    if (written && status == 0) {
        const std::size_t fileSize = std::size_t((dataEnd + 2879) / 2880 * 2880);
        const auto *begin = static_cast<unsigned char *>(memory);
        bytes.assign(begin, begin + std::min(fileSize, memorySize));
    }
    std::free(memory);
    return bytes;
}

bool writeFitsFile(const std::string &path, const BoxModel &box, const CameraModel &camera,
    const std::string &filter, int level, double exposure, unsigned seed, bool lampOn, std::string &error)
{
    fitsfile *file = nullptr;
    int status = 0;
    const std::string overwrite = "!" + path;
    fits_create_file(&file, overwrite.c_str(), &status);
    if (status == 0)
        renderInto(file, box, camera, filter, level, exposure, seed, lampOn, status);
    const int writeStatus = status;
    if (file)
        fits_close_file(file, &status);
    const int failure = writeStatus ? writeStatus : status;
    if (failure)
        error = path + ": " + fitsError(failure);
    return failure == 0;
}

BoxModel namedBox(const std::string &name)
{
    BoxModel box;
    if (name == "linear") {
        box.darkZoneEnd = 1;
        box.gamma = 1.0;
        box.fullRate = 0.6;
    } else if (name == "gamma") {
        box.darkZoneEnd = 4;
        box.gamma = 2.2;
        box.fullRate = 1.5;
    } else if (name == "measured-led") {
        // Modelled on the usual shape of a PWM-dimmed LED panel's measured response, not on any one panel's data:
        // no light below a few percent of the range, a steep rise just above it, then a gently flattening slope.
        box.darkZoneEnd = 6;
        box.measured = {{6, 0.004}, {8, 0.015}, {12, 0.04}, {16, 0.065}, {24, 0.11}, {32, 0.155}, {48, 0.24},
            {64, 0.32}, {96, 0.47}, {128, 0.6}, {160, 0.72}, {192, 0.82}, {224, 0.915}, {255, 1.0}};
        box.fullRate = 2.0;
    } else if (name == "bright") {
        box.darkZoneEnd = 3;
        box.gamma = 1.0;
        box.fullRate = 300.0;
    } else if (name == "dim") {
        box.darkZoneEnd = 8;
        box.gamma = 1.6;
        box.fullRate = 0.05;
    } else if (name == "pwm-led") {
        // A slow PWM: a rolling shutter's frames band below about 3 s at the level that gives half of full scale.
        box = namedBox("measured-led");
        box.pwmFrequency = 71.3;
    } else if (name == "late-start") {
        box.darkZoneEnd = 30;
        box.gamma = 2.4;
        box.fullRate = 1.0;
    } else if (name == "dark-40") {
        box.darkZoneEnd = 40;
        box.gamma = 1.6;
        box.fullRate = 0.8;
    } else if (name == "soft") {
        box.darkZoneEnd = 2;
        box.gamma = 0.5;
        box.fullRate = 0.4;
    } else if (name == "steep") {
        box.darkZoneEnd = 12;
        box.gamma = 3.0;
        box.fullRate = 3.0;
    } else if (name == "coarse-pwm") {
        box.darkZoneEnd = 1;
        box.gamma = 1.0;
        box.fullRate = 4.0;
        box.coarseStep = 8;
        box.coarseBelow = 64;
    } else if (name == "coarse-bright") {
        // Bright through a clear filter and coarse at the bottom: at 2 s the step of levels 32-47 is too dim and the
        // one from 48 saturates.
        box.darkZoneEnd = 28;
        box.gamma = 1.4;
        box.fullRate = 42.0;
        box.coarseStep = 16;
        box.coarseBelow = 48;
    } else if (name == "plateau") {
        box.darkZoneEnd = 10;
        box.gamma = 1.8;
        box.fullRate = 0.7;
        box.plateauFrom = 170;
    }
    return box;
}

std::vector<std::string> boxNames()
{
    return {"linear", "gamma", "measured-led", "bright", "dim", "pwm-led", "late-start", "dark-40", "soft", "steep",
        "coarse-pwm", "coarse-bright", "plateau"};
}

} // namespace flatmodel
