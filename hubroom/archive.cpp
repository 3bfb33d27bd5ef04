#include "hubroom/archive.h"

#include "common/tdatetime.h"

#include <QDir>
#include <QFileInfo>

namespace hub::room {

namespace {
double localTime(const QDateTime& t) {
    return toTDateTime((t.isValid() ? t : QDateTime::currentDateTimeUtc()).toLocalTime());
}
} // namespace

Archive::SiteFile* Archive::fileFor(const QString& site, const QDateTime& t) {
    auto& slot = files_[site];
    if (!slot) slot = std::make_unique<SiteFile>();
    SiteFile& f = *slot;
    const QDateTime when = t.isValid() ? t : QDateTime::currentDateTimeUtc();
    const QDate day = when.toLocalTime().date();
    if (f.writer.isOpen() && f.day == day) return &f;
    if (f.writer.isOpen()) {
        // The day closed: its file ends where the next one starts.
        f.writer.writeStartEnd(std::max(f.lastTime, localTime(when)));
        f.writer.close();
    }
    const QString folder = dir_ + QLatin1Char('/') + site;
    if (!QDir().mkpath(folder)) {
        error_ = QStringLiteral("%1: cannot create the folder").arg(folder);
        return nullptr;
    }
    // A file of the same day from an earlier run stays as it is: creating
    // would empty it. The run's recording goes beside it.
    const QString base = folder + QLatin1Char('/') + day.toString(QStringLiteral("yyyy-MM-dd"));
    QString path = base + QStringLiteral(".dat");
    for (int n = 2; QFileInfo::exists(path); ++n) path = base + QStringLiteral("-%1.dat").arg(n);
    QString err;
    if (!f.writer.create(path, &err)) {
        error_ = err;
        return nullptr;
    }
    f.day = day;
    f.lastTime = localTime(when);
    f.writer.writeStartEnd(f.lastTime);
    if (f.settings)
        f.writer.writeSettings(f.lastTime, f.settings->kind, f.settings->block.data());
    return &f;
}

void Archive::settings(const QString& site, const SettingsMsg& m) {
    auto& slot = files_[site];
    if (!slot) slot = std::make_unique<SiteFile>();
    const bool wasOpen = slot->writer.isOpen() && slot->day == (m.time.isValid() ? m.time : QDateTime::currentDateTimeUtc()).toLocalTime().date();
    slot->settings = m;
    SiteFile* f = fileFor(site, m.time);
    if (!f) return;
    // A new file wrote the settings already.
    if (wasOpen) {
        f->lastTime = std::max(f->lastTime, localTime(m.time));
        if (!f->writer.writeSettings(f->lastTime, m.kind, m.block.data())) error_ = f->writer.lastError();
    }
}

void Archive::state(const QString& site, const StateMsg& m) {
    SiteFile* f = fileFor(site, m.time);
    if (!f) return;
    // Time stamps never go back inside a recording.
    f->lastTime = std::max(f->lastTime, localTime(m.time));
    if (!f->writer.writeState(f->lastTime, m.record)) error_ = f->writer.lastError();
}

void Archive::closeAll(const QDateTime& at) {
    for (auto& [site, f] : files_) {
        if (!f->writer.isOpen()) continue;
        f->writer.writeStartEnd(std::max(f->lastTime, localTime(at)));
        f->writer.close();
    }
}

QString Archive::currentFile(const QString& site) const {
    const auto it = files_.find(site);
    return it != files_.end() && it->second->writer.isOpen() ? it->second->writer.path() : QString();
}

} // namespace hub::room
