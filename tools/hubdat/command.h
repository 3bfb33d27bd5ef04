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

// "--name VALUE" or "--name=VALUE" at args[i] (i moves past a separate
// value): 1 when found (*value set), 0 when args[i] is not this option, -1
// when its value is missing.
int optionValue(const QStringList& args, int& i, const char* name, QString& value);

struct Register {
    explicit Register(Command c);
};

} // namespace hubdat
