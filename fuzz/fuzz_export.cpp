// A recording of any bytes exported to the fixed-width text file: the export
// ends cleanly and its output is whole 227-byte lines, one per state record.
#include "fuzzsupport.h"
#include "monitor/analysis/textexport.h"

#include <sys/stat.h>

using namespace fuzzsupport;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    initQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static InputFile input;
    static const QString outPath = scratchPath("export.txt");
    const QString& path = input.write(data, size);

    const hub::ExportResult r = hub::exportRecording(path, outPath);
    if (r.status != hub::ExportStatus::Done && r.status != hub::ExportStatus::NoStartRecord &&
        r.status != hub::ExportStatus::TooShort)
        broken("export of a readable file failed");
    if (r.lines < 0 || r.lines > static_cast<qint64>(size / 21)) broken("more lines than state records");

    struct stat st{};
    if (stat(outPath.toLocal8Bit().constData(), &st) != 0) broken("no output file");
    if (st.st_size != (2 + r.lines) * hub::kExportLineSize) broken("output is not whole lines");
    return 0;
}
