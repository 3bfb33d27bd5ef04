// The link's recording when the disk fills up: the acquisition goes on, the
// recording pauses on a whole record and resumes with what the file needs.
#include "fakehub.h"
#include "filelimit.h"
#include "monitor/datafile.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>


using namespace linktest;

TEST(LinkRecording, AFullDiskPausesTheRecordingAndItResumesWithTheSettingsItMissed) {
    FakeClock clock;
    FakeHub line{clock};
    hub::HubState st;
    FakeHost host{st};
    hub::HubLink link{line, clock, st, host};
    link.timeStamp = [] { return 46000.5; };
    line.answer = swAnswer();
    line.record = [](long k) {
        hub::StateRecord r;
        r.fill(static_cast<std::uint8_t>(k + 1)); // every record a change
        return r;
    };
    line.pauseBefore[20] = 2000ms; // the hub stalls once: a reconnect
    // The window's timers, in fake time.
    auto runFor = [&](std::chrono::milliseconds span) {
        const SteadyTime until = clock.t + span;
        while (clock.t < until) {
            if (link.timerSet().enabled) {
                clock.t += std::chrono::milliseconds(link.timerSet().intervalMs);
                link.TimerComSetTimer();
            } else if (link.timerDati().enabled) {
                clock.t += 1ms;
                link.TimerComDatiTimer();
            } else {
                break;
            }
        }
    };
    QTemporaryDir dir;
    const QString path = dir.filePath("rec.dat");
    hub::DataFileWriter writer;
    ASSERT_TRUE(writer.create(path));
    link.beginAcquisition(&writer);
    clock.t += 1000ms;
    link.TimerComSetTimer();
    ASSERT_TRUE(link.timerDati().enabled);
    const qint64 base = 9 + 19;
    ASSERT_EQ(writer.size(), base);
    {
        testtool::FileSizeLimit full(static_cast<rlim_t>(base + 2 * 21 + 5));
        link.TimerComDatiTimer(); // six records: two go in, then the disk is full
        EXPECT_EQ(link.counter(), 6u); // the acquisition goes on
        ASSERT_EQ(host.failures.size(), 1);
        EXPECT_TRUE(host.failures[0].startsWith(path + ": ")) << host.failures[0].toStdString();
        EXPECT_EQ(QFileInfo(path).size(), base + 2 * 21);
        // The stall and the reconnect come while it is full: the new settings
        // cannot be written either.
        runFor(10000ms);
        EXPECT_GT(link.counter(), 26u); // streaming again after the reconnect
        EXPECT_EQ(host.failures.size(), 1); // once a pause, not once a record
        EXPECT_EQ(QFileInfo(path).size(), base + 2 * 21);
        full.lift();
        runFor(500ms);
    }
    link.endAcquisition([] {});

    hub::DataFileReader r;
    double start = 0;
    ASSERT_TRUE(r.open(path));
    ASSERT_TRUE(r.readStart(start));
    std::string types;
    hub::DataRecord rec;
    while (r.next(rec)) types += rec.type == hub::kRecordSettings ? 'S' : 's';
    EXPECT_EQ(r.stopReason(), hub::StopReason::EndRecord);
    // The settings of the connection it resumed in come before its states.
    ASSERT_GT(types.size(), 5u);
    EXPECT_EQ(types.substr(0, 4), "SssS") << types;
    EXPECT_EQ(types.find('S', 4), std::string::npos) << types;
}
