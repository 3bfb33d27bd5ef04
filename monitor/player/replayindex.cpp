#include "monitor/player/replayindex.h"

#include "common/tdatetime.h"
#include "monitor/display/zoom.h"
#include "monitor/player/recordscan.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace hub {

struct ReplayIndex::Data {
    QString path;
    bool built = false;
    std::vector<double> times; // record n at n - 1
    std::vector<Mark> marks;
    std::vector<PlayerEvent> events;
    double minTime = 0.0, maxTime = 0.0;
};

ReplayIndex::ReplayIndex() : d_(std::make_unique<Data>()) {}
ReplayIndex::~ReplayIndex() = default;

bool ReplayIndex::build(const QString& path, QString* error,
                        const std::function<bool(double)>& progress) {
    d_ = std::make_unique<Data>();
    RecordFile file;
    if (!file.open(path, error)) return false;
    Data& d = *d_;
    d.path = path;
    const double size = std::max<double>(1.0, static_cast<double>(file.size()));
    StateRecord prev{};
    std::array<int, 4> levels{-1, -1, -1, -1};
    bool haveTime = false;
    bool cancelled = false;
    double last = 0.0;
    player::scanRecords(file, [&](const player::ScannedRecord& r) {
        if (progress && (r.number & 0xFFFF) == 0 && !progress(r.offset / size)) {
            cancelled = true;
            return false;
        }
        d.times.push_back(r.time);
        if (std::isfinite(r.time)) {
            if (!haveTime) d.minTime = d.maxTime = r.time;
            d.minTime = std::min(d.minTime, r.time);
            d.maxTime = std::max(d.maxTime, r.time);
            haveTime = true;
        }
        if (r.number > 1 && r.time < last) d.marks.push_back({r.number, r.time, MarkKind::ClockBack});
        last = r.time;
        if (r.type == kRecordStartEnd) {
            d.marks.push_back({r.number, r.time, r.newAcquisition ? MarkKind::Start : MarkKind::End});
            if (r.newAcquisition) {
                prev = StateRecord{};
                levels = {-1, -1, -1, -1};
            }
        } else if (r.type == kRecordSettings) {
            d.marks.push_back({r.number, r.time, MarkKind::Settings});
            forEachPowerChange(levels, powerLevels(r.hubKind, r.payload),
                               [&](int b, int e, bool on, int level) {
                                   d.events.push_back({r.number, r.time, b, e, on, level});
                               });
        } else if (r.type == kRecordState) {
            StateRecord cur;
            std::copy_n(r.payload, 12, cur.begin());
            forEachElementChange(prev, cur, [&](int b, int e, bool on) {
                d.events.push_back({r.number, r.time, b, e, on, -1});
            });
            prev = cur;
        }
        return true;
    });
    if (cancelled) {
        d_ = std::make_unique<Data>();
        if (error) error->clear();
        return false;
    }
    if (progress) progress(1.0);
    d.built = true;
    return true;
}

bool ReplayIndex::isBuilt() const { return d_->built; }
QString ReplayIndex::path() const { return d_->path; }
std::int64_t ReplayIndex::recordCount() const { return static_cast<std::int64_t>(d_->times.size()); }

double ReplayIndex::timeOf(std::int64_t n) const {
    if (n < 1 || n > recordCount()) return 0.0;
    return d_->times[static_cast<size_t>(n - 1)];
}
double ReplayIndex::firstTime() const { return timeOf(1); }
double ReplayIndex::lastTime() const { return timeOf(recordCount()); }
double ReplayIndex::minTime() const { return d_->minTime; }
double ReplayIndex::maxTime() const { return d_->maxTime; }

ReplayOutcome ReplayIndex::stateAfter(std::int64_t n, MonitorModel& m, HubState& hub,
                                      bool compact) const {
    n = std::clamp<std::int64_t>(n, 0, recordCount());
    // A freshly started program: blink countdowns at 0, the stream as before any block.
    hub.blink.fill(0);
    hub.stream = StreamParams{};
    const auto out = replayFile(
        d_->path, m, hub, compact, [&](bool hide) { resetDisplay(m, hub, hide, compact); },
        nullptr, {}, n);
    return out ? *out : ReplayOutcome{};
}

std::int64_t ReplayIndex::recordsUntil(double t) const {
    const auto& v = d_->times;
    for (size_t i = 0; i < v.size(); ++i)
        if (v[i] > t) return static_cast<std::int64_t>(i);
    return recordCount();
}

namespace {
bool matches(const PlayerEvent& e, int barrier, std::optional<EventKind> kind) {
    return (barrier == 0 || e.barrier == barrier) && (!kind || e.kind() == *kind);
}
} // namespace

std::optional<PlayerEvent> ReplayIndex::nextEvent(std::int64_t afterRecord, int barrier,
                                                  std::optional<EventKind> kind) const {
    for (const PlayerEvent& e : d_->events)
        if (e.record > afterRecord && matches(e, barrier, kind)) return e;
    return std::nullopt;
}

std::optional<PlayerEvent> ReplayIndex::previousEvent(std::int64_t beforeRecord, int barrier,
                                                      std::optional<EventKind> kind) const {
    for (auto it = d_->events.rbegin(); it != d_->events.rend(); ++it)
        if (it->record < beforeRecord && matches(*it, barrier, kind)) return *it;
    return std::nullopt;
}

void ReplayIndex::eventsAround(std::int64_t record, int before, int after,
                               std::vector<PlayerEvent>& out) const {
    out.clear();
    const auto& ev = d_->events;
    const auto split = std::upper_bound(ev.begin(), ev.end(), record,
                                        [](std::int64_t r, const PlayerEvent& e) { return r < e.record; });
    const auto from = split - std::min<std::ptrdiff_t>(std::max(before, 0), split - ev.begin());
    const auto to = split + std::min<std::ptrdiff_t>(std::max(after, 0), ev.end() - split);
    out.assign(from, to);
}

void ReplayIndex::eventsBetween(std::int64_t first, std::int64_t last,
                                std::vector<PlayerEvent>& out) const {
    out.clear();
    for (const PlayerEvent& e : d_->events)
        if (e.record >= first && e.record <= last) out.push_back(e);
}

void ReplayIndex::laneSummary(double t0, double t1, int buckets, std::vector<LaneColumn>& out) const {
    out.assign(static_cast<size_t>(std::max(buckets, 0)), LaneColumn{});
    if (buckets <= 0 || !(t1 > t0)) return;
    const double width = (t1 - t0) / buckets;
    const auto column = [&](double t) -> int {
        if (!(t >= t0 && t < t1)) return -1;
        return std::min(buckets - 1, static_cast<int>((t - t0) / width));
    };
    for (const PlayerEvent& e : d_->events)
        if (const int c = column(e.time); c >= 0)
            out[static_cast<size_t>(c)][static_cast<size_t>(e.barrier - 1)] |=
                static_cast<std::uint16_t>(1u << static_cast<int>(e.kind()));
    for (const Mark& mk : d_->marks)
        if (const int c = column(mk.time); c >= 0)
            out[static_cast<size_t>(c)][kMarkLane] |=
                static_cast<std::uint16_t>(1u << static_cast<int>(mk.kind));
}

const std::vector<Mark>& ReplayIndex::marks() const { return d_->marks; }

std::size_t ReplayIndex::memoryBytes() const {
    return d_->times.capacity() * sizeof(double) + d_->marks.capacity() * sizeof(Mark) +
           d_->events.capacity() * sizeof(PlayerEvent);
}

std::optional<double> parseLocalStamp(const QString& text) {
    static const QRegularExpression re(QStringLiteral(
        "^(\\d{4})-(\\d{2})-(\\d{2})[T ](\\d{2}):(\\d{2}):(\\d{2})(?:\\.(\\d{1,3}))?$"));
    const auto m = re.match(text.trimmed());
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
