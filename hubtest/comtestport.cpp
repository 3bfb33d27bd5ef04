#include "hubtest/comtestport.h"

namespace hub {

ComTestPort::ComTestPort() {
    // Same line as hubmonitor: 4800 8N1, no flow control, DTR low, 2048-byte queues.
    _comm.setHubLine();
}

void ComTestPort::open(const QString& name) {
    _comm.PortName = name;
    _comm.Open();
}

QStringList ComTestPort::enumPorts() {
    QStringList list;
    TComPort::EnumPorts(list);
    return list;
}

} // namespace hub
