#pragma once
// The central archive: every site's stream written as a recording per site and
// day, DIR/SITE/YYYY-MM-DD.dat (local days, as the sites' own recordings), so
// that hubmonitor, hubdat and the player open it. Each file is a whole
// recording: a start record, the site's settings, its state records, and an
// end record when the day closes or the room stops.
#include "hubroom/payloads.h"
#include "monitor/datafile.h"

#include <QDate>
#include <QString>
#include <map>
#include <memory>

namespace hub::room {

class Archive {
public:
    explicit Archive(QString dir) : dir_(std::move(dir)) {}
    ~Archive() { closeAll(); }

    void settings(const QString& site, const SettingsMsg& m);
    void state(const QString& site, const StateMsg& m);
    // Ends every open file with an end record at `at` (now when invalid).
    void closeAll(const QDateTime& at = QDateTime());

    // The file a site writes now (empty when none).
    QString currentFile(const QString& site) const;
    // The last write failure, naming the file.
    const QString& lastError() const { return error_; }

private:
    struct SiteFile {
        DataFileWriter writer;
        QDate day;
        std::optional<SettingsMsg> settings;
        double lastTime = 0;
    };
    // Opens the site's file for the day of t, closing yesterday's.
    SiteFile* fileFor(const QString& site, const QDateTime& t);

    QString dir_;
    QString error_;
    std::map<QString, std::unique_ptr<SiteFile>> files_;
};

} // namespace hub::room
