#include "recording.h"

#include "monitor/display/zoom.h"
#include "monitor/replay.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace hub;

// A recording that holds several acquisitions plays through them: each start
// record after an end record resets the display, the counter and the start
// time as a new acquisition does; anything else after an end record is not read.
TEST(Acquisitions, EachStartAfterAnEndResetsAndPlaysOn) {
    const std::uint8_t sw[kSwBlockSize] = {0xFF, 0x0F, 0x11, 0x22, 0x33, 0x44, 0x0F, 0xE4, 0x00};
    const double t1 = testrec::at(2026, 12, 8, 1), t2 = testrec::at(2026, 12, 8, 2);
    const auto beams = [](std::uint8_t b) { return testrec::coupleRecord(0, b, 0, 0); };
    using R = std::vector<testrec::Bytes>;
    struct Case {
        const char* name;
        R records;
        std::int64_t records_, counter;
        double start;
        StopReason reason;
        std::int64_t beam1Count; // barrier 1, beam 1
        bool barrierShown;       // barrier 1 visible: a block reached it since the last start
    } cases[] = {
        {"second acquisition plays",
         {testrec::startEnd(t1), testrec::settings(t1, 0x40, sw), testrec::state(t1, beams(1)),
          testrec::startEnd(t1), testrec::startEnd(t2), testrec::settings(t2, 0x40, sw),
          testrec::state(t2, beams(0)), testrec::state(t2, beams(1)), testrec::state(t2, beams(0))},
         9, 3, t2, StopReason::EndOfFile, 1, true},
        {"a new start with no block yet shows the reset display",
         {testrec::startEnd(t1), testrec::settings(t1, 0x40, sw), testrec::state(t1, beams(1)),
          testrec::startEnd(t1), testrec::startEnd(t2)},
         5, 0, t2, StopReason::EndOfFile, 0, false},
        {"closed twice",
         {testrec::startEnd(t1), testrec::settings(t1, 0x40, sw), testrec::startEnd(t1),
          testrec::startEnd(t2), testrec::settings(t2, 0x40, sw), testrec::state(t2, beams(1)),
          testrec::startEnd(t2), testrec::state(t2, beams(0))},
         7, 1, t2, StopReason::EndRecord, 1, true},
        {"state records after an end are not read",
         {testrec::startEnd(t1), testrec::settings(t1, 0x40, sw), testrec::state(t1, beams(1)),
          testrec::startEnd(t1), testrec::state(t2, beams(0)), testrec::startEnd(t2)},
         4, 1, t1, StopReason::EndRecord, 1, true},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath("f.dat");
        ASSERT_TRUE(testrec::writeFile(path, c.records));
        MonitorModel m;
        HubState hub;
        const auto out = replayFile(path, m, hub, false,
                                    [&](bool hide) { resetDisplay(m, hub, hide, false); });
        ASSERT_TRUE(out);
        EXPECT_EQ(out->records, c.records_);
        EXPECT_EQ(out->counter, c.counter);
        EXPECT_EQ(out->start, c.start);
        EXPECT_EQ(out->reason, c.reason);
        EXPECT_EQ(m.led(1, 1).count, c.beam1Count);
        EXPECT_EQ(m.barrier(1).visible, c.barrierShown);
    }
}
