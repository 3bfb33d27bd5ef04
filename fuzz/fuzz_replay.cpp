// A recording of any bytes replayed onto the monitor model, and scanned by the
// strict reader hubdat uses: both must stop cleanly wherever the bytes go wrong.
#include "fuzzsupport.h"
#include "monitor/datafile.h"
#include "monitor/replay.h"

using namespace fuzzsupport;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    initQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static InputFile input;
    const QString& path = input.write(data, size);

    hub::MonitorModel model;
    hub::HubState hub;
    int resets = 0;
    auto out = hub::replayFile(path, model, hub, (size & 1) != 0,
                               [&](bool) { ++resets; });
    if (!out) broken("the recording could not be opened");
    if (out->stopOffset < 0 || out->stopOffset > static_cast<qint64>(size))
        broken("replay stopped outside the file");
    if (out->hasStart != (size >= 9 && data[0] == hub::kRecordStartEnd))
        broken("start record not recognised");

    hub::DataFileReader reader;
    if (!reader.open(path)) broken("strict reader could not open the recording");
    double start = 0;
    std::int64_t states = 0;
    if (reader.readStart(start)) {
        hub::DataRecord r;
        while (reader.next(r)) {
            if (r.type == hub::kRecordState) ++states;
            else if (r.type != hub::kRecordSettings) broken("reader returned an unknown type");
        }
    }
    // Both read the same records up to the same place.
    if (reader.stopReason() != out->reason) broken("replay and reader disagree on the stop");
    if (reader.stopOffset() != out->stopOffset) broken("replay and reader stop at different offsets");
    if (states != out->counter) broken("replay and reader count different state records");
    return 0;
}
