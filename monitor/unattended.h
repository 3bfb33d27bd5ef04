#pragma once
// Unattended start for guard posts: hubmonitor --port DEVICE [--record NAME |
// --no-record] starts the acquisition at launch. The options count only when
// the first argument starts with "--"; otherwise the usual rules hold (one
// argument: the viewer; any other number: ignored).
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace hub {

struct UnattendedStart {
    bool requested = false;      // the first argument starts with "--"
    QString port;
    std::optional<bool> record;  // --record NAME / --no-record; unset: the dialog's choice
    QString name;
    QString error;               // a bad command line, for stderr
};

// arguments[0] is the program.
UnattendedStart parseUnattended(const QStringList& arguments);

// SIGINT and SIGTERM delivered as a call on the main thread (self-pipe and a
// socket notifier), so that a running acquisition can end cleanly.
class QuitSignals {
public:
    explicit QuitSignals(std::function<void()> onSignal);
    ~QuitSignals();
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

private:
    struct Impl;
    Impl* d_;
};

} // namespace hub
