#pragma once
// One site's live monitor: the same TMonitor and model hubmonitor draws, fed
// by the site's settings block through the real decoders and its state
// records through RiceviDati, so the room sees what the site sees.
#include "hubroom/room.h"
#include "hubroom/sites.h"
#include "monitor/display/Barra.h"
#include "monitor/hubstate.h"

#include <QLabel>
#include <QWidget>

namespace hub::room {

class SiteMonitor : public QWidget {
    Q_OBJECT
public:
    SiteMonitor(const QString& site, bool italian, QWidget* parent = nullptr);
    const QString& site() const { return site_; }
    // Takes the site's present caption and the room's model of its monitor.
    void feed(const Site& s, const SiteModel* m);
    TMonitor* monitor() { return monitor_; }
    const HubState& hub() const { return hub_; }

private:
    void fitPanel();
    QString site_;
    bool italian_;
    TMonitor* monitor_;
    QLabel* caption_;
    QWidget* panel_;
    HubState hub_;
};

} // namespace hub::room
