#pragma once
// The serial port a program talks to its hub on, given to the window that
// uses it (tests give a scripted one): opened by name, read and written as a
// Line, closed. Both programs open it with the same line settings.
#include "serial/comms.h"

namespace hub {

class HubPort {
public:
    virtual ~HubPort() = default;
    // Sets the port name and opens it; throws std::exception when it cannot be opened.
    virtual void open(const QString& name) = 0;
    virtual void close() = 0;
    virtual bool connected() const = 0;
    virtual QString portName() const = 0;
    // The machine's serial ports; empty when there are none.
    virtual QStringList enumPorts() = 0;
    // What is known of the device behind a port, for the port list's tool tips.
    virtual QString portDescription(const QString& /*name*/) { return {}; }
    virtual Line& line() = 0;
};

// The real serial component: 4800 8N1, no flow control, DTR low, 2048-byte queues.
class ComHubPort final : public HubPort {
public:
    ComHubPort() { comm_.setHubLine(); }
    void open(const QString& name) override {
        comm_.PortName = name;
        comm_.Open();
    }
    void close() override { comm_.Close(); }
    bool connected() const override { return comm_.Connected(); }
    QString portName() const override { return comm_.PortName; }
    QStringList enumPorts() override {
        QStringList list;
        TComPort::EnumPorts(list);
        return list;
    }
    QString portDescription(const QString& name) override { return TComPort::portDescription(name); }
    Line& line() override { return comm_; }

private:
    TComPort comm_;
};

} // namespace hub
