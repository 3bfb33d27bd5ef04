#pragma once
// What the live link does, told to whoever follows the site from elsewhere
// (the uplink): called on the window's thread, so an observer only notes or
// queues, never waits.
#include "monitor/staterecord.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace hub {

class LinkObserver {
public:
    enum class Link { Receiving, NoData, Stopped, DeviceGone };
    virtual ~LinkObserver() = default;
    virtual void acquisitionStarted(const QString& port) = 0;
    virtual void acquisitionEnded() = 0;
    // The block as the recording keeps it (9 bytes SW, 70 TC).
    virtual void settingsReceived(std::uint8_t kind, const QByteArray& block, const QString& hubText) = 0;
    // Every live record, changed or not.
    virtual void stateReceived(const StateRecord& state) = 0;
    virtual void linkChanged(Link state, const QString& port, const QString& hubText) = 0;
};

} // namespace hub
