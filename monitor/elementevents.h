#pragma once
// Element events: the moments an element of a barrier becomes active or stops
// being active, by the same element rules as the change list (changefilter.h).
// The replay player's lanes, `hubdat events` and the uplink's event stream all
// come from here, so a site, its recording and the control room agree on what
// an event is.
#include "monitor/staterecord.h"

#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <optional>

namespace hub {

// Elements of a barrier: 1..8 its beams, then the monitor's LED numbers 9..14,
// and 15 for the couple's power level (a settings value, not a state bit).
namespace Element {
constexpr int Alarm = 9;
constexpr int Tamper = 10;
constexpr int Fault = 11;
constexpr int Disq = 12;
constexpr int Stb = 13;
constexpr int Blind = 14;
constexpr int Power = 15;
} // namespace Element

enum class EventKind : std::uint8_t { Beam, Alarm, Tamper, Fault, Disq, Stb, Blind, Power };
constexpr int kEventKinds = 8;

EventKind kindOfElement(int element);
// "beam1".."beam8", "alarm", "tamper", "fault", "disq", "stb", "blind", "power".
QString elementName(int element);
// The inverse of elementName; nullopt for anything else.
std::optional<int> elementFromName(QStringView name);
// "beam", "alarm", ... "power"; nullopt for anything else.
QString kindName(EventKind k);
std::optional<EventKind> kindFromName(QStringView name);

// The state elements (1..14) of barrier b (1..8) active in s: bit e-1 for element e.
std::uint16_t activeElements(const StateRecord& s, int b);

// Calls fn(barrier, element, on) for every state element whose activity
// differs between prev and cur: barriers 1..8 ascending, elements ascending.
template <class Fn>
void forEachElementChange(const StateRecord& prev, const StateRecord& cur, Fn&& fn) {
    for (int b = 1; b <= 8; ++b) {
        const int c = 3 * ((b - 1) / 2);
        if (prev[c] == cur[c] && prev[c + 1] == cur[c + 1] && prev[c + 2] == cur[c + 2]) continue;
        const std::uint16_t was = activeElements(prev, b);
        const std::uint16_t now = activeElements(cur, b);
        for (std::uint16_t d = was ^ now; d != 0; d &= static_cast<std::uint16_t>(d - 1)) {
            const int e = __builtin_ctz(d) + 1;
            fn(b, e, (now >> (e - 1)) & 1u);
        }
    }
}

// The power level (0..3) a settings block of this kind gives each couple
// (index 0..3 for A..D), as its power bar shows it; -1 for a couple the block
// leaves as it was.
std::array<int, 4> powerLevels(std::uint8_t hubKind, const std::uint8_t* block);

// Calls fn(barrier, Element::Power, on, level) for both barriers of every
// couple whose known level changes from `was` to `now` (on: the level rose).
// A level becoming known (from -1) is not a change: a new acquisition's first
// block sets the levels without events. was is updated to what the block leaves.
template <class Fn>
void forEachPowerChange(std::array<int, 4>& was, const std::array<int, 4>& now, Fn&& fn) {
    for (int c = 0; c < 4; ++c) {
        if (now[c] < 0) continue;
        if (was[c] >= 0 && was[c] != now[c]) {
            fn(2 * c + 1, Element::Power, now[c] > was[c], now[c]);
            fn(2 * c + 2, Element::Power, now[c] > was[c], now[c]);
        }
        was[c] = now[c];
    }
}

} // namespace hub
