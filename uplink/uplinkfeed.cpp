#include "uplink/uplinkfeed.h"

namespace hub {

namespace {
QDateTime now() { return QDateTime::currentDateTimeUtc(); }
} // namespace

void UplinkFeed::acquisitionStarted(const QString& port) {
    m_have = false;
    m_uplink.postAcquisitionStarted(port, now());
}

void UplinkFeed::acquisitionEnded() { m_uplink.postAcquisitionEnded(now()); }

void UplinkFeed::settingsReceived(std::uint8_t kind, const QByteArray& block, const QString& hubText) {
    (void)hubText; // the uplink decodes the block itself
    m_uplink.postSettings(kind, block, now());
}

void UplinkFeed::stateReceived(const StateRecord& state) {
    ++m_seen;
    if (m_have && state == m_last && m_sinceLast.isValid() && m_sinceLast.elapsed() < 1000) return;
    m_have = true;
    m_last = state;
    m_sinceLast.start();
    ++m_posted;
    m_uplink.postState(state, now());
}

void UplinkFeed::linkChanged(Link state, const QString& port, const QString& hubText) {
    LinkState s = LinkState::Stopped;
    switch (state) {
    case Link::Receiving: s = LinkState::Receiving; break;
    case Link::NoData: s = LinkState::NoData; break;
    case Link::Stopped: s = LinkState::Stopped; break;
    case Link::DeviceGone: s = LinkState::DeviceGone; break;
    }
    m_uplink.postLink(s, port, hubText, now());
}

} // namespace hub
