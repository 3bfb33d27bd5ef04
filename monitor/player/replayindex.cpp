#include "monitor/player/replayindex.h"

#include "common/tdatetime.h"
#include "monitor/display/zoom.h"
#include "monitor/player/displaystate.h"
#include "monitor/settings/settingsdecoders.h"

#include <QRegularExpression>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace hub {

namespace {

// Records are read back a block at a time; the strip's columns are made of
// groups. A block's summary lets a search skip it; a group's lets a wide zoom
// draw without reading the file.
constexpr int kDefaultBlockShift = 12;
constexpr int kDefaultGroupShift = 8;
// Model snapshots every so many state records: a seek replays at most this
// many (a few milliseconds).
constexpr std::int64_t kDefaultSnapshotEvery = std::int64_t{1} << 18;
constexpr std::size_t kMaxMarks = 100000;
constexpr int kDecodedBlocksKept = 8;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kMaxFinite = std::numeric_limits<double>::max();

// The status elements (9..14) active for a status byte, bit e - 9, on the
// first and the second barrier of a couple: the change list's rule, tabled.
struct StatusTable {
    std::array<std::array<std::uint8_t, 256>, 2> active{};
    std::array<std::uint16_t, 256> both{}; // the first's in the low byte, the second's in the high one
    StatusTable() {
        for (unsigned s = 0; s < 256; ++s)
            for (int second = 0; second < 2; ++second) {
                const StateRecord r = [&] {
                    StateRecord x{};
                    x[2] = static_cast<std::uint8_t>(s);
                    return x;
                }();
                active[static_cast<size_t>(second)][s] =
                    static_cast<std::uint8_t>(activeElements(r, 1 + second) >> 8);
            }
        for (size_t s = 0; s < 256; ++s)
            both[s] = static_cast<std::uint16_t>(active[0][s] | active[1][s] << 8);
    }
};
const StatusTable& statusTable() {
    static const StatusTable t;
    return t;
}

// The player's clock: the last finite stamp and the time taken out so far.
struct PlayClock {
    double last = std::numeric_limits<double>::quiet_NaN();
    double shift = 0.0;
    // Steps to a record stamped t; true when the clock went back.
    bool step(double t) {
        if (!std::isfinite(t)) return false;
        bool back = false;
        if (std::isfinite(last) && t < last) {
            shift += last - t;
            back = true;
        }
        last = t;
        return back;
    }
    double now() const { return std::isfinite(last) ? last + shift : 0.0; }
};

int recordSize(std::uint8_t type, std::uint8_t hubKind) {
    switch (type) {
    case kRecordState: return kRecordHeaderSize + 12;
    case kRecordSettings: return kRecordHeaderSize + 1 + settingsBlockSize(hubKind);
    default: return kRecordHeaderSize;
    }
}

std::uint16_t bitOf(EventKind k) { return static_cast<std::uint16_t>(1u << static_cast<int>(k)); }
std::uint16_t bitOf(MarkKind k) { return static_cast<std::uint16_t>(1u << static_cast<int>(k)); }

} // namespace

struct ReplayIndex::Data {
    // Where a block starts and what reading it back needs to know.
    struct Block {
        qint64 offset = 0;
        StateRecord prev{};                      // the state before its first record
        std::array<int, 4> levels{-1, -1, -1, -1}; // power levels before it
        bool afterEnd = false;                   // its first record follows an end record
        PlayClock clock;                         // before its first record
        double prefixMax = -kInf;                // the latest stamp up to its end (NaN left out)
        double firstPlay = 0.0;                  // play time of its first record
        std::array<std::uint8_t, 8> kinds{};     // per barrier, bit k: an event of EventKind k
        bool anyEvent() const {
            std::uint64_t k;
            std::memcpy(&k, kinds.data(), 8);
            return k != 0;
        }
    };
    struct Group {
        double minTime = kInf, maxTime = -kInf; // finite stamps
        LaneColumn lanes{};
    };
    struct Snapshot {
        std::int64_t records = 0;
        qint64 offset = 0; // of the next record
        ReplayOutcome out;
        player::DisplayState display;
    };
    struct SnapshotSet {
        bool made = false;
        std::vector<Snapshot> list; // by records ascending; the last one at N
    };
    // A block read back from the file.
    struct Decoded {
        std::int64_t block = -1;
        std::vector<double> times, plays;
        std::vector<qint64> offsets; // where each record starts
        std::vector<PlayerEvent> events;
        std::vector<Mark> marks;
        std::uint64_t used = 0;
    };

    int blockShift = kDefaultBlockShift;
    std::int64_t blockRecords = std::int64_t{1} << kDefaultBlockShift;
    int groupShift = kDefaultGroupShift;
    std::int64_t snapshotEvery = kDefaultSnapshotEvery;
    QString path;
    bool built = false;
    std::int64_t count = 0;
    double minTime = 0.0, maxTime = 0.0;
    std::vector<Block> blocks;
    std::vector<Group> groups;
    std::vector<Mark> marks;
    bool marksComplete = true;
    SnapshotSet snapshots[2]; // by compact
    mutable std::array<Decoded, kDecodedBlocksKept> decoded;
    mutable std::uint64_t useClock = 0;
    mutable RecordFile file;

    const Decoded& decode(std::int64_t b) const;
    void makeSnapshots(bool compact, const std::function<bool(double)>& progress, bool withIndex,
                       bool* cancelled);
};

namespace {

// The index's half of the build: every record as the replay reads it.
class IndexTap final : public ReplayTap {
public:
    IndexTap(ReplayIndex::Data& d, bool withIndex, bool compact, qint64 size,
             const std::function<bool(double)>& progress, const MonitorModel& m, const HubState& hub)
        : d_(d), withIndex_(withIndex), compact_(compact), size_(std::max<qint64>(size, 1)),
          progress_(progress), m_(m), hub_(hub) {}

    void stateRecords(std::int64_t first, const std::uint8_t* recs, const double* times,
                      int n) override {
        if (!withIndex_) return;
        const std::uint16_t* st = statusTable().both.data();
        const std::int64_t groupMask = (std::int64_t{1} << d_.groupShift) - 1;
        ReplayIndex::Data::Group* g = d_.groups.empty() ? nullptr : &d_.groups.back();
        ReplayIndex::Data::Block* blk = d_.blocks.empty() ? nullptr : &d_.blocks.back();
        std::uint64_t p0;
        std::uint32_t p1;
        std::memcpy(&p0, prev_.data(), 8);
        std::memcpy(&p1, prev_.data() + 8, 4);
        // What changed in the group so far: the record's bytes (beams) and
        // the status elements of each couple's two barriers (16 bits a couple,
        // the first barrier's in the low byte).
        std::uint64_t beams0 = 0, status = 0;
        std::uint32_t beams1 = 0;
        const auto statusOf = [st](std::uint64_t r0, std::uint32_t r1) {
            return std::uint64_t{st[(r0 >> 16) & 0xFF]} | std::uint64_t{st[(r0 >> 40) & 0xFF]} << 16 |
                   std::uint64_t{st[r1 & 0xFF]} << 32 | std::uint64_t{st[r1 >> 24]} << 48;
        };
        std::uint64_t prevStatus = statusOf(p0, p1);
        const auto flush = [&] {
            const std::uint8_t* x0 = reinterpret_cast<const std::uint8_t*>(&beams0);
            const std::uint8_t* x1 = reinterpret_cast<const std::uint8_t*>(&beams1);
            for (size_t b = 0; b < 8; ++b) {
                // Barrier b's beam byte: 0, 1, 3, 4, 6, 7, 9, 10.
                const size_t j = 3 * (b / 2) + b % 2;
                const bool beam = (j < 8 ? x0[j] : x1[j - 8]) != 0;
                const auto k = static_cast<std::uint8_t>(
                    beam | ((status >> (16 * (b / 2) + 8 * (b % 2))) & 0x3F) << 1);
                g->lanes[b] |= k;
                blk->kinds[b] |= k;
            }
            beams0 = status = 0;
            beams1 = 0;
        };
        for (int i = 0; i < n; ++i) {
            const std::int64_t number = first + i;
            const double t = times[i];
            if ((number - 1) & groupMask && t >= clock_.last && t <= kMaxFinite) {
                // The common case: within a group, the clock going on.
                offset_ += kRecordHeaderSize + 12;
                clock_.last = t;
                if (t > blk->prefixMax) blk->prefixMax = t;
                g->minTime = std::min(g->minTime, t);
                g->maxTime = std::max(g->maxTime, t);
            } else {
                if (g) flush();
                std::memcpy(prev_.data(), &p0, 8); // a new block starts from it
                std::memcpy(prev_.data() + 8, &p1, 4);
                record(number, t, kRecordHeaderSize + 12);
                g = &d_.groups.back();
                blk = &d_.blocks.back();
            }
            std::uint64_t c0;
            std::uint32_t c1;
            std::memcpy(&c0, recs + 16 * i, 8);
            std::memcpy(&c1, recs + 16 * i + 8, 4);
            beams0 |= c0 ^ p0;
            beams1 |= c1 ^ p1;
            const std::uint64_t curStatus = statusOf(c0, c1);
            status |= curStatus ^ prevStatus;
            prevStatus = curStatus;
            p0 = c0;
            p1 = c1;
        }
        if (g) flush();
        std::memcpy(prev_.data(), &p0, 8);
        std::memcpy(prev_.data() + 8, &p1, 4);
    }

    void otherRecord(std::int64_t number, std::uint8_t type, double time, std::uint8_t hubKind,
                     const std::uint8_t* block, bool start) override {
        if (!withIndex_) return;
        record(number, time, recordSize(type, hubKind));
        ended_ = false;
        if (type == kRecordStartEnd) {
            mark(number, time, start ? MarkKind::Start : MarkKind::End);
            if (start) {
                prev_ = StateRecord{};
                levels_ = {-1, -1, -1, -1};
            } else {
                ended_ = true;
            }
        } else if (type == kRecordSettings) {
            mark(number, time, MarkKind::Settings);
            ReplayIndex::Data::Block& blk = d_.blocks.back();
            forEachPowerChange(levels_, powerLevels(hubKind, block), [&](int b, int, bool, int) {
                d_.groups.back().lanes[static_cast<size_t>(b - 1)] |= bitOf(EventKind::Power);
                blk.kinds[static_cast<size_t>(b - 1)] |= bitOf(EventKind::Power);
            });
        }
    }

    bool settled(const ReplayOutcome& soFar, qint64 nextOffset) override {
        snapshot(soFar, nextOffset);
        return !progress_ || progress_(static_cast<double>(nextOffset) / static_cast<double>(size_));
    }

    // The state a cut after the last record read would show.
    void finish(const ReplayOutcome& out) {
        if (withIndex_) d_.count = out.records;
        // A file with no start record shows what an empty one does: no snapshot.
        if (out.records == 0) return;
        ReplayOutcome last = out;
        // The record cut short is not one of the N: after record N the file ends.
        if (last.reason == StopReason::CutShort) last.reason = StopReason::EndOfFile;
        snapshot(last, last.stopOffset);
    }

private:
    void snapshot(const ReplayOutcome& soFar, qint64 nextOffset) {
        auto& list = d_.snapshots[compact_ ? 1 : 0].list;
        ReplayIndex::Data::Snapshot s;
        s.records = soFar.records;
        s.offset = nextOffset;
        s.out = soFar;
        s.display.capture(m_, hub_);
        list.push_back(std::move(s));
    }

    // Every record, before what its type adds.
    void record(std::int64_t number, double t, int size) {
        if (((number - 1) & (d_.blockRecords - 1)) == 0) {
            ReplayIndex::Data::Block b;
            b.offset = offset_;
            b.prev = prev_;
            b.levels = levels_;
            b.afterEnd = ended_;
            b.clock = clock_;
            b.prefixMax = d_.blocks.empty() ? -kInf : d_.blocks.back().prefixMax;
            d_.blocks.push_back(b);
            firstOfBlock_ = true;
        }
        if (((number - 1) & ((std::int64_t{1} << d_.groupShift) - 1)) == 0) d_.groups.emplace_back();
        offset_ += size;
        ReplayIndex::Data::Block& blk = d_.blocks.back();
        if (t > blk.prefixMax) blk.prefixMax = t;
        if (clock_.step(t)) mark(number, t, MarkKind::ClockBack);
        if (firstOfBlock_) {
            blk.firstPlay = clock_.now();
            firstOfBlock_ = false;
        }
        if (std::isfinite(t)) {
            ReplayIndex::Data::Group& g = d_.groups.back();
            g.minTime = std::min(g.minTime, t);
            g.maxTime = std::max(g.maxTime, t);
        }
    }

    void mark(std::int64_t number, double t, MarkKind k) {
        d_.groups.back().lanes[kMarkLane] |= bitOf(k);
        if (d_.marks.size() < kMaxMarks)
            d_.marks.push_back({number, t, k});
        else
            d_.marksComplete = false;
    }

    ReplayIndex::Data& d_;
    const bool withIndex_;
    const bool compact_;
    const qint64 size_;
    const std::function<bool(double)>& progress_;
    const MonitorModel& m_;
    const HubState& hub_;
    qint64 offset_ = 0;
    StateRecord prev_{};
    std::array<int, 4> levels_{-1, -1, -1, -1};
    bool ended_ = false;
    bool firstOfBlock_ = false;
    PlayClock clock_;
};

} // namespace

void ReplayIndex::Data::makeSnapshots(bool compact, const std::function<bool(double)>& progress,
                                      bool withIndex, bool* cancelled) {
    MonitorModel m;
    HubState hub;
    resetDisplay(m, hub, true, compact);
    Replayer r(m, hub);
    if (!r.open(path)) return; // the index stands as built; seeks replay from the start
    IndexTap tap(*this, withIndex, compact, r.fileSize(), progress, m, hub);
    r.setTap(&tap);
    const ReplayOutcome out =
        r.run(compact, [&](bool hide) { resetDisplay(m, hub, hide, compact); }, {}, snapshotEvery);
    if (out.reason == StopReason::None) { // the progress call said stop
        if (cancelled) *cancelled = true;
        return;
    }
    tap.finish(out);
    snapshots[compact ? 1 : 0].made = true;
}

ReplayIndex::ReplayIndex() : d_(std::make_unique<Data>()) {}
ReplayIndex::~ReplayIndex() = default;

bool ReplayIndex::build(const QString& path, QString* error,
                        const std::function<bool(double)>& progress) {
    d_ = std::make_unique<Data>();
    Data& d = *d_;
    d.blockShift = granularity_.blockShift;
    d.blockRecords = std::int64_t{1} << d.blockShift;
    d.groupShift = granularity_.groupShift;
    d.snapshotEvery = granularity_.snapshotEvery;
    {
        RecordFile probe;
        if (!probe.open(path, error)) return false;
    }
    d.path = path;
    bool cancelled = false;
    d.makeSnapshots(false, progress, true, &cancelled);
    if (cancelled || !d.snapshots[0].made) {
        d_ = std::make_unique<Data>();
        if (error) error->clear();
        return false;
    }
    d.minTime = kInf;
    d.maxTime = -kInf;
    for (const Data::Group& g : d.groups) {
        d.minTime = std::min(d.minTime, g.minTime);
        d.maxTime = std::max(d.maxTime, g.maxTime);
    }
    if (!(d.minTime <= d.maxTime)) d.minTime = d.maxTime = 0.0;
    d.blocks.shrink_to_fit();
    d.groups.shrink_to_fit();
    d.marks.shrink_to_fit();
    if (progress) progress(1.0);
    d.built = true;
    return true;
}

void ReplayIndex::setGranularity(int blockShift, int groupShift, std::int64_t snapshotEvery) {
    blockShift = std::clamp(blockShift, 1, 24);
    granularity_ = {blockShift, std::clamp(groupShift, 0, blockShift), std::max<std::int64_t>(snapshotEvery, 1)};
}

bool ReplayIndex::isBuilt() const { return d_->built; }
QString ReplayIndex::path() const { return d_->path; }
std::int64_t ReplayIndex::recordCount() const { return d_->count; }

const ReplayIndex::Data::Decoded& ReplayIndex::Data::decode(std::int64_t b) const {
    Decoded* slot = &decoded[0];
    for (Decoded& k : decoded) {
        if (k.block == b) {
            k.used = ++useClock;
            return k;
        }
        if (k.used < slot->used) slot = &k;
    }
    Decoded& out = *slot;
    out.block = b;
    out.used = ++useClock;
    out.times.clear();
    out.plays.clear();
    out.offsets.clear();
    out.events.clear();
    out.marks.clear();
    const Block& blk = blocks[static_cast<size_t>(b)];
    const std::int64_t first = b * blockRecords + 1;
    const std::int64_t last = std::min(count, first + blockRecords - 1);
    if (!file.isOpen() && !file.open(path)) return out;
    if (!file.seek(blk.offset)) return out;
    StateRecord prev = blk.prev;
    std::array<int, 4> levels = blk.levels;
    bool ended = blk.afterEnd;
    PlayClock clock = blk.clock;
    for (std::int64_t n = first; n <= last; ++n) {
        std::uint8_t type = 0;
        double t = 0.0;
        const qint64 at = file.offset();
        if (!file.readHeader(type, t)) break; // the file changed since
        out.offsets.push_back(at);
        const auto mark = [&](MarkKind k) { out.marks.push_back({n, t, k}); };
        if (clock.step(t)) mark(MarkKind::ClockBack);
        out.times.push_back(t);
        out.plays.push_back(clock.now());
        if (type == kRecordState) {
            StateRecord cur;
            if (!file.readState(cur)) break;
            // forEachElementChange with the status rule tabled: barriers
            // ascending, elements ascending.
            const auto& st = statusTable().active;
            for (int c = 0; c < 4; ++c) {
                const int j = 3 * c;
                if (prev[j] == cur[j] && prev[j + 1] == cur[j + 1] && prev[j + 2] == cur[j + 2]) continue;
                for (int second = 0; second < 2; ++second) {
                    const unsigned was = prev[j + second] | unsigned{st[second][prev[j + 2]]} << 8;
                    const unsigned now = cur[j + second] | unsigned{st[second][cur[j + 2]]} << 8;
                    for (unsigned d = was ^ now; d; d &= d - 1) {
                        const int e = std::countr_zero(d);
                        out.events.push_back({n, t, 2 * c + second + 1, e + 1, ((now >> e) & 1u) != 0, -1});
                    }
                }
            }
            prev = cur;
        } else if (type == kRecordSettings) {
            std::uint8_t kind = 0;
            std::uint8_t block[kTcBlockSize];
            int length = 0;
            if (!file.readSettings(kind, block, length)) break;
            mark(MarkKind::Settings);
            forEachPowerChange(levels, powerLevels(kind, block), [&](int bar, int e, bool on, int level) {
                out.events.push_back({n, t, bar, e, on, level});
            });
        } else if (type == kRecordStartEnd) {
            const bool start = n == 1 || ended;
            mark(start ? MarkKind::Start : MarkKind::End);
            ended = !start;
            if (start) {
                prev = StateRecord{};
                levels = {-1, -1, -1, -1};
            }
        }
    }
    return out;
}

double ReplayIndex::timeOf(std::int64_t n) const {
    if (n < 1 || n > recordCount()) return 0.0;
    const Data::Decoded& b = d_->decode((n - 1) >> d_->blockShift);
    const auto i = static_cast<size_t>((n - 1) & (d_->blockRecords - 1));
    return i < b.times.size() ? b.times[i] : 0.0;
}
double ReplayIndex::firstTime() const { return timeOf(1); }
double ReplayIndex::lastTime() const { return timeOf(recordCount()); }
double ReplayIndex::minTime() const { return d_->minTime; }
double ReplayIndex::maxTime() const { return d_->maxTime; }

double ReplayIndex::playTimeOf(std::int64_t n) const {
    if (n < 1 || n > recordCount()) return 0.0;
    const Data::Decoded& b = d_->decode((n - 1) >> d_->blockShift);
    const auto i = static_cast<size_t>((n - 1) & (d_->blockRecords - 1));
    return i < b.plays.size() ? b.plays[i] : 0.0;
}

std::int64_t ReplayIndex::recordAtPlayTime(double pt) const {
    const auto& blocks = d_->blocks;
    // The last block starting at or before pt.
    const auto it = std::upper_bound(blocks.begin(), blocks.end(), pt,
                                     [](double v, const Data::Block& b) { return v < b.firstPlay; });
    if (it == blocks.begin()) return 0;
    const auto b = static_cast<std::int64_t>(it - blocks.begin()) - 1;
    const Data::Decoded& dec = d_->decode(b);
    const auto within = std::upper_bound(dec.plays.begin(), dec.plays.end(), pt) - dec.plays.begin();
    return b * d_->blockRecords + within;
}

ReplayOutcome ReplayIndex::stateAfter(std::int64_t n, MonitorModel& m, HubState& hub,
                                      bool compact) const {
    n = std::clamp<std::int64_t>(n, 0, recordCount());
    // A freshly started program: blink countdowns at 0, the stream as before any block.
    hub.blink.fill(0);
    hub.stream = StreamParams{};
    const auto reset = [&](bool hide) { resetDisplay(m, hub, hide, compact); };
    reset(true);
    Data& d = *d_;
    Data::SnapshotSet& set = d.snapshots[compact ? 1 : 0];
    if (d.built && !set.made) d.makeSnapshots(compact, {}, false, nullptr);
    const auto& list = set.list;
    const auto it = std::upper_bound(list.begin(), list.end(), n,
                                     [](std::int64_t v, const Data::Snapshot& s) { return v < s.records; });
    Replayer r(m, hub);
    if (!r.open(d.path)) return ReplayOutcome{};
    if (it == list.begin()) return r.run(compact, reset, {}, INT64_MAX, n);
    const Data::Snapshot& s = *(it - 1);
    s.display.restore(m, hub);
    if (s.out.windowCaption) {
        // The caption names the window's port; the snapshots were made with none.
        ReplayOutcome out = s.out;
        QString& caption = *out.windowCaption;
        const qsizetype at = caption.lastIndexOf(QLatin1String(" --  ZEMBRA MONITOR HUB (V:"));
        if (at >= 0) caption.insert(at, hub.lastPort);
        if (s.records == n && s.records == recordCount()) return out;
        return r.resume(out, s.offset, compact, reset, n - s.records);
    }
    // The last snapshot holds how reading stopped; the file cut there ends the same way.
    if (s.records == n && s.records == recordCount()) return s.out;
    return r.resume(s.out, s.offset, compact, reset, n - s.records);
}

ReplayOutcome ReplayIndex::stepForward(std::int64_t from, const ReplayOutcome& atFrom, std::int64_t to,
                                       MonitorModel& m, HubState& hub, bool compact) const {
    to = std::clamp<std::int64_t>(to, 0, recordCount());
    // Reading goes on only inside an acquisition: after an end record the
    // next start must be recognised as one, which a seek does.
    if (from < 1 || to < from || from > recordCount() || !atFrom.hasStart ||
        atFrom.records != from ||
        (atFrom.reason != StopReason::EndOfFile && atFrom.reason != StopReason::None))
        return stateAfter(to, m, hub, compact);
    if (to == from) return atFrom;
    const Data::Decoded& dec = d_->decode(from >> d_->blockShift); // record from + 1's block
    const auto i = static_cast<size_t>(from & (d_->blockRecords - 1));
    if (i >= dec.offsets.size()) return stateAfter(to, m, hub, compact);
    const qint64 offset = dec.offsets[i];
    Replayer r(m, hub);
    if (!r.open(d_->path)) return stateAfter(to, m, hub, compact);
    ReplayOutcome soFar = atFrom;
    soFar.reason = StopReason::None;
    soFar.stopOffset = 0;
    return r.resume(soFar, offset, compact, [&](bool hide) { resetDisplay(m, hub, hide, compact); },
                    to - from);
}

std::int64_t ReplayIndex::recordsUntil(double t) const {
    const auto& blocks = d_->blocks;
    const auto it = std::upper_bound(blocks.begin(), blocks.end(), t,
                                     [](double v, const Data::Block& b) { return v < b.prefixMax; });
    if (it == blocks.end()) return recordCount();
    const auto b = static_cast<std::int64_t>(it - blocks.begin());
    const Data::Decoded& dec = d_->decode(b);
    for (size_t i = 0; i < dec.times.size(); ++i)
        if (dec.times[i] > t) return b * d_->blockRecords + static_cast<std::int64_t>(i);
    return std::min(recordCount(), (b + 1) * d_->blockRecords);
}

namespace {
bool matches(const PlayerEvent& e, int barrier, std::optional<EventKind> kind) {
    return (barrier == 0 || e.barrier == barrier) && (!kind || e.kind() == *kind);
}
bool blockMayHold(const std::array<std::uint8_t, 8>& kinds, int barrier,
                  std::optional<EventKind> kind) {
    const unsigned want = kind ? bitOf(*kind) : 0xFFu;
    if (barrier >= 1 && barrier <= 8) return (kinds[static_cast<size_t>(barrier - 1)] & want) != 0;
    if (barrier != 0) return false;
    for (std::uint8_t k : kinds)
        if (k & want) return true;
    return false;
}
} // namespace

std::optional<PlayerEvent> ReplayIndex::nextEvent(std::int64_t afterRecord, int barrier,
                                                  std::optional<EventKind> kind) const {
    const auto& blocks = d_->blocks;
    afterRecord = std::max<std::int64_t>(afterRecord, 0);
    for (auto b = afterRecord >> d_->blockShift; b < static_cast<std::int64_t>(blocks.size()); ++b) {
        if (!blockMayHold(blocks[static_cast<size_t>(b)].kinds, barrier, kind)) continue;
        for (const PlayerEvent& e : d_->decode(b).events)
            if (e.record > afterRecord && matches(e, barrier, kind)) return e;
    }
    return std::nullopt;
}

std::optional<PlayerEvent> ReplayIndex::previousEvent(std::int64_t beforeRecord, int barrier,
                                                      std::optional<EventKind> kind) const {
    const auto& blocks = d_->blocks;
    beforeRecord = std::min(beforeRecord, recordCount() + 1);
    if (beforeRecord <= 1) return std::nullopt;
    for (auto b = (beforeRecord - 2) >> d_->blockShift; b >= 0; --b) {
        if (!blockMayHold(blocks[static_cast<size_t>(b)].kinds, barrier, kind)) continue;
        const auto& ev = d_->decode(b).events;
        for (auto it = ev.rbegin(); it != ev.rend(); ++it)
            if (it->record < beforeRecord && matches(*it, barrier, kind)) return *it;
    }
    return std::nullopt;
}

void ReplayIndex::eventsAround(std::int64_t record, int before, int after,
                               std::vector<PlayerEvent>& out) const {
    out.clear();
    const auto& blocks = d_->blocks;
    const auto nb = static_cast<std::int64_t>(blocks.size());
    record = std::clamp<std::int64_t>(record, 0, recordCount());
    std::vector<PlayerEvent> earlier; // newest first
    for (auto b = record >= 1 ? (record - 1) >> d_->blockShift : -1;
         b >= 0 && static_cast<int>(earlier.size()) < before; --b) {
        if (!blocks[static_cast<size_t>(b)].anyEvent()) continue;
        const auto& ev = d_->decode(b).events;
        for (auto it = ev.rbegin(); it != ev.rend() && static_cast<int>(earlier.size()) < before; ++it)
            if (it->record <= record) earlier.push_back(*it);
    }
    out.assign(earlier.rbegin(), earlier.rend());
    int later = 0;
    for (auto b = record >> d_->blockShift; b < nb && later < after; ++b) {
        if (!blocks[static_cast<size_t>(b)].anyEvent()) continue;
        for (const PlayerEvent& e : d_->decode(b).events) {
            if (later >= after) break;
            if (e.record > record) {
                out.push_back(e);
                ++later;
            }
        }
    }
}

void ReplayIndex::eventsBetween(std::int64_t first, std::int64_t last,
                                std::vector<PlayerEvent>& out) const {
    out.clear();
    first = std::max<std::int64_t>(first, 1);
    last = std::min(last, recordCount());
    if (first > last) return;
    for (auto b = (first - 1) >> d_->blockShift; b <= (last - 1) >> d_->blockShift; ++b) {
        if (!d_->blocks[static_cast<size_t>(b)].anyEvent()) continue;
        for (const PlayerEvent& e : d_->decode(b).events)
            if (e.record >= first && e.record <= last) out.push_back(e);
    }
}

void ReplayIndex::laneSummary(double t0, double t1, int buckets, std::vector<LaneColumn>& out) const {
    out.assign(static_cast<size_t>(std::max(buckets, 0)), LaneColumn{});
    if (buckets <= 0 || !(t1 > t0) || !std::isfinite(t0) || !std::isfinite(t1)) return;
    const double width = (t1 - t0) / buckets;
    const auto column = [&](double t) {
        return std::clamp(static_cast<int>(std::floor((t - t0) / width)), 0, buckets - 1);
    };
    const auto in = [&](double t) { return t >= t0 && t < t1; };
    const auto& groups = d_->groups;
    std::int64_t decodedBlock = -1;
    const Data::Decoded* dec = nullptr;
    for (size_t g = 0; g < groups.size(); ++g) {
        const Data::Group& gr = groups[g];
        if (!(gr.maxTime >= t0 && gr.minTime < t1)) continue;
        const int c0 = column(std::max(gr.minTime, t0));
        const int c1 = column(std::min(gr.maxTime, t1));
        if (c1 - c0 <= 1) {
            // A group within a column or two: drawn in both, no file read.
            for (int c = c0; c <= c1; ++c)
                for (size_t l = 0; l < 9; ++l) out[static_cast<size_t>(c)][l] |= gr.lanes[l];
            continue;
        }
        // Wider than two columns (a narrow zoom, or the clock went back in it):
        // each record where its stamp says.
        const auto b = static_cast<std::int64_t>(g) / (std::int64_t{1} << (d_->blockShift - d_->groupShift));
        if (b != decodedBlock) {
            dec = &d_->decode(b);
            decodedBlock = b;
        }
        const std::int64_t first = static_cast<std::int64_t>(g) * (std::int64_t{1} << d_->groupShift) + 1;
        const std::int64_t last = first + (std::int64_t{1} << d_->groupShift) - 1;
        const auto from = std::lower_bound(
            dec->events.begin(), dec->events.end(), first,
            [](const PlayerEvent& e, std::int64_t r) { return e.record < r; });
        for (auto e = from; e != dec->events.end() && e->record <= last; ++e)
            if (in(e->time))
                out[static_cast<size_t>(column(e->time))][static_cast<size_t>(e->barrier - 1)] |=
                    bitOf(e->kind());
        for (const Mark& mk : dec->marks)
            if (mk.record >= first && mk.record <= last && in(mk.time))
                out[static_cast<size_t>(column(mk.time))][kMarkLane] |= bitOf(mk.kind);
    }
}

const std::vector<Mark>& ReplayIndex::marks() const { return d_->marks; }
bool ReplayIndex::marksComplete() const { return d_->marksComplete; }

std::size_t ReplayIndex::memoryBytes() const {
    const Data& d = *d_;
    std::size_t n = sizeof(Data) + d.blocks.capacity() * sizeof(Data::Block) +
                    d.groups.capacity() * sizeof(Data::Group) + d.marks.capacity() * sizeof(Mark);
    for (const auto& set : d.snapshots)
        for (const auto& s : set.list) n += sizeof(s) + s.display.memoryBytes();
    for (const auto& k : d.decoded)
        n += (k.times.capacity() + k.plays.capacity()) * sizeof(double) +
             k.events.capacity() * sizeof(PlayerEvent) + k.marks.capacity() * sizeof(Mark);
    return n;
}

std::optional<double> parseLocalStamp(const QString& text) {
    static const QRegularExpression re(QStringLiteral(
        "^(\\d{4})-(\\d{2})-(\\d{2})[T ](\\d{2}):(\\d{2}):(\\d{2})(?:\\.(\\d{1,3}))?$"));
    const auto m = re.match(text);
    if (!m.hasMatch()) return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    int ms = 0;
    if (m.hasCaptured(7)) {
        QString f = m.captured(7);
        while (f.size() < 3) f += QLatin1Char('0');
        ms = f.toInt();
    }
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(), ms);
    if (!date.isValid() || !time.isValid()) return std::nullopt;
    return toTDateTime(date, time);
}

QString stampIsoText(double t) {
    QDate date;
    QTime time;
    if (!splitTDateTime(t, date, time)) return QString();
    return date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('T') +
           time.toString(QStringLiteral("HH:mm:ss.zzz"));
}

} // namespace hub
