// hubdat changes: the rows the change list window shows for one monitor element.
#include "command.h"
#include "monitor/display/changefilter.h"

#include <cstdio>

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

    hub::ChangeList list;
    QString error;
    if (!list.load(path, b, l, &error)) {
        std::fprintf(stderr, "hubdat: %s\n", error.toLocal8Bit().constData());
        return kFileError;
    }
    // The window's trailing empty row is not printed.
    const int rows = static_cast<int>(list.rows().size());
    QByteArray out;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < hub::kChangeListColumns; ++c) {
            if (c > 0) out += '\t';
            out += list.cellText(r, c).toUtf8();
        }
        out += '\n';
        if (out.size() > (1 << 16)) {
            std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
            out.clear();
        }
    }
    std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
    return std::fflush(stdout) == 0 ? kOk : kFileError;
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
