#include "fitsframe.h"

#include <fitsio.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <cmath>
#include <limits>
#include <type_traits>

namespace flatframes {

namespace {

// A frame whose brightest channel's centre median reaches this share of full scale is saturated, as is one where
// more than `clippedShare` of a channel's centre pixels sit at full scale.
constexpr double saturatedMedian = 0.98;
constexpr double clippedShare = 0.02;

struct Centre
{
    long x0 = 0; // first column and row, counted from 0
    long y0 = 0;
    long width = 0;
    long height = 0;
};

struct Layout
{
    Centre centre;
    std::string bayer; // empty for mono
    int xOffset = 0;
    int yOffset = 0;

    int channelOf(long x, long y) const
    {
        const char colour = bayer[std::size_t(((y + yOffset) % 2) * 2 + (x + xOffset) % 2)];
        return colour == 'R' ? 0 : colour == 'G' ? 1 : 2;
    }
    int channelCount() const { return bayer.empty() ? 1 : 3; }
};

struct ChannelFigures
{
    std::vector<double> medians; // in data units
    std::vector<double> clipped; // share of pixels at full scale
};

std::string cfitsioText(int status)
{
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(status, text);
    return text;
}

std::string upperCase(std::string text)
{
    for (char &c : text)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool validPattern(const std::string &pattern)
{
    static const std::array<const char *, 4> known = {"RGGB", "BGGR", "GRBG", "GBRG"};
    return std::find(known.begin(), known.end(), pattern) != known.end();
}

std::string readText(fitsfile *file, const char *key)
{
    char value[FLEN_VALUE] = {};
    int status = 0;
    fits_read_key(file, TSTRING, key, value, nullptr, &status);
    return status == 0 ? std::string(value) : std::string();
}

double readNumber(fitsfile *file, const char *key, double otherwise)
{
    double value = otherwise;
    int status = 0;
    fits_read_key(file, TDOUBLE, key, &value, nullptr, &status);
    return status == 0 ? value : otherwise;
}

// Moves to the first HDU with a two-dimensional image (a compressed image sits in an extension).
bool findImage(fitsfile *file, long &width, long &height, int &status)
{
    for (int hdu = 1; status == 0; ++hdu) {
        int type = 0, bitpix = 0, axisCount = 0;
        long axes[3] = {0, 0, 0};
        fits_get_hdu_type(file, &type, &status);
        if (status == 0 && type == IMAGE_HDU)
            fits_get_img_param(file, 3, &bitpix, &axisCount, axes, &status);
        if (status == 0 && type == IMAGE_HDU && axisCount >= 2 && axes[0] > 0 && axes[1] > 0) {
            width = axes[0];
            height = axes[1];
            return true;
        }
        fits_movrel_hdu(file, 1, nullptr, &status);
    }
    return false;
}

Centre centreOf(long width, long height)
{
    Centre centre;
    centre.width = std::max(1L, width / 2);
    centre.height = std::max(1L, height / 2);
    centre.x0 = (width - centre.width) / 2;
    centre.y0 = (height - centre.height) / 2;
    return centre;
}

template<typename T>
bool readCentre(fitsfile *file, int dataType, const Centre &centre, std::vector<T> &pixels, int &status)
{
    long first[2] = {centre.x0 + 1, centre.y0 + 1};
    long last[2] = {centre.x0 + centre.width, centre.y0 + centre.height};
    long step[2] = {1, 1};
    pixels.resize(std::size_t(centre.width * centre.height));
    int anyNull = 0;
    fits_read_subset(file, dataType, first, last, step, nullptr, pixels.data(), &anyNull, &status);
    return status == 0;
}

// Integer data of up to 16 bits: a histogram per channel instead of a sort. `offset` shifts signed values to 0.
template<typename T>
ChannelFigures histogramFigures(const std::vector<T> &pixels, const Layout &layout, long offset, double fullScale)
{
    const std::size_t bins = sizeof(T) == 1 ? 256 : 65536;
    std::vector<std::vector<std::uint32_t>> histograms(std::size_t(layout.channelCount()),
        std::vector<std::uint32_t>(bins, 0));
    const Centre &c = layout.centre;
    for (long row = 0; row < c.height; ++row) {
        const T *line = pixels.data() + row * c.width;
        if (layout.bayer.empty()) {
            auto &histogram = histograms[0];
            for (long column = 0; column < c.width; ++column)
                ++histogram[std::size_t(long(line[column]) + offset)];
        } else {
            for (long column = 0; column < c.width; ++column)
                ++histograms[std::size_t(layout.channelOf(c.x0 + column, c.y0 + row))][std::size_t(long(line[column]) + offset)];
        }
    }
    ChannelFigures figures;
    const std::size_t fullBin = std::size_t(std::clamp(long(std::lround(fullScale)) + offset, 0L, long(bins) - 1));
    for (const auto &histogram : histograms) {
        std::uint64_t total = 0;
        for (auto count : histogram)
            total += count;
        const std::uint64_t middle = total ? (total - 1) / 2 : 0;
        std::uint64_t seen = 0;
        std::size_t bin = 0;
        for (; bin < bins; ++bin) {
            seen += histogram[bin];
            if (seen > middle)
                break;
        }
        std::uint64_t clipped = 0;
        for (std::size_t high = fullBin; high < bins; ++high)
            clipped += histogram[high];
        figures.medians.push_back(double(long(bin) - offset));
        figures.clipped.push_back(total ? double(clipped) / double(total) : 0.0);
    }
    return figures;
}

ChannelFigures sortedFigures(const std::vector<double> &pixels, const Layout &layout, double fullScale)
{
    std::vector<std::vector<double>> channels(std::size_t(layout.channelCount()));
    const Centre &c = layout.centre;
    for (long row = 0; row < c.height; ++row) {
        for (long column = 0; column < c.width; ++column) {
            const double value = pixels[std::size_t(row * c.width + column)];
            if (std::isnan(value))
                continue;
            const int channel = layout.bayer.empty() ? 0 : layout.channelOf(c.x0 + column, c.y0 + row);
            channels[std::size_t(channel)].push_back(value);
        }
    }
    ChannelFigures figures;
    for (auto &values : channels) {
        if (values.empty()) {
            figures.medians.push_back(0);
            figures.clipped.push_back(0);
            continue;
        }
        const auto clipped = std::count_if(values.begin(), values.end(),
            [fullScale](double v) { return v >= fullScale * (1 - 1e-6); });
        auto middle = values.begin() + std::ptrdiff_t((values.size() - 1) / 2);
        std::nth_element(values.begin(), middle, values.end());
        figures.medians.push_back(*middle);
        figures.clipped.push_back(double(clipped) / double(values.size()));
    }
    return figures;
}

// Fewer row means than this give no reliable smooth course to measure bands against.
constexpr long bandingRowsNeeded = 8;
// The pixel noise is read from this many neighbour differences at most, spread over the centre's rows.
constexpr std::size_t noiseSamples = 1 << 18; // the median then lies within 0.3 % of the noise

struct RowFigures
{
    std::vector<double> means; // per row (row pair of a colour frame), fraction of full scale
    double pixelNoise = 0;     // standard deviation of one pixel, fraction of full scale
    long pixelsPerMean = 0;
};

// The pixel noise from differences of horizontal neighbours of the same colour, which the light's slow course
// leaves out: the median absolute difference is 0.6745 * sqrt(2) standard deviations.
template<typename T>
double pixelNoise(const std::vector<T> &pixels, const Centre &c, long step)
{
    const std::size_t perRow = std::size_t(std::max(0L, c.width - step));
    if (perRow == 0)
        return 0;
    const long rowStride = std::max(1L, long(perRow * std::size_t(c.height) / noiseSamples));
    std::vector<double> differences;
    differences.reserve(std::min(noiseSamples + perRow, perRow * std::size_t(c.height)));
    for (long row = 0; row < c.height; row += rowStride) {
        const T *line = pixels.data() + row * c.width;
        for (long column = 0; column + step < c.width; ++column) {
            const double difference = std::abs(double(line[column + step]) - double(line[column]));
            if (!std::isnan(difference))
                differences.push_back(difference);
        }
    }
    if (differences.empty())
        return 0;
    auto middle = differences.begin() + std::ptrdiff_t(differences.size() / 2);
    std::nth_element(differences.begin(), middle, differences.end());
    return *middle / (0.6745 * std::sqrt(2.0));
}

template<typename T>
RowFigures rowFigures(const std::vector<T> &pixels, const Layout &layout, double fullScale)
{
    const Centre &c = layout.centre;
    const long rowsPerMean = layout.bayer.empty() ? 1 : 2; // a colour frame's row pair holds every colour alike
    RowFigures figures;
    figures.pixelsPerMean = rowsPerMean * c.width;
    for (long first = 0; first + rowsPerMean <= c.height; first += rowsPerMean) {
        double sum = 0;
        long count = 0;
        for (long row = first; row < first + rowsPerMean; ++row) {
            const T *line = pixels.data() + row * c.width;
            if constexpr (std::is_integral_v<T>) {
                long long integers = 0;
                for (long column = 0; column < c.width; ++column)
                    integers += line[column];
                sum += double(integers);
                count += c.width;
                continue;
            }
            for (long column = 0; column < c.width; ++column) {
                if (std::isnan(double(line[column])))
                    continue;
                sum += double(line[column]);
                ++count;
            }
        }
        if (count > 0)
            figures.means.push_back(sum / double(count) / fullScale);
    }
    figures.pixelNoise = pixelNoise(pixels, c, layout.bayer.empty() ? 1 : 2) / fullScale;
    return figures;
}

// The standard deviation of values around the parabola fitted through them (least squares): the light's smooth
// course down the frame (vignetting, a panel brighter at one edge) is not banding.
double spreadAroundParabola(const std::vector<double> &values)
{
    const std::size_t n = values.size();
    const double half = std::max(1.0, (double(n) - 1) / 2);
    // Normal equations for a + b x + c x^2, x in -1..1.
    double s[5] = {0, 0, 0, 0, 0};
    double t[3] = {0, 0, 0};
    for (std::size_t i = 0; i < n; ++i) {
        const double x = (double(i) - (double(n) - 1) / 2) / half;
        double power = 1;
        for (int k = 0; k < 5; ++k, power *= x) {
            s[k] += power;
            if (k < 3)
                t[k] += power * values[i];
        }
    }
    double m[3][4] = {{s[0], s[1], s[2], t[0]}, {s[1], s[2], s[3], t[1]}, {s[2], s[3], s[4], t[2]}};
    for (int pivot = 0; pivot < 3; ++pivot) {
        for (int row = pivot + 1; row < 3; ++row) {
            const double factor = m[row][pivot] / m[pivot][pivot];
            for (int column = pivot; column < 4; ++column)
                m[row][column] -= factor * m[pivot][column];
        }
    }
    double coefficient[3] = {0, 0, 0};
    for (int row = 2; row >= 0; --row) {
        double rest = m[row][3];
        for (int column = row + 1; column < 3; ++column)
            rest -= m[row][column] * coefficient[column];
        coefficient[row] = rest / m[row][row];
    }
    double squares = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = (double(i) - (double(n) - 1) / 2) / half;
        const double residual = values[i] - (coefficient[0] + coefficient[1] * x + coefficient[2] * x * x);
        squares += residual * residual;
    }
    return std::sqrt(squares / double(n - 3));
}

template<typename T>
void measureBanding(const std::vector<T> &pixels, const Layout &layout, double fullScale, Measurement &result)
{
    const RowFigures rows = rowFigures(pixels, layout, fullScale);
    if (long(rows.means.size()) < bandingRowsNeeded)
        return;
    double level = 0;
    for (double mean : rows.means)
        level += mean;
    level /= double(rows.means.size());
    result.rowSpread = spreadAroundParabola(rows.means);
    result.rowNoise = rows.pixelNoise / std::sqrt(double(rows.pixelsPerMean));
    const double allowed = bandingAllowed(result.rowNoise, level);
    result.banding = allowed > 0 ? result.rowSpread / allowed : 0;
}

// Floating-point frames carry no range of their own: data within 0..1 is on a scale of 1, data within 0..65535 on
// the 16-bit scale, anything larger on its DATAMAX header, or else on the centre's largest value.
double floatFullScale(fitsfile *file, const std::vector<double> &pixels)
{
    double largest = 0;
    for (double value : pixels) {
        if (!std::isnan(value))
            largest = std::max(largest, value);
    }
    if (largest <= 1.0)
        return 1.0;
    if (largest <= 65535.0)
        return 65535.0;
    return readNumber(file, "DATAMAX", largest);
}

// The largest value the stored integers reach once scaled.
double integerFullScale(int bitpix, double zero, double scale)
{
    const double rawMax = bitpix == BYTE_IMG ? 255.0 : bitpix == SHORT_IMG ? 32767.0
        : bitpix == LONG_IMG ? 2147483647.0 : 9223372036854775807.0;
    return zero + scale * rawMax;
}

bool measureImage(fitsfile *file, const Layout &layout, Measurement &result, int &status)
{
    int bitpix = 0, equivalent = 0;
    fits_get_img_type(file, &bitpix, &status);
    fits_get_img_equivtype(file, &equivalent, &status);
    const double zero = readNumber(file, "BZERO", 0.0);
    const double scale = readNumber(file, "BSCALE", 1.0);
    if (status)
        return false;
    double fullScale = 0;
    ChannelFigures figures;
    if (equivalent == BYTE_IMG) {
        std::vector<unsigned char> pixels;
        if (!readCentre(file, TBYTE, layout.centre, pixels, status))
            return false;
        fullScale = 255;
        figures = histogramFigures(pixels, layout, 0, fullScale);
        measureBanding(pixels, layout, fullScale, result);
    } else if (equivalent == USHORT_IMG) {
        std::vector<unsigned short> pixels;
        if (!readCentre(file, TUSHORT, layout.centre, pixels, status))
            return false;
        fullScale = 65535;
        figures = histogramFigures(pixels, layout, 0, fullScale);
        measureBanding(pixels, layout, fullScale, result);
    } else if (equivalent == SHORT_IMG) {
        std::vector<short> pixels;
        if (!readCentre(file, TSHORT, layout.centre, pixels, status))
            return false;
        fullScale = 32767;
        figures = histogramFigures(pixels, layout, 32768, fullScale);
        measureBanding(pixels, layout, fullScale, result);
    } else {
        std::vector<double> pixels;
        if (!readCentre(file, TDOUBLE, layout.centre, pixels, status))
            return false;
        fullScale = bitpix < 0 ? floatFullScale(file, pixels) : integerFullScale(bitpix, zero, scale);
        figures = sortedFigures(pixels, layout, fullScale);
        measureBanding(pixels, layout, fullScale, result);
    }
    for (std::size_t channel = 0; channel < figures.medians.size(); ++channel) {
        const double figure = figures.medians[channel] / fullScale;
        result.channels.push_back(figure);
        result.figure = std::max(result.figure, figure);
        result.saturated = result.saturated || figures.clipped[channel] > clippedShare;
    }
    result.saturated = result.saturated || result.figure >= saturatedMedian;
    if (result.saturated)
        result.rowSpread = result.rowNoise = result.banding = 0; // clipped rows say nothing of bands
    return true;
}

Layout layoutOf(fitsfile *file, long width, long height, const std::string &bayerOverride)
{
    Layout layout;
    layout.centre = centreOf(width, height);
    const std::string pattern = upperCase(bayerOverride.empty() ? readText(file, "BAYERPAT") : bayerOverride);
    if (validPattern(pattern)) {
        layout.bayer = pattern;
        layout.xOffset = int(readNumber(file, "XBAYROFF", 0)) & 1;
        layout.yOffset = int(readNumber(file, "YBAYROFF", 0)) & 1;
    }
    return layout;
}

std::string readError(int status)
{
    if (status == END_OF_FILE || status == READ_ERROR)
        return "truncated: the image data ends early (" + cfitsioText(status) + ")";
    return "cannot read the image: " + cfitsioText(status);
}

// cfitsio reads the missing end of a cut file as zeros, so the length is checked against the image's size.
bool imageComplete(fitsfile *file, long width, long height, long long fileSize)
{
    int status = 0;
    if (fits_is_compressed_image(file, &status))
        return true;
    int bitpix = 0;
    LONGLONG headerStart = 0, dataStart = 0, dataEnd = 0;
    fits_get_img_type(file, &bitpix, &status);
    fits_get_hduaddrll(file, &headerStart, &dataStart, &dataEnd, &status);
    const long long needed = dataStart + (long long)width * height * (std::abs(bitpix) / 8);
    return status == 0 && fileSize >= needed;
}

Measurement measureOpened(fitsfile *file, long long fileSize, const std::string &bayerOverride)
{
    Measurement result;
    int status = 0;
    if (!findImage(file, result.width, result.height, status)) {
        result.error = "no image in the FITS file";
        return result;
    }
    if (!imageComplete(file, result.width, result.height, fileSize)) {
        result.error = "truncated: the file ends before the image's last row";
        return result;
    }
    result.filter = readText(file, "FILTER");
    result.exposure = readNumber(file, "EXPTIME", readNumber(file, "EXPOSURE", -1));
    const Layout layout = layoutOf(file, result.width, result.height, bayerOverride);
    result.bayerPattern = layout.bayer;
    if (!measureImage(file, layout, result, status)) {
        result.error = readError(status);
        result.channels.clear();
        result.figure = 0;
        return result;
    }
    result.ok = true;
    return result;
}

std::string openError(const void *start, std::size_t size, int status)
{
    const char simple[] = "SIMPLE  =";
    const bool looksFits = size >= sizeof simple - 1 && std::equal(simple, simple + sizeof simple - 1,
        static_cast<const char *>(start));
    if (looksFits)
        return "truncated: the FITS header ends early (" + cfitsioText(status) + ")";
    return "not a FITS file (" + cfitsioText(status) + ")";
}

} // namespace

double bandingAllowed(double rowNoise, double level)
{
    return std::max(bandingSignificance * rowNoise, bandingShare * level);
}

Measurement measureFitsMemory(const void *data, std::size_t size, const std::string &bayerPattern)
{
    Measurement result;
    void *memory = const_cast<void *>(data);
    std::size_t memorySize = size;
    fitsfile *file = nullptr;
    int status = 0;
    if (size == 0) {
        result.error = "not a FITS file (empty)";
        return result;
    }
    fits_open_memfile(&file, "frame", READONLY, &memory, &memorySize, 0, nullptr, &status);
    if (status) {
        result.error = openError(data, size, status);
        return result;
    }
    result = measureOpened(file, (long long)size, bayerPattern);
    status = 0;
    fits_close_file(file, &status);
    return result;
}

namespace {

bool writeHeaders(fitsfile *file, const FrameHeaders &headers, int &status)
{
    std::string imageType = headers.imageType;
    std::string filter = headers.filter;
    double exposure = headers.exposure;
    int level = headers.lampLevel;
    fits_update_key(file, TSTRING, "IMAGETYP", imageType.data(), "Frame type", &status);
    fits_update_key(file, TSTRING, "FILTER", filter.data(), "Filter", &status);
    fits_update_key(file, TDOUBLE, "EXPTIME", &exposure, "Exposure time in seconds", &status);
    fits_update_key(file, TINT, "LAMPLVL", &level, "Light box level 0-255 (0: lamp off)", &status);
    if (readText(file, "DATE-OBS").empty()) {
        std::string date = headers.dateObs;
        fits_update_key(file, TSTRING, "DATE-OBS", date.data(), "UTC start of the exposure", &status);
    }
    return status == 0;
}

// The frame's image, copied with every HDU into a new file, its headers set.
bool copyFrame(fitsfile *in, std::size_t size, const std::string &path, const FrameHeaders &headers,
    std::string &error)
{
    long width = 0, height = 0;
    int status = 0;
    if (!findImage(in, width, height, status)) {
        error = "no image in the FITS frame";
        return false;
    }
    if (!imageComplete(in, width, height, (long long)size)) {
        error = "truncated: the frame ends before the image's last row";
        return false;
    }
    int imageHdu = 1;
    fits_get_hdu_num(in, &imageHdu);
    fitsfile *out = nullptr;
    std::remove(path.c_str());
    fits_create_diskfile(&out, path.c_str(), &status);
    fits_movabs_hdu(in, 1, nullptr, &status);
    fits_copy_file(in, out, 1, 1, 1, &status);
    fits_movabs_hdu(out, imageHdu, nullptr, &status);
    if (status == 0)
        writeHeaders(out, headers, status);
    const int written = status;
    status = 0;
    if (out)
        fits_close_file(out, &status);
    if (written || status) {
        error = "cannot be written: " + cfitsioText(written ? written : status);
        std::remove(path.c_str());
        return false;
    }
    return true;
}

} // namespace

bool saveFitsFrame(const void *data, std::size_t size, const std::string &path, const FrameHeaders &headers,
    std::string &error)
{
    void *memory = const_cast<void *>(data);
    std::size_t memorySize = size;
    fitsfile *in = nullptr;
    int status = 0;
    if (size > 0)
        fits_open_memfile(&in, "frame", READONLY, &memory, &memorySize, 0, nullptr, &status);
    if (size == 0 || status) {
        error = path + ": " + (size == 0 ? std::string("not a FITS file (empty)") : openError(data, size, status));
        return false;
    }
    const std::string part = path + ".part";
    const bool copied = copyFrame(in, size, part, headers, error);
    status = 0;
    fits_close_file(in, &status);
    if (copied && std::rename(part.c_str(), path.c_str()) != 0) {
        error = path + ": cannot be renamed from " + part;
        std::remove(part.c_str());
        return false;
    }
    if (!copied)
        error = path + ": " + error;
    return copied;
}

Measurement measureFitsFile(const std::string &path, const std::string &bayerPattern)
{
    Measurement result;
    fitsfile *file = nullptr;
    int status = 0;
    // The disk-file opener takes the name as it is: no cfitsio filters or brackets read into it.
    fits_open_diskfile(&file, path.c_str(), READONLY, &status);
    if (status) {
        char start[16] = {};
        std::size_t got = 0;
        if (FILE *raw = std::fopen(path.c_str(), "rb")) {
            got = std::fread(start, 1, sizeof start, raw);
            std::fclose(raw);
        } else {
            result.error = path + ": cannot be opened";
            return result;
        }
        result.error = path + ": " + openError(start, got, status);
        return result;
    }
    std::error_code sizeError;
    const auto fileSize = std::filesystem::file_size(path, sizeError);
    result = measureOpened(file, sizeError ? 0 : (long long)fileSize, bayerPattern);
    if (!result.ok)
        result.error = path + ": " + result.error;
    status = 0;
    fits_close_file(file, &status);
    return result;
}

} // namespace flatframes
