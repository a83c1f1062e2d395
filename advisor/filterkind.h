// What a filter's name says of the filter: its kind (luminance, a colour, a narrowband line) and, for the names the
// panel and the usual short forms use, its canonical name. One classifier for the flat table, the flat search and
// the frame model. Plain C++ (no Qt), names in UTF-8.
#pragma once

#include <string>

namespace filterkind {

enum class Kind {
    Luminance,  // the whole visible band (L, Lum, Luminance, Luminanza)
    Colour,     // red, green or blue, about a third of the visible band
    Narrowband, // one emission line, a few nanometres wide
    Broadband,  // most of the visible band with parts cut out (a light pollution filter)
    Unknown     // nothing in the name tells
};

enum class Band { None, Red, Green, Blue, HAlpha, HBeta, OIII, SII };

struct Filter
{
    Kind kind = Kind::Unknown;
    Band band = Band::None;
    // The name's canonical form ("Luminance", "Red", "Green", "Blue", "H-alpha", "H-beta", "OIII", "SII",
    // "Light Pollution", "Custom") when the whole name is one of the known names or short forms, compared ignoring
    // case, blanks, "-" and "_"; empty when the kind is only guessed from how the name begins ("Ha 7nm", "Red 2").
    std::string canonical;
};

// The filter a name stands for. Known names in English and Italian (Luminanza, Rosso, Verde, Blu, H-alfa,
// Inq. luminoso, Altro), short forms (L, Lum, R, G, B, Ha, Hα, H_Alpha, Hβ, Hb, O3, S2, LP, LPR); otherwise the kind
// from the name's beginning (a name beginning "Ha", "OIII", "Red"..., or holding "alpha"), or Unknown.
Filter classify(const std::string &name);

// The name folded as the known names are compared: lower case (ASCII, Latin-1, Greek), without blanks, "-" and "_".
std::string looseName(const std::string &name);

} // namespace filterkind
