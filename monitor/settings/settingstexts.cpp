#include "monitor/settings/settingstexts.h"

#include "monitor/settings/settingsdecoders.h"

namespace hub {

const std::array<SwSwitchRow, 8> kSwSwitchRows{{
    {"SwMem", "LMemOFF", "Mem. Al.", "LMemON", "OFF", 0x01},
    {"SwLeds", "LLedsOFF", "Leds", "LLedsON", "OFF", 0x02},
    {"SwLast", "LLastOFF", "Last", "LLastON", "OFF", 0x04},
    {"SwFirst", "LFirstOFF", "First", "LFirstON", "OFF", 0x08},
    {"SwTest", "LTestOFF", "Test", "LTestON", "Operate", 0x10},
    {"SwCount", "LCountOFF", "Count", "LCountON", "Security", 0x20},
    {"SwCross", "LCrossOFF", "Cross", "LCrossON", "Direct", 0x40},
    {"SwInternal", "LInternalOFF", "Internal", "LInternalON", "External", 0x80},
}};

SwSetupTexts swSetupTexts(const std::array<std::uint8_t, 9>& sw, const QString& versHub) {
    SwSetupTexts t;
    t.name = versHub;
    for (size_t i = 0; i < kSwSwitchRows.size(); ++i)
        t.on[i] = (sw[8] & kSwSwitchRows[i].mask) != 0;
    return t;
}

int speedFactor(std::uint8_t speed) {
    switch (speed) {
    case 1: return 50;
    case 2: return 25;
    default: return 100;
    }
}

namespace {
// Whole units and a fixed number of decimals; no grouping, at least one digit
// before the separator. Worked in integers so halves round the same on every build.
QString fixedText(int scaled, int decimals, const QLocale& locale) {
    int div = 1;
    for (int i = 0; i < decimals; ++i) div *= 10;
    return QString::number(scaled / div) + locale.decimalPoint() +
           QStringLiteral("%1").arg(scaled % div, decimals, 10, QLatin1Char('0'));
}
} // namespace

QString delayText(std::uint8_t v, int k, const QLocale& locale) {
    // (v + 2) * K is in half milliseconds.
    const int halfMs = (v + 2) * k;
    return fixedText((halfMs + 1) / 2, 3, locale);
}

QString alarmText(std::uint8_t a, const QLocale& locale) {
    // a * 50 ms, shown in tenths of a second.
    const int ms = a * 50;
    return fixedText((ms + 50) / 100, 1, locale);
}

QString syncroText(std::uint8_t v) {
    switch (v) {
    case 0: return QStringLiteral("2 Syncro");
    case 1: return QStringLiteral("No Syncro");
    case 2: return QStringLiteral("4 Syncro");
    case 3: return QStringLiteral("8 Syncro");
    default: return QString();
    }
}

TcSetupTexts tcSetupTexts(const std::array<std::uint8_t, 70>& tc, const QString& versHub,
                          const QLocale& locale) {
    using namespace tctext;
    TcSetupTexts t;
    t.k = speedFactor(tc[43]);
    // Only a speed byte of 0 hides the labels; the form shows them.
    t.highSpeedShown = tc[43] != 0;
    for (int c = 0; c < 4; ++c) {
        TcCoupleTexts& ct = t.couples[static_cast<size_t>(c)];
        const std::uint8_t opt = tc[static_cast<size_t>(6 + c)];
        ct.dir = QLatin1String(opt & 0x04 ? Cross : Direct);
        ct.dis = QLatin1String(opt & 0x20 ? DisqOn : DisqOff);
        ct.ald = QLatin1String(opt & 0x08 ? AlarmDisqOn : AlarmDisqOff);
        ct.led = QLatin1String(opt & 0x02 ? LedsOn : LedsOff);
        ct.mem = QLatin1String(opt & 0x01 ? MemoryOn : MemoryOff);
        ct.dbe = QLatin1String(opt & 0x10 ? BeamsOn : BeamsOff);
        ct.one = delayText(tc[static_cast<size_t>(30 + c)], t.k, locale);
        ct.more = delayText(tc[static_cast<size_t>(34 + c)], t.k, locale);
        ct.alarm = alarmText(tc[static_cast<size_t>(10 + c)], locale);
        ct.present = tc[static_cast<size_t>(38 + c)] != 0;
    }
    t.syncro = syncroText(tc[42]);
    t.name = trimBlanksAndControls(versHub) + QStringLiteral("  (") + t.syncro +
             QStringLiteral(")");
    return t;
}

} // namespace hub
