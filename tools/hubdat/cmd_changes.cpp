// hubdat changes: the rows the change list window shows for one monitor element.
#include "command.h"
#include "common/tdatetime.h"
#include "monitor/display/changefilter.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace hubdat {
namespace {

int usageError(const char* why) {
    std::fprintf(stderr, "hubdat changes: %s\nUsage: hubdat changes FILE.dat --click B,L\n", why);
    return kUsage;
}

// "B,L" as the monitor stores its click codes, both decimal integers.
bool parseClick(const QString& text, int& b, int& l) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 2) return false;
    bool okB = false, okL = false;
    b = parts[0].trimmed().toInt(&okB);
    l = parts[1].trimmed().toInt(&okL);
    return okB && okL;
}

int runChanges(const QStringList& args) {
    QString path;
    QString click;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--click")) {
            if (i + 1 >= args.size()) return usageError("--click needs B,L");
            click = args[++i];
        } else if (a.startsWith(QLatin1String("--click="))) {
            click = a.mid(8);
        } else if (a.startsWith(QLatin1String("--"))) {
            return usageError("unknown option");
        } else if (path.isEmpty()) {
            path = a;
        } else {
            return usageError("only one file");
        }
    }
    if (path.isEmpty()) return usageError("no file given");
    if (click.isEmpty()) return usageError("--click B,L is required");
    int b = 0, l = 0;
    if (!parseClick(click, b, l)) return usageError("--click takes two integers, B,L");

    hub::RecordFile f;
    QString error;
    if (!f.open(path, &error)) {
        std::fprintf(stderr, "hubdat changes: Cannot open file %s: %s\n", path.toLocal8Bit().constData(),
                     error.toLocal8Bit().constData());
        return kFileError;
    }
    // Rows are printed as they are found, so memory does not grow with the
    // list; the window's trailing empty row is not printed.
    const QByteArray element = hub::elementText(b).toUtf8();
    // The 14 mark cells, seven at a time.
    QByteArray marks[2][128];
    for (int half = 0; half < 2; ++half)
        for (int m = 0; m < 128; ++m)
            for (int i = 0; i < 7; ++i) {
                marks[half][m] += '\t';
                if (m & (1 << i)) marks[half][m] += hub::changeMarkText().toUtf8();
            }
    hub::DateTimeTexts times;
    // One buffer for the whole run, written out whenever it is nearly full.
    std::vector<char> out(1 << 17);
    size_t used = 0;
    bool writeFailed = false;
    const auto put = [&](const QByteArray& b) {
        std::memcpy(out.data() + used, b.constData(), static_cast<size_t>(b.size()));
        used += static_cast<size_t>(b.size());
    };
    hub::forEachChange(f, b, l, [&](double time, std::uint16_t m) {
        if (writeFailed) return;
        const QByteArray& text = times.utf8(time);
        // A row is the time text, the element and at most 14 marks of 5 bytes.
        if (used + static_cast<size_t>(text.size()) + 128 > out.size()) {
            writeFailed = std::fwrite(out.data(), 1, used, stdout) != used; // main reports it
            used = 0;
        }
        put(text);
        out[used++] = '\t';
        put(element);
        put(marks[0][m & 0x7F]);
        put(marks[1][(m >> 7) & 0x7F]);
        out[used++] = '\n';
    });
    std::fwrite(out.data(), 1, used, stdout);
    return kOk;
}

const Register reg{{
    "changes",
    "changes FILE.dat --click B,L",
    "The rows of the change list for the monitor element with click codes B (barrier "
    "1..8, couple 11..14, beam row 100..400) and L (0 number or letter, 1..14 LED, "
    "1..8 beam): one row a line, 16 TAB-separated cells in UTF-8.",
    runChanges,
}};

} // namespace
} // namespace hubdat
