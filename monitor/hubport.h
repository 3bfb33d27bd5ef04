#pragma once
// The serial port an acquisition runs on, given to the main window (tests give
// a scripted one): opened by name when an acquisition starts, read and written
// by the hub link as a Line, closed when it stops.
#include "serial/comms.h"

#include <QString>

namespace hub {

class HubPort {
public:
    virtual ~HubPort() = default;
    // Sets the port name and opens it; throws std::exception when it cannot be opened.
    virtual void open(const QString& name) = 0;
    virtual void close() = 0;
    virtual bool connected() const = 0;
    virtual QString portName() const = 0;
    virtual Line& line() = 0;
};

// The hub line on the real serial component: 4800 8N1, no flow control, DTR low.
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
    Line& line() override { return comm_; }

private:
    TComPort comm_;
};

} // namespace hub
