#pragma once
// Text sizes of the monitor's auto-size labels without a font engine, so the
// model lays out the same with or without a GUI (hubdat replays files with
// none). The figures are the advance widths and Windows ascent/descent of
// Liberation Mono and Liberation Sans, the metric twins of "Courier New" and
// "Arial"; the painter places every character at these positions, so what is
// drawn and what is hit-tested are the same boxes.
#include <QString>
#include <vector>

namespace hub {

enum class FontFace {
    Mono, // "Courier New" -> Liberation Mono
    Sans, // "Arial" -> Liberation Sans
};

// Pixel em size of a font given in points on a 96-dpi screen (MulDiv rounding);
// 0 for a size of 0 or less, which draws nothing.
int fontPixelSize(int points);

struct TextBox {
    int width = 0;
    int height = 0;
    int ascent = 0; // baseline offset from the top
};

// Size of a one-line text in the given face and point size (bold does not
// change the advance widths of either face).
TextBox measureText(FontFace face, int points, const QString& text);

// Left offset of every character of the text, plus the total width at the end.
std::vector<int> charOffsets(FontFace face, int points, const QString& text);

// Family name the painter asks for.
QString fontFamily(FontFace face);

} // namespace hub
