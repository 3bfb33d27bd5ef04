#pragma once
// The monitor's data model: every element of the painted monitor with its
// geometry, visibility, colours, captions, ring and ON counter. Record
// application, settings decoders and the display reset work on this model only;
// the TMonitor widget paints it. Element numbers are 1-based as the hub counts
// them: couples 1..4 (A..D), barriers 1..8, beams 1..8, LEDs 1..14.
#include "common/colours.h"
#include "monitor/display/textmetrics.h"

#include <QPoint>
#include <QString>
#include <array>
#include <cstdint>

namespace hub {

struct Geometry {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    bool contains(int x, int y) const {
        return x >= left && y >= top && x < left + width && y < top + height;
    }
    Geometry moved(int dx, int dy) const { return {left + dx, top + dy, width, height}; }
    bool operator==(const Geometry&) const = default;
};

// LED numbers inside a barrier.
namespace Led {
constexpr int Alarm = 9;
constexpr int Tamper = 10;
constexpr int Failure = 11;
constexpr int Disqualify = 12;
constexpr int Standby = 13;
constexpr int Blind = 14;
} // namespace Led

// TLed: ring, lens and three glints; the lens colour is the LED's state.
struct LedModel {
    Geometry geo;          // inside its barrier
    Geometry lensGeo;      // inside the LED
    Geometry glint[3];     // inside the LED
    Rgb lens = colour::Silver;
    Rgb ring = colour::Gray;
    std::int64_t count = 0; // the ON counter (the LED's hint)
    bool visible = true;
    int code = 0;          // caption "1".."14"

    void SetRed() { lens = colour::Red; }
    void SetMaroon() { lens = colour::Maroon; }
    void SetAqua() { lens = colour::Aqua; }
    void SetNavy() { lens = colour::Navy; }
    void SetLime() { lens = colour::Lime; }
    void SetGreen() { lens = colour::Green; }
    void SetSilver() { lens = colour::Silver; }
    void SetYellow() { lens = colour::Yellow; }
    void SetOlive() { lens = colour::Olive; }
    void SetRingWhite() { ring = colour::White; }
    void SetRingGray() { ring = colour::Gray; }
    QString hint() const { return QString::number(count); }
    // The lens colour that means "ON" for this LED's kind (by its code).
    Rgb onColour() const;
    bool isOn() const { return lens == onColour(); }
};

// TBarra: one barrier column.
struct BarrierModel {
    Geometry geo;
    bool visible = true;
    Rgb colour = colour::Gray;
    std::array<LedModel, 14> leds{};
};

struct ShapeModel {
    Geometry geo;
    bool visible = true;
    Rgb brush = colour::Gray;
    Rgb pen = colour::White;
};

// Every label of the monitor sizes itself to its caption (auto-size): call
// MonitorModel::autoSize() after changing a caption or a font size.
struct LabelModel {
    Geometry geo;
    bool visible = true;
    QString caption;
    int fontSize = 8;   // points; 0 or less draws nothing
    Rgb colour = colour::Black; // text colour
    FontFace face = FontFace::Mono;
    bool bold = true;
};

// TRaggio: the 8 x 8 beam range indicator.
struct BeamIndicatorModel {
    Geometry geo;
    bool visible = true;
    Rgb colour = colour::Green;
    Rgb fontColour = colour::Green;
    int code = 0; // 100 * couple + beam
};

// TBar: couple power bar, 0..100.
struct PowerBarModel {
    Geometry geo;
    bool visible = true;
    int progress = 0;
};

// TSoundBit: a beep switch.
struct SoundSwitchModel {
    Geometry geo;
    bool visible = true;
    QString caption = QStringLiteral("ON-Beep");
    Rgb fontColour = colour::Green;
    bool enabled() const { return visible && caption == QLatin1String("ON-Beep"); }
    // A click: anything but "ON-Beep" becomes "ON-Beep" (green), else "OFF-Beep" (red).
    void toggle();
};

// What a mouse click at a point of the monitor lands on, topmost first.
struct MonitorHit {
    enum Kind {
        Background,   // the monitor panel itself: notifies with the stored codes
        Inert,        // an element without a click action: nothing happens
        Led,
        BarrierLabel,
        CoupleLetter,
        Beam,
        SoundBeams,
        SoundLeds,
    };
    Kind kind = Background;
    QString clickBarra; // codes the click stores (Led, BarrierLabel, CoupleLetter, Beam)
    QString clickLed;
    int barrier = 0, led = 0, couple = 0, beam = 0;
};

class MonitorModel {
public:
    // Builds the element tree laid out for LED size 29, with DimeLed() still 0
    // so that the first SetDimeLed(29) lays everything out again.
    MonitorModel();

    // Re-lays out every element for LED size v (10..29); the current size, or
    // a size outside that range, changes nothing.
    void SetDimeLed(int v);
    int DimeLed() const { return dimeLed; }

    // Re-measures every label from its caption and font size.
    void autoSize();
    static void autoSize(LabelModel& label);

    // Italian legends: the vertical letters spell RAGGI and "Blind" becomes "Cieco".
    void setItalian(bool italian);

    // Geometry of LED n of barrier k in monitor coordinates.
    Geometry ledRect(int k, int n) const { return led(k, n).geo.moved(barrier(k).geo.left, barrier(k).geo.top); }

    // Which element a click at p (monitor coordinates) lands on.
    MonitorHit hitTest(QPoint p) const;
    // Carries out a click: stores the codes or toggles a beep switch. Returns
    // true when the monitor's click notification must fire.
    bool applyClick(const MonitorHit& hit);

    // 1-based accessors.
    BarrierModel& barrier(int k) { return barre[k - 1]; }
    const BarrierModel& barrier(int k) const { return barre[k - 1]; }
    LedModel& led(int k, int n) { return barre[k - 1].leds[n - 1]; }
    const LedModel& led(int k, int n) const { return barre[k - 1].leds[n - 1]; }
    BeamIndicatorModel& raggio(int i, int j) { return raggi[i - 1][j - 1]; }
    const BeamIndicatorModel& raggio(int i, int j) const { return raggi[i - 1][j - 1]; }

    std::array<BarrierModel, 8> barre{};          // FBarre
    std::array<LabelModel, 8> labBarre{};         // FLabBarre
    std::array<ShapeModel, 4> sepDark{};          // FSepDark
    std::array<ShapeModel, 4> sepLight{};         // FSepLight
    std::array<ShapeModel, 8> caps{};             // FCaps (heads)
    std::array<LabelModel, 8> labVers{};          // FLabVers
    std::array<LabelModel, 4> labGruppi{};        // FLabGruppi
    std::array<std::array<BeamIndicatorModel, 8>, 4> raggi{}; // FRaggi
    std::array<PowerBarModel, 4> bars{};          // FBars
    QString clickLed;                              // FClickLed
    QString clickBarra;                            // FClickBarra
    std::array<LabelModel, 8> labRaggi{};         // FLabRaggi
    std::array<LabelModel, 5> labLetters{};       // FLabLetters
    LabelModel labAlarm, labTamp, labFail, labDisq, labStb, labPower, labBlind;
    SoundSwitchModel soundBeams;                  // FSoundBeams
    SoundSwitchModel soundLeds;                   // FSoundLeds
    int dimeLed = 0;                               // FDimeLed

    Geometry geo;     // position inside its panel (1,1) and size
    bool visible = true;
    Rgb colour = colour::Silver;

    static constexpr int kMinDimeLed = 10;
    static constexpr int kMaxDimeLed = 29;

private:
    void layout(int v);
};

} // namespace hub
