// hubtest's link against a hub that answers with any bytes (in chunks, as for
// the hub link), driven through a list of button presses: whatever comes
// back, every press ends with a port that is either connected with the
// connected look or closed with the disconnected look.
//
// Input: op count byte, then that many op bytes, then the line chunks.
//   op % 12: 0..7 output switch, 8 bar test, 9 stand-by test, 10 Disconnect,
//   11 Connect (the first press always connects).
#include "fuzzsupport.h"
#include "hubtest/testlink.h"

#include <stdexcept>
#include <vector>

using namespace fuzzsupport;

namespace {

class Port final : public hub::TestPort {
public:
    explicit Port(hub::Line& l) : line_(l) {}
    void open(const QString& n) override {
        if (open_) throw std::runtime_error("Unable to open com port: 16");
        name_ = n;
        open_ = true;
    }
    void close() override { open_ = false; }
    bool connected() const override { return open_; }
    QString portName() const override { return name_; }
    QStringList enumPorts() override { return {name_}; }
    hub::Line& line() override {
        if (!open_) broken("the line is used on a closed port");
        return line_;
    }

private:
    hub::Line& line_;
    QString name_ = QStringLiteral("ttyS0");
    bool open_ = false;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    initQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    Bytes in(data, size);
    std::vector<std::uint8_t> ops(in.take() % 32);
    ops.resize(in.take(ops.data(), ops.size()));
    ops.insert(ops.begin(), 11);

    FakeClock clock;
    ChunkLine line(clock, in);
    Port port(line);
    hub::TestLink link(port, clock);
    int messages = 0;
    link.Conferma = [&](const QString& m) {
        if (m != hub::TestLink::FailureMessage) broken("unexpected message");
        ++messages;
    };

    for (std::uint8_t op : ops) {
        const int k = op % 12;
        // The window's buttons: Connect toggles, the rest need a connected look.
        if (k == 11) {
            if (port.connected()) {
                link.FermaRic(false);
            } else {
                port.open(QStringLiteral("ttyS0"));
                link.connectHub();
            }
        } else if (!link.picture().connectedLook) {
            continue;
        } else if (k < 8) {
            link.toggleOutput(static_cast<hub::TestOutput>(k));
        } else if (k == 8) {
            link.testBars();
        } else if (k == 9) {
            link.testStandBy();
        } else {
            link.FermaRic(false);
        }
        if (link.picture().connectedLook && !port.connected())
            broken("connected look on a closed port");
    }
    if (port.connected()) link.FermaRic(false);
    if (port.connected() || link.picture().connectedLook) broken("the port outlived the disconnect");
    return 0;
}
