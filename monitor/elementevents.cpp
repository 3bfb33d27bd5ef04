#include "monitor/elementevents.h"

#include "monitor/display/changefilter.h"

#include <algorithm>
#include <array>

namespace hub {

namespace {
constexpr std::array<const char*, 7> kStatusNames{"alarm", "tamper", "fault", "disq",
                                                 "stb",   "blind",  "power"};
constexpr std::array<const char*, kEventKinds> kKindNames{"beam", "alarm", "tamper", "fault",
                                                          "disq", "stb",   "blind",  "power"};
} // namespace

EventKind kindOfElement(int element) {
    if (element <= 8) return EventKind::Beam;
    return static_cast<EventKind>(element - 8);
}

QString elementName(int element) {
    if (element >= 1 && element <= 8) return QStringLiteral("beam%1").arg(element);
    if (element >= Element::Alarm && element <= Element::Power)
        return QString::fromLatin1(kStatusNames[static_cast<size_t>(element - Element::Alarm)]);
    return QString();
}

std::optional<int> elementFromName(QStringView name) {
    if (name.size() == 5 && name.startsWith(u"beam") && name[4] >= u'1' && name[4] <= u'8')
        return name[4].unicode() - u'0';
    for (size_t i = 0; i < kStatusNames.size(); ++i)
        if (name == QLatin1String(kStatusNames[i])) return Element::Alarm + static_cast<int>(i);
    return std::nullopt;
}

QString kindName(EventKind k) { return QString::fromLatin1(kKindNames[static_cast<size_t>(k)]); }

std::optional<EventKind> kindFromName(QStringView name) {
    for (size_t i = 0; i < kKindNames.size(); ++i)
        if (name == QLatin1String(kKindNames[i])) return static_cast<EventKind>(i);
    return std::nullopt;
}

std::uint16_t activeElements(const StateRecord& s, int b) {
    const StateRecord kept = keepCoupleOf(b, s);
    std::uint16_t m = 0;
    for (int e = 1; e <= Element::Blind; ++e)
        if (selectsRecord(e, b, kept)) m |= static_cast<std::uint16_t>(1u << (e - 1));
    return m;
}

std::array<int, 4> powerLevels(std::uint8_t hubKind, const std::uint8_t* block) {
    std::array<int, 4> levels{-1, -1, -1, -1};
    for (int c = 0; c < 4; ++c) {
        if (isSwHub(hubKind)) {
            if (block[6] & (1u << c)) levels[static_cast<size_t>(c)] = (block[7] >> (2 * c)) & 0x03;
        } else if (block[38 + c] != 0) {
            // Levels above 3 fill the bar as 3 does.
            levels[static_cast<size_t>(c)] = std::min<int>(block[26 + c], 3);
        }
    }
    return levels;
}

} // namespace hub
