#pragma once
// The live link's events handed to a site's uplink. Runs on the window's
// thread for every record, so it only queues, and only what can matter: a
// record equal to the one before makes no event, and the retained "state"
// needs it at most once a second.
#include "monitor/linkobserver.h"
#include "uplink/siteuplink.h"

#include <QElapsedTimer>

namespace hub {

class UplinkFeed : public LinkObserver {
public:
    explicit UplinkFeed(SiteUplink& uplink) : m_uplink(uplink) {}

    void acquisitionStarted(const QString& port) override;
    void acquisitionEnded() override;
    void settingsReceived(std::uint8_t kind, const QByteArray& block, const QString& hubText) override;
    void stateReceived(const StateRecord& state) override;
    void linkChanged(Link state, const QString& port, const QString& hubText) override;

    std::uint64_t posted() const { return m_posted; } // records handed on
    std::uint64_t seen() const { return m_seen; }

private:
    SiteUplink& m_uplink;
    bool m_have = false;
    StateRecord m_last{};
    QElapsedTimer m_sinceLast;
    std::uint64_t m_posted = 0, m_seen = 0;
};

} // namespace hub
