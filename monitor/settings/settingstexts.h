#pragma once
// What the two read-only settings windows show, worked out from the blocks so
// that the windows only copy texts and flags onto their controls.
#include <QLocale>
#include <QString>
#include <array>
#include <cstdint>

namespace hub {

// ---- SW hub: eight two-way switches over the options byte (offset 8) ----

struct SwSwitchRow {
    const char* switchName; // SwMem ..
    const char* leftName;   // LMemOFF .. (tells the state when the bit is clear)
    const char* leftText;
    const char* rightName;  // LMemON .. (tells the state when the bit is set)
    const char* rightText;
    std::uint8_t mask;
};
extern const std::array<SwSwitchRow, 8> kSwSwitchRows;

struct SwSetupTexts {
    QString name;             // PName caption
    std::array<bool, 8> on{}; // switch of each row, top to bottom
};
SwSetupTexts swSetupTexts(const std::array<std::uint8_t, 9>& sw, const QString& versHub);

// ---- TC hub: four couple panels ----

struct TcCoupleTexts {
    QString dir, dis, ald, led, mem, dbe; // option texts
    QString one, more;                    // delays, "##0.000" seconds
    QString alarm;                        // time of alarm, "##0.0" seconds
    bool present = false;                 // false: the three panels are hidden
};

struct TcSetupTexts {
    std::array<TcCoupleTexts, 4> couples;
    int k = 100;                  // speed factor
    bool highSpeedShown = true;   // LHSpeedA, LHSpeedB
    QString syncro;               // synchronisation text
    QString name;                 // PName caption
};
TcSetupTexts tcSetupTexts(const std::array<std::uint8_t, 70>& tc, const QString& versHub,
                          const QLocale& locale = QLocale());

// Speed byte (offset 43) to K; unknown values count as normal speed.
int speedFactor(std::uint8_t speed);
// (v + 2) / 2 * K / 1000 seconds, three decimals, rounded half up.
QString delayText(std::uint8_t v, int k, const QLocale& locale = QLocale());
// a * 50 / 1000 seconds, one decimal, rounded half up.
QString alarmText(std::uint8_t a, const QLocale& locale = QLocale());
// Offset 42: "2 Syncro", "No Syncro", "4 Syncro", "8 Syncro", else empty.
QString syncroText(std::uint8_t v);

// The form texts of the couple panels and the words for set option bits.
namespace tctext {
inline const char* const Direct = "Direct";
inline const char* const Cross = "Cross";
inline const char* const DisqOff = "Disqual. OFF";
inline const char* const DisqOn = "Disqual. ON";
inline const char* const AlarmDisqOff = "Alarm OFF (if disq.)";
inline const char* const AlarmDisqOn = "Alarm ON (if disq.)";
inline const char* const LedsOff = "Leds OFF";
inline const char* const LedsOn = "Leds ON";
inline const char* const MemoryOff = "Memory OFF";
inline const char* const MemoryOn = "Memory ON";
inline const char* const BeamsOff = "Beams OFF when in alarm";
inline const char* const BeamsOn = "Beams ON when in alarm";
inline const char* const Disabled = " D I S A B L E D ";
inline const char* const HighSpeed = "High Speed";
} // namespace tctext

} // namespace hub
