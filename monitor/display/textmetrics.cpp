#include "monitor/display/textmetrics.h"

#include <array>

namespace hub {

namespace {

constexpr int kUnitsPerEm = 2048;
constexpr int kMonoAdvance = 1229;
constexpr int kMonoAscent = 1705, kMonoDescent = 615;
constexpr int kSansAscent = 1854, kSansDescent = 434;
// Liberation Sans Regular advance widths for U+0020..U+007E.
constexpr std::array<short, 95> kSansAdvance = {
    569,  569,  727,  1139, 1139, 1821, 1366, 391,  682,  682,  797,  1196, 569,  682,  569,  569,
    1139, 1139, 1139, 1139, 1139, 1139, 1139, 1139, 1139, 1139, 569,  569,  1196, 1196, 1196, 1139,
    2079, 1366, 1366, 1479, 1479, 1366, 1251, 1593, 1479, 569,  1024, 1366, 1139, 1706, 1479, 1593,
    1366, 1593, 1479, 1366, 1251, 1479, 1366, 1933, 1366, 1366, 1251, 569,  569,  569,  961,  1139,
    682,  1139, 1139, 1024, 1139, 1139, 569,  1139, 1139, 455,  455,  1024, 455,  1706, 1139, 1139,
    1139, 1139, 682,  1024, 569,  1139, 1024, 1479, 1024, 1024, 1024, 684,  532,  684,  1196};
constexpr int kSansOther = 1139; // accented lower-case letters and anything else

int advanceUnits(FontFace face, QChar c) {
    if (face == FontFace::Mono) return kMonoAdvance;
    const ushort u = c.unicode();
    if (u >= 0x20 && u <= 0x7E) return kSansAdvance[u - 0x20];
    return kSansOther;
}

int scaleRound(int units, int ppem) { return (units * ppem + kUnitsPerEm / 2) / kUnitsPerEm; }
int scaleCeil(int units, int ppem) { return (units * ppem + kUnitsPerEm - 1) / kUnitsPerEm; }

} // namespace

int fontPixelSize(int points) {
    if (points <= 0) return 0;
    // Guard the multiplication; no label ever comes near this.
    if (points > 10000) points = 10000;
    return (points * 96 + 36) / 72;
}

std::vector<int> charOffsets(FontFace face, int points, const QString& text) {
    std::vector<int> out;
    out.reserve(text.size() + 1);
    const int ppem = fontPixelSize(points);
    int x = 0;
    for (QChar c : text) {
        out.push_back(x);
        if (ppem > 0) x += scaleRound(advanceUnits(face, c), ppem);
    }
    out.push_back(x);
    return out;
}

TextBox measureText(FontFace face, int points, const QString& text) {
    const int ppem = fontPixelSize(points);
    if (ppem <= 0) return {};
    TextBox box;
    const int asc = face == FontFace::Mono ? kMonoAscent : kSansAscent;
    const int desc = face == FontFace::Mono ? kMonoDescent : kSansDescent;
    box.ascent = scaleCeil(asc, ppem);
    box.height = box.ascent + scaleCeil(desc, ppem);
    box.width = charOffsets(face, points, text).back();
    return box;
}

QString fontFamily(FontFace face) {
    return face == FontFace::Mono ? QStringLiteral("Liberation Mono") : QStringLiteral("Liberation Sans");
}

} // namespace hub
