#pragma once
// hubdat subcommands register themselves here; each lives in its own cmd_*.cpp.
#include <QStringList>
#include <functional>
#include <string>

namespace hubdat {

// Exit status: 0 success, 1 a file cannot be read or written, standard output
// included (the reason is on stderr), 2 usage error. A file that
// is empty or does not begin with a start record is read like the windows
// read it (no rows, no days, header lines only) and is not an error.
constexpr int kOk = 0;
constexpr int kFileError = 1;
constexpr int kUsage = 2;

struct Command {
    const char* name;
    const char* synopsis; // one line: "info FILE.dat"
    const char* help;     // the paragraph under it in --help
    std::function<int(const QStringList& args)> run; // args after the subcommand name
};

struct Register {
    explicit Register(Command c);
};

} // namespace hubdat
