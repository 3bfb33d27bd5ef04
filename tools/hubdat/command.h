#pragma once
// hubdat subcommands register themselves here; each lives in its own cmd_*.cpp.
#include <QStringList>
#include <functional>
#include <string>

namespace hubdat {

// Exit status: 0 success, 1 the file cannot be used (message on stderr), 2 usage error.
constexpr int kOk = 0;
constexpr int kFileError = 1;
constexpr int kUsage = 2;

struct Command {
    const char* name;
    const char* synopsis; // one line: "info FILE.dat"
    const char* help;     // the paragraph under it in --help
    std::function<int(const QStringList& args)> run; // args after the subcommand name
    // Draws text or pictures: needs a GUI application (offscreen), which only
    // hubdat-chart has. Others start without QtGui, several milliseconds sooner.
    bool needsGui = true;
};

struct Register {
    explicit Register(Command c);
};

} // namespace hubdat
