#pragma once
// The control room's picture of every site, fed by the uplink's messages and
// nothing else, so that it can be tested from payload tables: status, link,
// settings, last state, each barrier's worst current condition, the event
// numbering (duplicates dropped, gaps asked again) and "silent" sites.
#include "hubroom/payloads.h"
#include "monitor/display/monitormodel.h"
#include "monitor/hubstate.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace hub::room {

// The barriers a settings block shows (bit b-1 for barrier b), decoded by the
// same decoders as the monitor, so that a tile has the site's barriers.
std::uint8_t barriersOf(const SettingsMsg& m);
// Runs the hub's own settings decoder for the block on a model, as the site does.
void decodeSettings(MonitorModel& model, HubState& hub, const SettingsMsg& m);

// A barrier's worst current condition, in rising severity.
enum class Condition : std::uint8_t { None, Beam, Blind, Stb, Disq, Fault, Tamper, Alarm };
// The worst condition among the active elements (bit e-1 for element e, 1..14).
Condition worstCondition(std::uint16_t active);
// "alarm", "tamper", ... "beam", "" for None.
QString conditionName(Condition c);

enum class SiteStatus : std::uint8_t { Unknown, Online, Offline, Lost };

struct Site {
    QString name;
    SiteStatus status = SiteStatus::Unknown;
    QString program;
    QString link;          // receiving, nodata, stopped, devicegone ("" before any)
    QString port;
    QString hubText;
    std::optional<SettingsMsg> settings;
    std::uint8_t barriers = 0xFF; // bit b-1: barrier b shown, by the settings decoders
    std::optional<StateMsg> state;
    std::array<std::uint16_t, 8> active{}; // per barrier: elements active now
    bool silent = false;

    // Numbering: every seq up to `contiguous` has been seen; `above` holds those
    // seen beyond a gap. No baseline until the first numbered message (or the
    // history) gives one.
    bool baseline = false;
    std::uint64_t contiguous = 0;
    std::set<std::uint64_t> above;
    std::uint64_t applied = 0;   // highest seq folded into `active`
    std::uint64_t askedFrom = 0; // the last resend asked, and when
    qint64 askedAt = 0;
    qint64 lastData = 0;         // when a state or an event last came (ms)

    // The site's state records in seq order, for its monitor and the archive:
    // those the events carry (every record the site recorded), else the
    // throttled state (older sites), and the state as the first picture.
    bool hasRecord = false;
    bool eventRecords = false;   // this site's events carry their records
    std::uint64_t recordSeq = 0; // the seq the last record handed on stands at
    StateMsg lastRecord;
    std::map<std::uint64_t, StateMsg> pendingRecords; // beyond a gap, waiting

    Condition condition(int barrier) const { return worstCondition(active[static_cast<size_t>(barrier - 1)]); }
    // Barriers the site's hub has (all eight until settings came).
    bool hasBarrier(int barrier) const;
    Condition worst() const;
    // Higher is more urgent: the grid's order.
    int severity() const;
    std::uint64_t firstMissing() const { return contiguous + 1; }
    // Seen beyond a gap, or a state record newer than every event seen.
    bool hasGap() const { return !above.empty() || (state && state->seq > contiguous); }
};

// What one message did.
struct Handled {
    QString site;                  // empty: not a site's topic, or refused
    QString topic;                 // status, link, settings, state, event
    bool refused = false;          // a site's topic with a payload we cannot read
    bool unknownVersion = false;
    std::optional<EventMsg> event; // a new event (not a duplicate)
    bool duplicate = false;
    std::optional<std::uint64_t> resendFrom;
    std::vector<StateMsg> records; // state records now due, in order
};

class SiteTable {
public:
    explicit SiteTable(QString prefix = QStringLiteral("hub"), int silentAfterSeconds = 30)
        : prefix_(std::move(prefix)), silentAfterMs_(silentAfterSeconds * 1000LL) {}

    // One message from the broker, received at now (a steady clock in ms).
    Handled handle(const QString& topic, const QByteArray& payload, qint64 now);

    // The coarse timer: flags silent sites (returns the names whose flag
    // changed) and asks again for a gap still open after the resend wait.
    struct Tick {
        std::vector<QString> changed;
        std::vector<std::pair<QString, std::uint64_t>> resend;
    };
    Tick tick(qint64 now);

    // Where the history says a site's numbering stands.
    void restoreBaseline(const QString& site, std::uint64_t contiguous);

    const std::map<QString, Site>& sites() const { return sites_; }
    const Site* site(const QString& name) const;
    Site& siteRef(const QString& name);
    const QString& prefix() const { return prefix_; }
    qint64 silentAfterMs() const { return silentAfterMs_; }
    long long refusedCount() const { return refused_; }
    long long unknownVersionCount() const { return unknownVersion_; }

    static constexpr qint64 kResendWaitMs = 10000;

private:
    void handleEvent(Site& s, const EventMsg& e, qint64 now, Handled& h);
    void handleState(Site& s, const StateMsg& st, qint64 now, Handled& h);
    void askIfGap(Site& s, qint64 now, Handled& h);
    void releaseRecords(Site& s, Handled& h);

    QString prefix_;
    qint64 silentAfterMs_;
    std::map<QString, Site> sites_;
    long long refused_ = 0;
    long long unknownVersion_ = 0;
};

} // namespace hub::room
