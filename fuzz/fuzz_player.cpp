// Any bytes as a recording in the replay player: the index built over them
// must count the records a replay reads, and the state at any position, got by
// seeking there or by playing on, must be the replay of the file cut after
// that record. Event searches must agree with the events listed, and nothing
// may crash, hang or read out of bounds. The first input byte sets how finely
// the index divides the file and the seed of the positions tried.
#include "fuzzsupport.h"

#include "monitor/display/zoom.h"
#include "monitor/player/replayindex.h"
#include "monitor/replay.h"

#include <random>
#include <vector>

namespace {

// Where each record a replay reads ends, walked here byte by byte: a start
// record first; state 21 bytes, settings 19 or 80, type 100 9; after an end
// record only a start record goes on; an unknown type is read and stops it.
std::vector<size_t> recordEnds(const std::uint8_t* d, size_t size) {
    std::vector<size_t> ends{0};
    size_t at = 0;
    bool ended = false;
    while (at + 9 <= size) {
        const std::uint8_t type = d[at];
        size_t len = 9;
        if (ends.size() == 1 && type != hub::kRecordStartEnd) break;
        if (ended && type != hub::kRecordStartEnd) break;
        if (!ended && type == hub::kRecordState) len = 21;
        if (!ended && type == hub::kRecordSettings) {
            if (at + 10 > size) break;
            len = 10 + static_cast<size_t>(hub::settingsBlockSize(d[at + 9]));
        }
        if (at + len > size) break;
        at += len;
        ends.push_back(at);
        const bool known = type == hub::kRecordState || type == hub::kRecordSettings ||
                           type == hub::kRecordStartEnd;
        if (!known) break;
        if (type == hub::kRecordStartEnd) ended = ends.size() > 2 && !ended;
    }
    return ends;
}

struct Shown {
    hub::MonitorModel m;
    hub::HubState hub;
    hub::ReplayOutcome out;
};

bool same(const Shown& a, const Shown& b) {
    return a.m == b.m && a.hub.previous == b.hub.previous && a.hub.blink == b.hub.blink &&
           a.hub.versHub == b.hub.versHub && a.hub.hubKind == b.hub.hubKind && a.hub.sw == b.hub.sw &&
           a.hub.tc == b.hub.tc && a.hub.stream.blinkCount == b.hub.stream.blinkCount &&
           a.out.counter == b.out.counter && a.out.records == b.out.records &&
           a.out.reason == b.out.reason && a.out.stopOffset == b.out.stopOffset &&
           a.out.hasStart == b.out.hasStart && a.out.windowCaption == b.out.windowCaption &&
           (a.out.start == b.out.start || (a.out.start != a.out.start && b.out.start != b.out.start));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static fuzzsupport::InputFile whole, cut;
    const std::uint8_t knob = data[0];
    ++data;
    --size;
    const QString& path = whole.write(data, size);
    const bool compact = knob & 0x80;

    hub::ReplayIndex index;
    index.setGranularity(1 + (knob & 3), knob >> 2 & 3, 1 + (knob >> 4 & 7));
    if (!index.build(path)) fuzzsupport::broken("index cannot be built");
    const std::vector<size_t> ends = recordEnds(data, size);
    const auto n = static_cast<std::int64_t>(ends.size()) - 1;
    if (index.recordCount() != n) fuzzsupport::broken("record count");

    std::mt19937 rng(knob);
    Shown player;
    std::int64_t at = -1;
    for (int i = 0; i < 6; ++i) {
        const auto k = static_cast<std::int64_t>(rng() % static_cast<unsigned>(n + 1));
        // Seek, or play on when the new position is ahead.
        if (at >= 0 && k >= at && i % 2)
            player.out = index.stepForward(at, player.out, k, player.m, player.hub, compact);
        else
            player.out = index.stateAfter(k, player.m, player.hub, compact);
        at = k;
        Shown fresh;
        const QString& cutPath = cut.write(data, ends[static_cast<size_t>(k)]);
        const auto out = hub::replayFile(cutPath, fresh.m, fresh.hub, compact, [&](bool hide) {
            hub::resetDisplay(fresh.m, fresh.hub, hide, compact);
        });
        if (!out) fuzzsupport::broken("cut file cannot be replayed");
        fresh.out = *out;
        if (!same(player, fresh)) fuzzsupport::broken("state at a position differs from the cut file");
    }

    // Searches against the list.
    std::vector<hub::PlayerEvent> all;
    index.eventsBetween(1, n, all);
    for (size_t i = 1; i < all.size(); ++i)
        if (all[i].record < all[i - 1].record) fuzzsupport::broken("events out of order");
    for (int i = 0; i < 4; ++i) {
        const auto from = static_cast<std::int64_t>(rng() % static_cast<unsigned>(n + 2));
        const int barrier = static_cast<int>(rng() % 9);
        const auto next = index.nextEvent(from, barrier, std::nullopt);
        const hub::PlayerEvent* want = nullptr;
        for (const hub::PlayerEvent& e : all)
            if (e.record > from && (barrier == 0 || e.barrier == barrier)) {
                want = &e;
                break;
            }
        // Stamps may be NaN here: the event is its record, barrier, element and direction.
        if (next.has_value() != (want != nullptr) ||
            (want && (next->record != want->record || next->barrier != want->barrier ||
                      next->element != want->element || next->on != want->on)))
            fuzzsupport::broken("next event differs from the list");
        const std::int64_t until = index.recordsUntil(index.timeOf(1 + from % (n + 1)));
        if (until < 0 || until > n) fuzzsupport::broken("recordsUntil out of range");
    }
    std::vector<hub::LaneColumn> lanes;
    index.laneSummary(index.minTime(), index.maxTime() + 1e-6, 1 + knob % 97, lanes);
    return 0;
}
