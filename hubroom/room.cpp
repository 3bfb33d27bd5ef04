#include "hubroom/room.h"

#include "monitor/display/zoom.h"
#include "monitor/elementevents.h"
#include "monitor/ricevidati.h"
#include "monitor/settings/settingsdecoders.h"

namespace hub::room {

SiteModel::SiteModel() {
    // Laid out as the monitor window lays out its own, so a copy draws alike.
    model.SetDimeLed(29);
    resetDisplay(model, hub, true, false);
}

bool SiteModel::settings(const SettingsMsg& m) {
    // The retained copy comes again at every connect: only a new block counts.
    if (m.block == block && m.kind == kind) return false;
    block = m.block;
    kind = m.kind;
    decodeSettings(model, hub, m);
    return true;
}

void SiteModel::record(const StateRecord& r) { RiceviDati(model, hub, r, false, false, false); }

const SiteModel* Room::model(const QString& site) const {
    const auto it = models_.find(site);
    return it == models_.end() ? nullptr : it->second.get();
}

Room::Room(RoomOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)), sites_(options_.prefix, options_.silentAfter) {
    clock_.start();
    now_ = [this] { return clock_.elapsed(); };
    if (!options_.archiveDir.isEmpty()) archive_ = std::make_unique<Archive>(options_.archiveDir);
    // Coarse timers: a room of hundreds of sites must not keep a core awake.
    tick_.setTimerType(Qt::CoarseTimer);
    tick_.setInterval(options_.tickMs);
    connect(&tick_, &QTimer::timeout, this, &Room::tick);
    tick_.start();
    commitTimer_.setSingleShot(true);
    commitTimer_.setInterval(options_.commitEveryMs);
    connect(&commitTimer_, &QTimer::timeout, this, &Room::flush);
    beepTimer_.setInterval(options_.beepEveryMs);
    connect(&beepTimer_, &QTimer::timeout, this, [this] {
        ++beepCount_;
        if (beep_) beep_();
    });
}

Room::~Room() {
    flush();
    closeArchive();
}

void Room::batch() {
    if (batchOpen_ || options_.historyPath.isEmpty()) return;
    history_.begin();
    batchOpen_ = true;
    commitTimer_.start();
}

void Room::flush() {
    if (!batchOpen_) return;
    commitTimer_.stop();
    batchOpen_ = false;
    history_.commit();
}

void Room::closeArchive() {
    if (archive_) archive_->closeAll();
}

bool Room::open(QString* error) {
    if (options_.historyPath.isEmpty()) return true;
    if (!history_.open(options_.historyPath, error)) return false;
    for (const auto& [site, contiguous] : history_.sites()) {
        sites_.restoreBaseline(site, contiguous);
        saved_[site] = contiguous;
    }
    // Alarms left unacknowledged when the room closed still call for someone.
    for (const LogEntry& e : history_.unacknowledged())
        if (e.element == Element::Alarm) {
            startBeeping();
            break;
        }
    return true;
}

void Room::persist(const QString& site) {
    const Site* s = sites_.site(site);
    if (!s || !s->baseline) return;
    auto& saved = saved_[site];
    if (saved == s->contiguous && saved != 0) return;
    saved = s->contiguous;
    batch();
    history_.saveSite(site, s->contiguous);
}

void Room::message(const QString& topic, const QByteArray& payload) {
    const Handled h = sites_.handle(topic, payload, now_());
    if (h.site.isEmpty()) return;
    const Site* s = sites_.site(h.site);
    if (h.resendFrom && publish_)
        publish_(options_.prefix + QLatin1Char('/') + h.site + QStringLiteral("/resend"),
                 resendPayload(*h.resendFrom));
    if (s && (h.topic == QLatin1String("settings") || !h.records.empty())) {
        auto& m = models_[h.site];
        if (!m) m = std::make_unique<SiteModel>();
        if (h.topic == QLatin1String("settings") && s->settings && m->settings(*s->settings) && archive_)
            archive_->settings(h.site, *s->settings);
        for (const StateMsg& r : h.records) {
            m->record(r.record);
            if (archive_) archive_->state(h.site, r);
        }
    }
    if (h.event && isLoggedElement(h.event->element)) {
        // The log entry and the numbering move together (in one batch), so a
        // restart neither loses nor repeats an entry.
        batch();
        const auto entry = history_.addEvent(h.site, *h.event);
        persist(h.site);
        if (entry) {
            emit logChanged(entry->id);
            if (h.event->on && h.event->element == Element::Alarm) {
                startBeeping();
                emit alarmRaised(h.site);
            }
        }
    } else if (h.event) {
        persist(h.site);
    } else if (h.topic == QLatin1String("state")) {
        persist(h.site);
    }
    emit siteChanged(h.site);
}

void Room::tick() {
    const SiteTable::Tick t = sites_.tick(now_());
    for (const auto& [site, from] : t.resend)
        if (publish_)
            publish_(options_.prefix + QLatin1Char('/') + site + QStringLiteral("/resend"),
                     resendPayload(from));
    for (const QString& site : t.changed) emit siteChanged(site);
}

bool Room::acknowledge(qint64 entryId, const QString& by, const QString& note) {
    LogEntry e;
    const QDateTime at = QDateTime::currentDateTimeUtc();
    if (!history_.acknowledge(entryId, by, note, at, &e)) return false;
    // An operator's acknowledgement is kept at once, with what came before it.
    flush();
    if (publish_)
        publish_(options_.prefix + QLatin1Char('/') + e.site + QStringLiteral("/ack"),
                 ackPayload(e.seq, by, note, at));
    emit logChanged(entryId);
    bool alarmsOpen = false;
    for (const LogEntry& u : history_.unacknowledged())
        if (u.element == Element::Alarm) alarmsOpen = true;
    if (!alarmsOpen) stopBeeping();
    return true;
}

int Room::acknowledgeSite(const QString& site, const QString& by, const QString& note) {
    int n = 0;
    for (const LogEntry& e : history_.unacknowledged(site))
        if (acknowledge(e.id, by, note)) ++n;
    return n;
}

void Room::silence() { stopBeeping(); }

void Room::startBeeping() {
    if (beeping_) return;
    beeping_ = true;
    ++beepCount_;
    if (beep_) beep_();
    beepTimer_.start();
    emit beepingChanged(true);
}

void Room::stopBeeping() {
    if (!beeping_) return;
    beeping_ = false;
    beepTimer_.stop();
    emit beepingChanged(false);
}

} // namespace hub::room
