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

// The serial errors read "Unable to ...: " and the system's error code in
// decimal (then, for some, a hint). deviceErrorCode gives the code, -1 when the
// message has none; withSystemText puts the system's own text for it right
// after the code ("Unable to open com port: 25 (Inappropriate ioctl for
// device)"), for stderr and the logs. Other messages stay as they are.
int deviceErrorCode(const QString& message);
QString withSystemText(const QString& message);

// Whether a device that failed to open with this error code can come back by
// itself: a missing or busy device can (an adapter plugged in, a program
// ending); a path that is not a terminal, a folder, or one below a folder
// that does not exist cannot (a folder under /dev can: udev makes
// /dev/serial/by-id with the first adapter).
bool deviceErrorCanHeal(int code, const QString& device);
// Reopening after an error that cannot heal by itself: slower, not given up
// (someone may mend the path or plug in what it names).
constexpr int kSlowReopenMs = 30000;

// SIGINT and SIGTERM delivered as a call on the main thread (self-pipe and a
// socket notifier), so that a running acquisition can end cleanly. With a
// deadline, the first signal also arms a last resort: if the program is still
// there that many seconds later (the main thread stuck in a wait, a dialog's
// loop the call never reached), it says so on stderr and exits with status 1.
// The recording then lacks its end record only: every record before it is
// already in the kernel.
class QuitSignals {
public:
    explicit QuitSignals(std::function<void()> onSignal, int deadlineSeconds = 0);
    ~QuitSignals();
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

private:
    struct Impl;
    Impl* d_;
};

} // namespace hub
