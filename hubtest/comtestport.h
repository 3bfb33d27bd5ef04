#pragma once
// The test link's port on the real serial component.
#include "hubtest/testlink.h"
#include "serial/comms.h"

namespace hub {

class ComTestPort final : public TestPort {
public:
    ComTestPort();
    void open(const QString& name) override;
    void close() override { _comm.Close(); }
    bool connected() const override { return _comm.Connected(); }
    QString portName() const override { return _comm.PortName; }
    QStringList enumPorts() override;
    QString portDescription(const QString& name) override { return TComPort::portDescription(name); }
    Line& line() override { return _comm; }

    TComPort _comm;
};

} // namespace hub
