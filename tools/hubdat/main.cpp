// hubdat: recordings on the command line, through the same core code as the windows.
#include "command.h"
#include "output.h"

#include <QCoreApplication>
#include <cstdio>
#include <map>

namespace hubdat {
namespace {
std::map<std::string, Command>& registry() {
    static std::map<std::string, Command> r;
    return r;
}

void usage(FILE* out) {
    std::fprintf(out, "Usage: hubdat COMMAND FILE.dat [OPTIONS]\n\n"
                      "Reads hub recordings (.dat) with the monitor's own code.\n\n"
                      "Commands:\n");
    for (const auto& [name, c] : registry()) std::fprintf(out, "  hubdat %s\n      %s\n\n", c.synopsis, c.help);
    std::fprintf(out,
                 "A file that is empty or does not begin with a start record is read as the\n"
                 "windows read it (no rows, no days, the export's header lines only): exit 0.\n"
                 "Only regular files are read.\n\n"
                 "Exit status: 0 success, 1 a file cannot be read or written (standard\n"
                 "output included; the reason is on standard error), 2 usage error.\n");
}
} // namespace

Register::Register(Command c) { registry().emplace(c.name, std::move(c)); }

int optionValue(const QStringList& args, int& i, const char* name, QString& value) {
    const QString& a = args[i];
    const QString opt = QLatin1String(name);
    if (a == opt) {
        if (i + 1 >= args.size()) return -1;
        value = args[++i];
        return 1;
    }
    if (a.startsWith(opt + QLatin1Char('='))) {
        value = a.mid(opt.size() + 1);
        return 1;
    }
    return 0;
}

} // namespace hubdat

int main(int argc, char** argv) {
    using namespace hubdat;
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        usage(stderr);
        return kUsage;
    }
    if (args.front() == QLatin1String("--help") || args.front() == QLatin1String("-h")) {
        usage(stdout);
        return finishStdout("hubdat", kOk);
    }
    const std::string name = args.takeFirst().toStdString();
    auto it = registry().find(name);
    if (it == registry().end()) {
        std::fprintf(stderr, "hubdat: unknown command '%s'\n\n", name.c_str());
        usage(stderr);
        return kUsage;
    }
    return finishStdout(("hubdat " + name).c_str(), it->second.run(args));
}
