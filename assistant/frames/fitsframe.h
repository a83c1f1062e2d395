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
};

// The centre is the centred rectangle of half the width and half the height. Full scale is the data range the
// image's BITPIX and BZERO/BSCALE give (65535 for unsigned 16-bit), or 1 for float frames whose values lie in 0..1.
// `bayerPattern` (e.g. the camera's CFA property) overrides the frame's BAYERPAT header; empty uses the header.
Measurement measureFitsFile(const std::string &path, const std::string &bayerPattern = std::string());
Measurement measureFitsMemory(const void *data, std::size_t size, const std::string &bayerPattern = std::string());

} // namespace flatframes
