#include "monitor/elementevents.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace hub;

namespace {

std::vector<std::string> changes(const StateRecord& prev, const StateRecord& cur) {
    std::vector<std::string> out;
    forEachElementChange(prev, cur, [&](int b, int e, bool on) {
        out.push_back(std::to_string(b) + ":" + elementName(e).toStdString() + (on ? "+" : "-"));
    });
    return out;
}

StateRecord couple(int c, std::uint8_t first, std::uint8_t second, std::uint8_t status) {
    StateRecord s{};
    s[3 * c] = first;
    s[3 * c + 1] = second;
    s[3 * c + 2] = status;
    return s;
}

struct ChangeCase {
    const char* what;
    StateRecord prev, cur;
    std::vector<std::string> expected;
};

TEST(ElementEvents, ChangesFollowTheChangeListRules) {
    using namespace CoupleStatus;
    const ChangeCase cases[] = {
        {"nothing changes", couple(1, 1, 0, Alarm), couple(1, 1, 0, Alarm), {}},
        {"beams of both barriers of couple B",
         StateRecord{}, couple(1, 0x81, 0x02, 0), {"3:beam1+", "3:beam8+", "4:beam2+"}},
        {"a beam clears", couple(3, 0, 0x10, 0), StateRecord{}, {"8:beam5-"}},
        {"alarm and failure on both barriers", StateRecord{}, couple(0, 0, 0, Alarm | Failure),
         {"1:alarm+", "1:fault+", "2:alarm+", "2:fault+"}},
        {"tamper and disq. name one barrier each", StateRecord{},
         couple(2, 0, 0, TamperFirst | DisqSecond), {"5:tamper+", "6:disq+"}},
        {"blind with stand-by names the first barrier, which also keeps Stb", StateRecord{},
         couple(0, 0, 0, Blind | Standby), {"1:stb+", "1:blind+", "2:stb+"}},
        {"blind alone names the second barrier", StateRecord{}, couple(0, 0, 0, Blind),
         {"2:blind+"}},
        {"stand-by moves from blind-first to plain", couple(0, 0, 0, Blind | Standby),
         couple(0, 0, 0, Standby), {"1:blind-"}},
        {"other couples are untouched", couple(0, 1, 0, 0), couple(0, 1, 0, 0), {}},
    };
    for (const auto& c : cases) EXPECT_EQ(changes(c.prev, c.cur), c.expected) << c.what;
}

TEST(ElementEvents, NamesRoundTripAndRejectOthers) {
    for (int e = 1; e <= Element::Power; ++e) {
        const QString n = elementName(e);
        ASSERT_EQ(elementFromName(n), e) << n.toStdString();
        EXPECT_EQ(kindFromName(kindName(kindOfElement(e))), kindOfElement(e));
    }
    EXPECT_EQ(kindOfElement(3), EventKind::Beam);
    EXPECT_EQ(kindOfElement(Element::Fault), EventKind::Fault);
    for (const char* bad : {"beam0", "beam9", "beam", "Alarm", "", "power "})
        EXPECT_FALSE(elementFromName(QString::fromLatin1(bad))) << bad;
    for (const char* bad : {"beams", "Beam", "failure", ""})
        EXPECT_FALSE(kindFromName(QString::fromLatin1(bad))) << bad;
}

} // namespace
