#pragma once
// The monitor's data model: every element of the painted monitor with its
// geometry, visibility, colours, captions, ring and ON counter. Record
// application, settings decoders and the display reset work on this model only;
// the TMonitor widget paints it. Element numbers are 1-based as the hub counts
// them: couples 1..4 (A..D), barriers 1..8, beams 1..8, LEDs 1..14.
#include "common/colours.h"

#include <QString>
#include <array>
#include <cstdint>

namespace hub {

struct Geometry {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
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

struct LabelModel {
    Geometry geo;
    bool visible = true;
    QString caption;
    int fontSize = 8;   // points; 0 or less draws nothing
    Rgb colour = colour::Black;
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
};

class MonitorModel {
public:
    MonitorModel();

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

    Geometry geo;
    bool visible = true;
    Rgb colour = colour::Silver;
};

} // namespace hub
