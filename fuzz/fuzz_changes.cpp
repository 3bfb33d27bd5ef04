// The change list of a clicked element over a recording of any bytes, with
// every click code the monitor produces and some it never does; then the
// grid's texts of the rows found.
//
// First byte: the barrier code B; second: the LED code L.
#include "fuzzsupport.h"
#include "monitor/display/changefilter.h"

using namespace fuzzsupport;

namespace {
// Barriers, couples, beam rows, and codes that name nothing.
constexpr int kBarrierCodes[] = {1,  2,  3,   4,   5,   6,   7,   8,  11, 12, 13,
                                 14, 100, 200, 300, 400, 0,   9,   10, 15, 500, -1};
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    initQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static InputFile input;
    if (size < 2) return 0;
    const int b = kBarrierCodes[data[0] % std::size(kBarrierCodes)];
    const int l = static_cast<int>(data[1] % 17) - 1; // -1..15
    const QString& path = input.write(data + 2, size - 2);

    hub::ChangeList list;
    if (!list.load(path, b, l)) broken("the recording could not be opened");
    if (list.rows().size() > (size - 2) / 21) broken("more rows than state records");
    hub::ChangeListModel model;
    model.setList(std::move(list));
    const int rows = model.rowCount();
    if (rows != static_cast<int>(model.list().rows().size()) + 1) broken("no trailing empty row");
    // The texts of the first and last rows, as the grid asks for what is on screen.
    for (int r : {0, rows / 2, rows - 1})
        for (int c = 0; c < hub::kChangeListColumns; ++c)
            (void)model.data(model.index(r, c), Qt::DisplayRole);
    return 0;
}
