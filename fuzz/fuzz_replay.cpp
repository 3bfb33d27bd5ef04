// Any bytes as a recording: the strict reader and the replay must agree on
// where and why reading stops and on how many state records were applied,
// and neither may crash, hang or read out of bounds. The replay applies its
// records in batches; the monitor it leaves must be the one the records give
// applied one by one, as the live link does.
#include "monitor/datafile.h"
#include "monitor/display/zoom.h"
#include "monitor/replay.h"
#include "monitor/ricevidati.h"
#include "monitor/settings/settingsdecoders.h"

#include <algorithm>
#include <array>

#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace {

int memFile() {
    static const int fd = memfd_create("fuzz_replay", 0);
    return fd;
}

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_replay: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const int fd = memFile();
    if (fd < 0) return 0;
    if (ftruncate(fd, 0) != 0) return 0;
    if (size > 0 && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
    const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);

    // The strict scan, each record applied at once.
    const bool compact = size % 2 == 1; // compact or not by the size's parity
    hub::MonitorModel one;
    hub::HubState oneHub;
    hub::resetDisplay(one, oneHub, true, compact);
    hub::DataFileReader reader;
    check(reader.open(path), "reader cannot open");
    std::int64_t states = 0;
    std::int64_t records = 0;
    double start = 0;
    if (reader.readStart(start)) {
        records = 1;
        hub::DataRecord r;
        while (reader.next(r)) {
            ++records;
            if (r.type == hub::kRecordState) {
                ++states;
                hub::RiceviDati(one, oneHub, r.state, false, false, compact);
            } else {
                check(r.type == hub::kRecordSettings, "reader returned an odd type");
                if (hub::isSwHub(r.hubKind)) {
                    std::array<std::uint8_t, hub::kSwBlockSize> sw{};
                    std::copy_n(r.block.begin(), hub::kSwBlockSize, sw.begin());
                    hub::RiceviSet_SW(one, oneHub, r.hubKind, sw, compact);
                } else {
                    hub::RiceviSet_TC(one, oneHub, r.hubKind, r.block, compact, nullptr);
                }
            }
        }
    }
    const hub::StopReason why = reader.stopReason();
    if (why == hub::StopReason::NoStartRecord || why == hub::StopReason::UnknownType)
        hub::resetDisplay(one, oneHub, false, compact);

    // The replay. The strict scan ends at the first end record, where the
    // replay goes on when another acquisition starts: it reads as far.
    hub::MonitorModel m;
    hub::HubState hub;
    int idleResets = 0;
    const std::int64_t limit = why == hub::StopReason::EndRecord ? records + 1 : -1;
    const auto out = hub::replayFile(
        path, m, hub, compact,
        [&](bool hide) {
            if (!hide) ++idleResets;
            hub::resetDisplay(m, hub, hide, compact);
        },
        nullptr, {}, limit);
    check(out.has_value(), "replay cannot open");
    check(out->reason == reader.stopReason(), "stop reasons differ");
    check(out->counter == states, "state record counts differ");
    check(out->stopOffset == reader.stopOffset(), "stop offsets differ");
    check(out->idleReset == (idleResets == 1), "idle reset not reported as done");
    check(static_cast<size_t>(out->counter) * 21 <= size, "more records than bytes");
    check(m == one, "the batched replay and record-by-record application differ");
    check(hub.blink == oneHub.blink, "blink countdowns differ from record-by-record application");
    check(hub.previous == oneHub.previous, "last record differs from record-by-record application");
    for (int b = 0; b < 8; ++b) check(hub.blink[b] >= 0 && hub.blink[b] <= 60, "blink countdown");
    for (int c = 1; c <= 4; ++c)
        check(m.bars[c - 1].progress >= 0 && m.bars[c - 1].progress <= 100, "power bar");
    return 0;
}
