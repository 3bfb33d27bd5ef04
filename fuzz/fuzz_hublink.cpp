// The hub link against a hub that sends any bytes: the input arrives in chunks
// (a length byte and that many bytes) whenever the link writes or waits, on a
// fake clock. The acquisition runs the two timers as the window does, records
// to a file, and is stopped; the recording must then read back whole, from
// the start record to the end record, with no repeated state.
#include "fuzzsupport.h"
#include "monitor/datafile.h"
#include "monitor/hublink.h"
#include "monitor/ricevidati.h"
#include "monitor/settings/settingsdecoders.h"

using namespace fuzzsupport;

namespace {

class Host final : public hub::HubLinkHost {
public:
    explicit Host(hub::HubState& s) : st(s) {}
    bool riceviSetSW(std::uint8_t kind, const std::array<std::uint8_t, hub::kSwBlockSize>& b) override {
        return hub::RiceviSet_SW(model, st, kind, b, false);
    }
    bool riceviSetTC(std::uint8_t kind, const std::array<std::uint8_t, hub::kTcBlockSize>& b) override {
        QString caption;
        return hub::RiceviSet_TC(model, st, kind, b, false, &caption);
    }
    void riceviDati(const hub::StateRecord& s) override {
        hub::RiceviDati(model, st, s, true, true, false);
    }
    void recordingFailed(const QString&) override { broken("writing the recording failed"); }

    hub::MonitorModel model;
    hub::HubState& st;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    initQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static const QString recPath = scratchPath("link.dat");
    Bytes in(data, size);
    FakeClock clock;
    ChunkLine line(clock, in);
    hub::HubState st;
    Host host(st);
    hub::HubLink link(line, clock, st, host);
    double stamp = 46000.0;
    link.timeStamp = [&] { return stamp += 0.00001; };

    hub::DataFileWriter writer;
    if (!writer.create(recPath)) broken("cannot create the recording");
    link.beginAcquisition(&writer);

    // The window's event loop in fake time, until the hub has said all it
    // had to say and the link has had a few more tries.
    int afterEnd = 0;
    for (int step = 0; step < 20000 && afterEnd < 4; ++step) {
        if (line.exhausted()) ++afterEnd;
        if (link.timerSet().enabled) {
            clock.t += std::chrono::milliseconds(link.timerSet().intervalMs);
            link.TimerComSetTimer();
        } else if (link.timerDati().enabled) {
            clock.t += std::chrono::milliseconds(link.timerDati().intervalMs);
            link.TimerComDatiTimer();
        } else {
            broken("neither timer is armed during an acquisition");
        }
        if (link.timerSet().enabled && link.timerDati().enabled) broken("both timers armed");
    }
    const std::uint64_t applied = link.counter();
    const QString err = link.endAcquisition([] {});
    if (!err.isEmpty()) broken("the stop reported a device error on a healthy line");
    if (writer.isOpen()) broken("the recording is still open after the stop");

    hub::DataFileReader r;
    if (!r.open(recPath)) broken("cannot reopen the recording");
    double start = 0;
    if (!r.readStart(start)) broken("no start record");
    hub::DataRecord rec;
    hub::StateRecord last{};
    bool haveLast = false;
    std::uint64_t states = 0;
    while (r.next(rec)) {
        if (rec.type != hub::kRecordState) continue;
        ++states;
        if (haveLast && rec.state == last) broken("an unchanged state was recorded");
        last = rec.state;
        haveLast = true;
    }
    if (r.stopReason() != hub::StopReason::EndRecord) broken("the recording does not end with its end record");
    if (states > applied) broken("more states recorded than received");
    return 0;
}
