#include "filterkind.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <utility>

namespace filterkind {

namespace {

constexpr char32_t replacement = 0xFFFD;

// One code point from UTF-8 at `at`, which moves past it; a malformed sequence gives one replacement character.
char32_t decodeOne(const std::string &text, std::size_t &at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    const int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || at + std::size_t(length) > text.size()) {
        ++at;
        return replacement;
    }
    char32_t code = length == 1 ? lead : char32_t(lead & (0x7F >> length));
    for (int i = 1; i < length; ++i) {
        const unsigned char next = byte(at + std::size_t(i));
        if ((next >> 6) != 0x2) {
            ++at;
            return replacement;
        }
        code = (code << 6) | char32_t(next & 0x3F);
    }
    at += std::size_t(length);
    return code;
}

void encodeOne(char32_t code, std::string &out)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// The blanks Unicode counts as white space (as Qt's QChar::isSpace does), and the two joiners names use.
bool dropped(char32_t c)
{
    const bool blank = (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680
        || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
    return blank || c == '-' || c == '_';
}

// Lower case by Unicode's simple case folding for the scripts filter names are written in: ASCII, Latin-1, Latin
// Extended-A and Greek, and the signs that fold into them (long s, Kelvin, Ångström, Ohm).
char32_t folded(char32_t c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2))
        return c + 0x20;
    const bool evenUpper = (c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((evenUpper && c % 2 == 0) || (oddUpper && c % 2 == 1))
        return c + 1;
    switch (c) {
    case 0x178: return 0xFF;  // Ÿ
    case 0x17F: return 's';   // long s
    case 0x3C2: return 0x3C3; // final sigma
    case 0x3D0: return 0x3B2; // beta symbol
    case 0x212A: return 'k';  // Kelvin sign
    case 0x212B: return 0xE5; // Ångström sign
    case 0x2126: return 0x3C9; // Ohm sign
    default: return c;
    }
}

// The loose name without anything but letters and digits, for guessing a kind from how a name begins.
std::string lettersAndDigits(const std::string &loose)
{
    std::string out;
    for (const char c : loose) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 || (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'z'))
            out += c;
    }
    return out;
}

bool startsWithAny(const std::string &text, std::initializer_list<const char *> prefixes)
{
    return std::any_of(prefixes.begin(), prefixes.end(),
        [&](const char *prefix) { return text.rfind(prefix, 0) == 0; });
}

struct Known
{
    std::initializer_list<const char *> looseForms;
    Filter filter;
};

// Every name the panel shows (in English and Italian) and the usual short forms, in their loose form.
const std::array<Known, 10> &knownNames()
{
    static const std::array<Known, 10> names = {{
        {{"luminance", "l", "lum", "luminanza"}, {Kind::Luminance, Band::None, "Luminance"}},
        {{"red", "r", "rosso"}, {Kind::Colour, Band::Red, "Red"}},
        {{"green", "g", "verde"}, {Kind::Colour, Band::Green, "Green"}},
        {{"blue", "b", "blu"}, {Kind::Colour, Band::Blue, "Blue"}},
        {{"halpha", "ha", "h\u03b1", "halfa"}, {Kind::Narrowband, Band::HAlpha, "H-alpha"}},
        {{"hbeta", "hb", "h\u03b2"}, {Kind::Narrowband, Band::HBeta, "H-beta"}},
        {{"oiii", "o3"}, {Kind::Narrowband, Band::OIII, "OIII"}},
        {{"sii", "s2"}, {Kind::Narrowband, Band::SII, "SII"}},
        {{"lightpollution", "lp", "lpr", "inq.luminoso"}, {Kind::Broadband, Band::None, "Light Pollution"}},
        {{"custom", "altro"}, {Kind::Unknown, Band::None, "Custom"}},
    }};
    return names;
}

// The kind a name that is none of the known ones shows by how it begins ("Ha 7nm", "Baader OIII" does not).
Filter guessed(const std::string &loose)
{
    const std::string name = lettersAndDigits(loose);
    if (name.find("alpha") != std::string::npos || name.find("alfa") != std::string::npos
        || startsWithAny(name, {"ha", "h\u03b1"}))
        return {Kind::Narrowband, Band::HAlpha, {}};
    if (name.find("beta") != std::string::npos || startsWithAny(name, {"hb", "h\u03b2"}))
        return {Kind::Narrowband, Band::HBeta, {}};
    if (startsWithAny(name, {"oiii", "o3", "oxygen"}))
        return {Kind::Narrowband, Band::OIII, {}};
    if (startsWithAny(name, {"sii", "s2", "sulph", "sulf"}))
        return {Kind::Narrowband, Band::SII, {}};
    if (startsWithAny(name, {"red", "rosso"}))
        return {Kind::Colour, Band::Red, {}};
    if (startsWithAny(name, {"green", "verde"}))
        return {Kind::Colour, Band::Green, {}};
    if (startsWithAny(name, {"blu"}))
        return {Kind::Colour, Band::Blue, {}};
    if (startsWithAny(name, {"lum"}))
        return {Kind::Luminance, Band::None, {}};
    return {};
}

} // namespace

std::string looseName(const std::string &name)
{
    std::string out;
    for (std::size_t at = 0; at < name.size();) {
        const char32_t code = decodeOne(name, at);
        if (!dropped(code))
            encodeOne(folded(code), out);
    }
    return out;
}

Filter classify(const std::string &name)
{
    const std::string loose = looseName(name);
    if (loose.empty())
        return {};
    for (const Known &known : knownNames()) {
        for (const char *form : known.looseForms) {
            if (loose == form)
                return known.filter;
        }
    }
    return guessed(loose);
}

} // namespace filterkind
