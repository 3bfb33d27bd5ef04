#include "hubroom/sites.h"

#include "monitor/display/zoom.h"
#include "monitor/elementevents.h"
#include "monitor/settings/settingsdecoders.h"

namespace hub::room {

Condition worstCondition(std::uint16_t active) {
    const auto on = [active](int e) { return (active >> (e - 1)) & 1u; };
    if (on(Element::Alarm)) return Condition::Alarm;
    if (on(Element::Tamper)) return Condition::Tamper;
    if (on(Element::Fault)) return Condition::Fault;
    if (on(Element::Disq)) return Condition::Disq;
    if (on(Element::Stb)) return Condition::Stb;
    if (on(Element::Blind)) return Condition::Blind;
    if (active & 0xFF) return Condition::Beam;
    return Condition::None;
}

QString conditionName(Condition c) {
    static const char* names[] = {"", "beam", "blind", "stb", "disq", "fault", "tamper", "alarm"};
    return QString::fromLatin1(names[static_cast<int>(c)]);
}

void decodeSettings(MonitorModel& model, HubState& hub, const SettingsMsg& m) {
    if (isSwHub(m.kind)) {
        std::array<std::uint8_t, kSwBlockSize> b{};
        std::copy_n(m.block.begin(), kSwBlockSize, b.begin());
        RiceviSet_SW(model, hub, m.kind, b, false);
    } else {
        std::array<std::uint8_t, kTcBlockSize> b{};
        std::copy_n(m.block.begin(), kTcBlockSize, b.begin());
        RiceviSet_TC(model, hub, m.kind, b, false, nullptr);
    }
}

std::uint8_t barriersOf(const SettingsMsg& m) {
    MonitorModel model;
    HubState hub;
    resetDisplay(model, hub, true, false);
    decodeSettings(model, hub, m);
    std::uint8_t mask = 0;
    for (int b = 1; b <= 8; ++b)
        if (model.barrier(b).visible) mask |= static_cast<std::uint8_t>(1u << (b - 1));
    return mask;
}

bool Site::hasBarrier(int barrier) const { return (barriers >> (barrier - 1)) & 1u; }

Condition Site::worst() const {
    Condition w = Condition::None;
    for (int b = 1; b <= 8; ++b)
        if (hasBarrier(b)) w = std::max(w, condition(b));
    return w;
}

int Site::severity() const {
    // Intrusion first, then what keeps the site from protecting, then the rest.
    switch (worst()) {
    case Condition::Alarm: return 100;
    case Condition::Tamper: return 90;
    case Condition::Fault: return 80;
    default: break;
    }
    if (status == SiteStatus::Lost) return 75;
    if (silent) return 70;
    if (worst() == Condition::Disq) return 60;
    if (status == SiteStatus::Offline) return 55;
    if (link == QLatin1String("devicegone") || link == QLatin1String("nodata")) return 50;
    return 10 * static_cast<int>(worst());
}

const Site* SiteTable::site(const QString& name) const {
    const auto it = sites_.find(name);
    return it == sites_.end() ? nullptr : &it->second;
}

Site& SiteTable::siteRef(const QString& name) {
    Site& s = sites_[name];
    s.name = name;
    return s;
}

void SiteTable::restoreBaseline(const QString& site, std::uint64_t contiguous) {
    Site& s = siteRef(site);
    s.baseline = true;
    s.contiguous = contiguous;
    s.applied = std::max(s.applied, contiguous);
}

Handled SiteTable::handle(const QString& topic, const QByteArray& payload, qint64 now) {
    Handled h;
    const auto t = splitTopic(prefix_, topic);
    if (!t) return h;
    h.topic = t->name;
    ParseError err = ParseError::None;
    const auto refuse = [&] {
        h.refused = true;
        h.unknownVersion = err == ParseError::Version;
        ++(h.unknownVersion ? unknownVersion_ : refused_);
        return h;
    };
    // Our own requests to the sites come back to us through PREFIX/#.
    if (t->name == QLatin1String("ack") || t->name == QLatin1String("resend")) return h;
    if (t->name == QLatin1String("status")) {
        const auto m = parseStatus(payload, &err);
        if (!m) return refuse();
        Site& s = siteRef(t->site);
        s.status = m->state == QLatin1String("online")    ? SiteStatus::Online
                   : m->state == QLatin1String("offline") ? SiteStatus::Offline
                                                          : SiteStatus::Lost;
        s.program = m->program;
        if (s.status != SiteStatus::Online) s.silent = false;
    } else if (t->name == QLatin1String("link")) {
        const auto m = parseLink(payload, &err);
        if (!m) return refuse();
        Site& s = siteRef(t->site);
        // Silence is measured from the moment the site says it receives.
        if (m->state == QLatin1String("receiving") && s.link != m->state) s.lastData = now;
        s.link = m->state;
        s.port = m->port;
        s.hubText = m->hub;
        if (s.link != QLatin1String("receiving")) s.silent = false;
    } else if (t->name == QLatin1String("settings")) {
        const auto m = parseSettings(payload, &err);
        if (!m) return refuse();
        Site& s = siteRef(t->site);
        if (!s.settings || s.settings->block != m->block || s.settings->kind != m->kind) s.barriers = barriersOf(*m);
        s.settings = *m;
    } else if (t->name == QLatin1String("state")) {
        const auto m = parseState(payload, &err);
        if (!m) return refuse();
        handleState(siteRef(t->site), *m, now, h);
    } else if (t->name == QLatin1String("event")) {
        const auto m = parseEvent(payload, &err);
        if (!m) return refuse();
        handleEvent(siteRef(t->site), *m, now, h);
    } else {
        return h; // a topic of a later contract: not ours to judge
    }
    h.site = t->site;
    return h;
}

void SiteTable::handleState(Site& s, const StateMsg& st, qint64 now, Handled& h) {
    s.lastData = now;
    s.silent = false;
    if (!s.baseline) {
        // First sight of the site: its past is not ours to ask for.
        s.baseline = true;
        s.contiguous = st.seq;
    }
    // The record is the whole truth as of its seq; an older one (a retained
    // copy overtaken by events) only stands for the record itself.
    if (st.seq >= s.applied) {
        for (int b = 1; b <= 8; ++b) s.active[static_cast<size_t>(b - 1)] = activeElements(st.record, b);
        s.applied = std::max(s.applied, st.seq);
    }
    s.state = st;
    // Where events carry their records the throttled state would only repeat
    // some of them out of turn; it is the first picture of a site, and the
    // only one an older site gives.
    const bool first = !s.hasRecord && st.seq <= s.contiguous;
    const bool stands = s.hasRecord && !s.eventRecords && st.seq >= s.recordSeq &&
                        (st.record != s.lastRecord.record || st.seq != s.recordSeq);
    // A new acquisition's all-clear first record makes no event: the state is
    // its only messenger.
    const bool cleared = s.hasRecord && s.eventRecords && st.seq == s.recordSeq && st.seq == s.contiguous &&
                         st.record == StateRecord{} && st.record != s.lastRecord.record;
    if (first || stands || cleared) {
        s.hasRecord = true;
        s.recordSeq = st.seq;
        s.lastRecord = st;
        h.records.push_back(st);
    }
    // A state ahead of the events is usual right after joining: the broker is
    // still handing over what it kept for us. Only a gap that stays is asked
    // for (by tick()).
    if (s.hasGap() && s.askedFrom == 0 && s.askedAt == 0) s.askedAt = now;
}

void SiteTable::handleEvent(Site& s, const EventMsg& e, qint64 now, Handled& h) {
    s.lastData = now;
    s.silent = false;
    if (!s.baseline) {
        s.baseline = true;
        s.contiguous = e.seq - 1;
    }
    if (e.seq <= s.contiguous || s.above.count(e.seq)) {
        h.duplicate = true;
        return;
    }
    if (e.seq == s.contiguous + 1) {
        ++s.contiguous;
        while (!s.above.empty() && *s.above.begin() == s.contiguous + 1) {
            s.above.erase(s.above.begin());
            ++s.contiguous;
        }
    } else {
        s.above.insert(e.seq);
    }
    if (e.seq > s.applied && e.element <= Element::Blind) {
        auto& a = s.active[static_cast<size_t>(e.barrier - 1)];
        const auto bit = static_cast<std::uint16_t>(1u << (e.element - 1));
        a = e.on ? static_cast<std::uint16_t>(a | bit) : static_cast<std::uint16_t>(a & ~bit);
    }
    s.applied = std::max(s.applied, e.seq);
    if (e.record) {
        s.eventRecords = true;
        if (e.seq > s.recordSeq) s.pendingRecords[e.seq] = StateMsg{*e.record, e.time, e.seq};
    }
    releaseRecords(s, h);
    h.event = e;
    askIfGap(s, now, h);
}

void SiteTable::releaseRecords(Site& s, Handled& h) {
    // Only in seq order: a record beyond a gap waits for the resend.
    while (!s.pendingRecords.empty() && s.pendingRecords.begin()->first <= s.contiguous) {
        const StateMsg m = s.pendingRecords.begin()->second;
        s.pendingRecords.erase(s.pendingRecords.begin());
        if (m.seq <= s.recordSeq) continue;
        s.recordSeq = m.seq;
        // The events of one record carry it and its time alike: it counts once.
        if (s.hasRecord && m.record == s.lastRecord.record && m.time == s.lastRecord.time) continue;
        s.hasRecord = true;
        s.lastRecord = m;
        h.records.push_back(m);
    }
}

void SiteTable::askIfGap(Site& s, qint64 now, Handled& h) {
    if (!s.hasGap()) {
        s.askedFrom = 0;
        s.askedAt = 0;
        return;
    }
    if (s.above.empty()) return; // only a state ahead: tick() decides
    if (s.askedFrom == s.firstMissing()) return; // asked already; tick() asks again
    s.askedFrom = s.firstMissing();
    s.askedAt = now;
    h.resendFrom = s.askedFrom;
}

SiteTable::Tick SiteTable::tick(qint64 now) {
    Tick t;
    for (auto& [name, s] : sites_) {
        const bool silent = s.status == SiteStatus::Online && s.link == QLatin1String("receiving") &&
                            now - s.lastData > silentAfterMs_;
        if (silent != s.silent) {
            s.silent = silent;
            t.changed.push_back(name);
        }
        if (s.hasGap() && now - s.askedAt >= kResendWaitMs) {
            s.askedFrom = s.firstMissing();
            s.askedAt = now;
            t.resend.emplace_back(name, s.askedFrom);
        }
    }
    return t;
}

} // namespace hub::room
