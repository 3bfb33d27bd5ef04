#pragma once
// The main window as the tests make it: on a port that opens whatever it is
// asked and stays silent, with a clock that jumps instead of waiting
// (QuietWindow), or on the real serial component for the simulated hub
// (LiveWindow). Controls are found by their names, as a user finds them.
#include "common/DialogSeam.h"
#include "monitor/FAnaBarre.h"
#include "common/hubport.h"
#include "fakeclock.h"

#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

namespace mainwin_test {

// The fake clock of every test, started an hour in (a zero time means "never"
// to some of the link's bookkeeping).
using JumpClock = testsupport::FakeClock;

// A hub that never answers: every write is taken, nothing ever arrives.
struct SilentPort : hub::HubPort, hub::Line {
    explicit SilentPort(JumpClock& c) : clock(c) {}
    void open(const QString& name) override {
        portName_ = name;
        open_ = true;
    }
    void close() override { open_ = false; }
    bool connected() const override { return open_; }
    QString portName() const override { return portName_; }
    QStringList enumPorts() override { return {}; }
    hub::Line& line() override { return *this; }

    int writeBytes(const std::uint8_t*, int count) override {
        written += count;
        return count;
    }
    int readBytes(std::uint8_t*, int) override { return 0; }
    int inQueCount() override { return 0; }
    void purgeIn() override {}
    void purgeOut() override {}
    void waitReadable(hub::SteadyTime deadline) override { clock.sleepUntil(deadline); }

    JumpClock& clock;
    int written = 0;

private:
    QString portName_;
    bool open_ = false;
};

struct QuietParts {
    JumpClock clock{hub::SteadyTime{std::chrono::hours(1)}};
    SilentPort port{clock};
};

class QuietWindow : public QuietParts, public hub::TAnalisiBarre {
public:
    QuietWindow() : TAnalisiBarre(port, clock) {}
};

struct LiveParts {
    hub::ComHubPort port;
};

class LiveWindow : public LiveParts, public hub::TAnalisiBarre {
public:
    LiveWindow() : TAnalisiBarre(port, hub::SystemClock::instance()) {}
};

template <class T = QWidget> T* control(const QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QLatin1String(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

// An acquisition on whatever port the window has, without recording, as if
// the user pressed OK in the dialog.
inline void startAcquisition(hub::TAnalisiBarre& w, const QString& port = QStringLiteral("quiet")) {
    hub::DialogSeam::push(QStringLiteral("ricevi"), QDialog::Accepted);
    w.SBRiceviClick(hub::TAnalisiBarre::RiceviPreset{port, false, QString()});
}

// Counts the loads of a recording into the window: each one shows the gauge.
class LoadCounter : public QObject {
public:
    explicit LoadCounter(QWidget& w) { control(w, "ProgRead")->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Show) ++count;
        return false;
    }
};

} // namespace mainwin_test
