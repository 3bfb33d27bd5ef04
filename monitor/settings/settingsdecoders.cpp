#include "monitor/settings/settingsdecoders.h"

#include <algorithm>

namespace hub {

namespace {

struct CoupleSettings {
    int code;            // beam-count code, 0..3
    bool range50;        // range flag: 50 m (red) or 25 m (blue)
    int power;           // 0..255; 3 and above fill the bar
    std::uint8_t excluded; // TC: bit k-1 set keeps beam k out
    bool swOptions;      // SW: apply the first/last beam off options
    std::uint8_t options;
};

int versionOf(const std::uint8_t* versions, int b) {
    const std::uint8_t v = versions[(b - 1) / 2];
    return (b % 2 == 1) ? v >> 4 : v & 0x0F;
}

void coupleSteps(MonitorModel& m, int c, const CoupleSettings& cs, const std::uint8_t* versions,
                 bool compact) {
    // C1: power bar and couple letter.
    PowerBarModel& bar = m.bars[c - 1];
    bar.progress = std::min(100, 25 * (cs.power + 1));
    bar.visible = true;
    m.labGruppi[c - 1].visible = true;

    // C2: present beams, coloured by range.
    const Rgb rangeColour = cs.range50 ? colour::Red : colour::Blue;
    for (int k = 1; k <= 8; ++k) {
        if (cs.excluded & (1u << (k - 1))) continue;
        BeamIndicatorModel& r = m.raggio(c, k);
        r.visible = true;
        r.colour = rangeColour;
        r.fontColour = rangeColour;
    }

    // C3: the beam count, from beam 1 up.
    const int top = beamsForCode(cs.code);
    for (int k = top + 1; k <= 8; ++k) m.raggio(c, k).visible = false;

    // C3a: the SW options that switch off the last or the first beam.
    if (cs.swOptions) {
        if (cs.options & 0x04) m.raggio(c, top).visible = false;
        if (cs.options & 0x08) m.raggio(c, 1).visible = false;
    }

    // C4: the couple's barriers, second first.
    for (int b : {2 * c, 2 * c - 1}) {
        LabelModel& vers = m.labVers[b - 1];
        vers.caption = QStringLiteral("V. ") + QString::number(versionOf(versions, b));
        MonitorModel::autoSize(vers); // the label sizes itself to its caption
        m.barrier(b).visible = true;
        m.labBarre[b - 1].visible = true;
        m.caps[b - 1].visible = true;
        vers.visible = true;
        m.led(b, Led::Alarm).SetMaroon();
        m.led(b, Led::Tamper).SetMaroon();
        m.led(b, Led::Failure).SetMaroon();
        m.led(b, Led::Blind).SetMaroon();
        m.led(b, Led::Disqualify).SetOlive();
        m.led(b, Led::Standby).SetNavy();
        for (int k = 1; k <= 8; ++k) {
            if (m.raggio(c, k).visible)
                m.led(b, k).SetGreen();
            else
                m.led(b, k).SetSilver();
        }
    }

    // C5: the compact view shows no beam indicators.
    if (compact)
        for (int k = 1; k <= 8; ++k) m.raggio(c, k).visible = false;
}

int codeOf(std::uint8_t codes, int c) { return (codes >> (6 - 2 * (c - 1))) & 0x03; }
bool rangeOf(std::uint8_t flags, int c) { return (flags & (0x08 >> (c - 1))) != 0; }

} // namespace

int beamsForCode(int code) {
    // Code 1 is six beams and code 2 four: the middle codes are swapped.
    const int m = code == 1 ? 2 : code == 2 ? 1 : code;
    return 2 * (m + 1);
}

QString trimBlanksAndControls(const QString& s) {
    qsizetype from = 0;
    qsizetype to = s.size();
    while (from < to && s.at(from).unicode() <= 0x20) ++from;
    while (to > from && s.at(to - 1).unicode() <= 0x20) --to;
    return s.mid(from, to - from);
}

bool RiceviSet_SW(MonitorModel& m, HubState& hub, std::uint8_t kind,
                  const std::array<std::uint8_t, kSwBlockSize>& block, bool compact) {
    hub.hubKind = kind;
    hub.sw = block;
    hub.stream = StreamParams{12, 6, 20};

    hub.versHub = QStringLiteral("SW: v.") + QString::number(kind & 0x03);
    if (kind & kHubKindTest) hub.versHub += QStringLiteral(" (TEST)");

    for (int c = 1; c <= 4; ++c) {
        if (!(block[6] & (1u << (c - 1)))) continue;
        const CoupleSettings cs{codeOf(block[0], c), rangeOf(block[1], c),
                                (block[7] >> (2 * (c - 1))) & 0x03, 0, true, block[8]};
        coupleSteps(m, c, cs, block.data() + 2, compact);
    }
    return true;
}

bool RiceviSet_TC(MonitorModel& m, HubState& hub, std::uint8_t kind,
                  const std::array<std::uint8_t, kTcBlockSize>& block, bool compact,
                  QString* windowCaption) {
    hub.hubKind = kind;
    hub.tc = block;
    switch (block[43]) {
    case 0: hub.stream = StreamParams{12, 6, 20}; break;
    case 1: hub.stream = StreamParams{6, 12, 40}; break;
    case 2: hub.stream = StreamParams{3, 24, 60}; break;
    default: break; // an unknown speed keeps what the last block set
    }

    // The label holds text up to a zero byte, so a zero adds nothing and the
    // name's later characters follow directly.
    QString text = QStringLiteral("TC:");
    for (int i = 44; i < 52; ++i)
        if (block[i] != 0) text += QChar(static_cast<char16_t>(block[i]));
    const QString trimmed = trimBlanksAndControls(text);

    if (windowCaption)
        *windowCaption = trimmed + QStringLiteral(" PORT : ") + hub.lastPort +
                         QStringLiteral(" --  ZEMBRA MONITOR HUB (V:") +
                         QLatin1String(kCaptionVersion) + QStringLiteral(")");

    hub.versHub = trimmed + QStringLiteral(" (v.") + QString::number(kind & 0x03) +
                  QStringLiteral(")");
    if (kind & kHubKindTest) hub.versHub += QStringLiteral(" (TEST)");

    for (int c = 1; c <= 4; ++c) {
        if (block[38 + (c - 1)] == 0) continue;
        const CoupleSettings cs{codeOf(block[0], c), rangeOf(block[1], c), block[26 + (c - 1)],
                                block[14 + (c - 1)], false, 0};
        coupleSteps(m, c, cs, block.data() + 2, compact);
    }
    return true;
}

} // namespace hub
