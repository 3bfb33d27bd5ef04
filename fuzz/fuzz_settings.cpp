// The settings decoders fed blocks of any bytes, mixed with state records and
// zoom changes as a live acquisition or a replay mixes them, and the settings
// windows' texts worked out from whatever was decoded.
//
// The input is a list of operations, each an op byte and its bytes:
//   0 SW block: kind + 9 bytes      1 TC block: kind + 70 bytes
//   2 state record: 12 bytes        3 LED size: 1 byte
//   4 both settings windows' texts  (bit 3 of the op byte: compact view)
#include "fuzzsupport.h"
#include "monitor/ricevidati.h"
#include "monitor/settings/settingsdecoders.h"
#include "monitor/settings/settingstexts.h"

using namespace fuzzsupport;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    initQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static const QLocale italian(QLocale::Italian, QLocale::Italy);
    Bytes in(data, size);
    hub::MonitorModel model;
    hub::HubState hub;
    hub.lastPort = QStringLiteral("ttyUSB0");
    model.SetDimeLed(29);
    int ops = 0;
    while (!in.empty() && ops++ < 256) {
        const std::uint8_t op = in.take();
        const bool compact = (op & 8) != 0;
        switch (op % 5) {
        case 0: {
            const std::uint8_t kind = in.take();
            std::array<std::uint8_t, hub::kSwBlockSize> b{};
            in.take(b.data(), b.size());
            hub::RiceviSet_SW(model, hub, kind, b, compact);
            break;
        }
        case 1: {
            const std::uint8_t kind = in.take();
            std::array<std::uint8_t, hub::kTcBlockSize> b{};
            in.take(b.data(), b.size());
            QString caption;
            hub::RiceviSet_TC(model, hub, kind, b, compact, &caption);
            break;
        }
        case 2: {
            hub::StateRecord s{};
            in.take(s.data(), s.size());
            hub.current = s;
            hub::RiceviDati(model, hub, s, true, true, compact);
            break;
        }
        case 3:
            model.SetDimeLed(in.take());
            break;
        case 4: {
            (void)hub::swSetupTexts(hub.sw, hub.versHub);
            (void)hub::tcSetupTexts(hub.tc, hub.versHub, (op & 16) ? italian : QLocale::c());
            break;
        }
        }
        // The link reads exactly this many bytes a record into the 12-byte state.
        const hub::StreamParams& p = hub.stream;
        if (p.recordLength < 1 || p.recordLength > 12) broken("record length outside the state");
        if (p.recordsPerTick < 1 || p.blinkCount < 0) broken("stream parameters out of range");
    }
    return 0;
}
