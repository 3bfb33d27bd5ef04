// hubdat: recordings on the command line, through the same core code as the windows.
#include "command.h"

#include <QCoreApplication>
#if HUBDAT_GUI
#include <QGuiApplication>
#endif
#include <cstdio>
#include <map>
#include <memory>

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
    std::fprintf(out, "Exit status: 0 success, 1 the file cannot be used, 2 usage error.\n");
}
} // namespace

Register::Register(Command c) { registry().emplace(c.name, std::move(c)); }

} // namespace hubdat

int main(int argc, char** argv) {
    using namespace hubdat;
    std::unique_ptr<QCoreApplication> app;
#if HUBDAT_GUI
    // Charts draw text, so a GUI application (offscreen) is needed; nothing is
    // shown. Commands that draw nothing get a plain core application.
    const auto named = argc > 1 ? registry().find(argv[1]) : registry().end();
    if (named == registry().end() || named->second.needsGui) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
#endif
    if (!app) app = std::make_unique<QCoreApplication>(argc, argv);
    QStringList args = app->arguments().mid(1);
    if (args.isEmpty()) {
        usage(stderr);
        return kUsage;
    }
    if (args.front() == QLatin1String("--help") || args.front() == QLatin1String("-h")) {
        usage(stdout);
        return kOk;
    }
    const std::string name = args.takeFirst().toStdString();
    auto it = registry().find(name);
    if (it == registry().end()) {
        std::fprintf(stderr, "hubdat: unknown command '%s'\n\n", name.c_str());
        usage(stderr);
        return kUsage;
    }
    return it->second.run(args);
}
