// hubtest against the simulated hub over a real pseudo-terminal.
#include "common/DialogSeam.h"
#include "common/RxSwitch.h"
#include "hubtest/Test.h"
#include "hubtest/Wiring.h"
#include "common/hubport.h"

#include <QDialog>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <gtest/gtest.h>
#include <sys/resource.h>

using hub::DialogSeam;

namespace {

// One hubsim process for one test, on a link in a private folder.
class HubSimProcess {
public:
    bool start(const QStringList& options) {
        const QString exe = qEnvironmentVariable("HUB_BUILD_DIR") + QStringLiteral("/tools/hubsim/hubsim");
        proc_.start(exe, QStringList{QStringLiteral("--link"), dir_.path() + QStringLiteral("/hub")} +
                             options);
        if (!proc_.waitForStarted(5000)) return false;
        while (!proc_.canReadLine())
            if (!proc_.waitForReadyRead(5000)) return false;
        link = QString::fromLocal8Bit(proc_.readLine()).trimmed();
        return !link.isEmpty();
    }
    ~HubSimProcess() {
        proc_.terminate();
        if (!proc_.waitForFinished(3000)) proc_.kill();
    }
    QString link;

private:
    QTemporaryDir dir_;
    QProcess proc_;
};

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override { DialogSeam::clear(); }
    void TearDown() override {
        w.close();
        DialogSeam::clear();
    }
    template <class T = QWidget> T* get(const char* name) {
        T* c = w.findChild<T*>(QLatin1String(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    void click(const char* name) { QTest::mouseClick(get(name), Qt::LeftButton); }
    void connectTo(const QString& link) {
        DialogSeam::push(QStringLiteral("port"), link);
        click("SbConnect");
    }
    int messages() const {
        return static_cast<int>(DialogSeam::shown().filter(QStringLiteral("message: ")).size());
    }

    hub::ComHubPort port;
    hub::TFTest w{port, hub::SystemClock::instance()};
};

} // namespace

TEST_F(EndToEnd, ConnectTogglesTestsAndDisconnect) {
    HubSimProcess sim;
    ASSERT_TRUE(sim.start({"--test-version", "0x85", "--test-bars", "0x0F", "--test-standby", "0x05"}));
    w.show();
    connectTo(sim.link);
    ASSERT_TRUE(port.connected());
    EXPECT_EQ(get<QLabel>("LVersHub")->text(), QStringLiteral("Vers. HUB: 5"));
    EXPECT_EQ(get<QPushButton>("SbConnect")->text(), QStringLiteral("Disconnect ..."));
    EXPECT_EQ(get<hub::TTerminal>("PStb1")->colour(), QColor(0xFF, 0, 0));
    EXPECT_EQ(get<hub::TTerminal>("PStb2")->colour(), QColor(0, 0xFF, 0));
    EXPECT_TRUE(get("I_Barra4")->isVisible());
    EXPECT_FALSE(get("I_Barra5")->isVisible());
    EXPECT_FALSE(get("L_IDC")->isVisible());

    // The simulated relay toggles: on, then off.
    auto* sw = get<hub::TRxSwitch>("RS_TAM");
    for (bool on : {true, false}) {
        QTest::mouseClick(sw, Qt::LeftButton);
        EXPECT_EQ(sw->isOn(), on);
        EXPECT_EQ(get<hub::TTerminal>("P_TAM2")->colour(), on ? QColor(0xFF, 0, 0) : QColor(0, 0xFF, 0));
    }
    click("SbConnect");
    EXPECT_FALSE(port.connected());
    EXPECT_EQ(get<QPushButton>("SbConnect")->text(), QStringLiteral("Connect ..."));
    EXPECT_EQ(messages(), 0);
}

TEST_F(EndToEnd, RefusedConnectionIsClosedByTheNextPress) {
    HubSimProcess sim;
    ASSERT_TRUE(sim.start({"--test-version", "0x05", "--test-refuse", "0x22"}));
    connectTo(sim.link);
    EXPECT_TRUE(port.connected());
    EXPECT_EQ(get<QLabel>("LVersHub")->text(), QStringLiteral("Vers. HUB TC: 5"));
    EXPECT_EQ(get<QPushButton>("SbConnect")->text(), QStringLiteral("Connect ..."));
    EXPECT_FALSE(get("SB_BAR")->isEnabled());
    click("SbConnect");
    EXPECT_FALSE(port.connected());
    EXPECT_EQ(messages(), 0);
}

TEST_F(EndToEnd, HubGoingQuietEndsWithOneMessageWithoutSpinning) {
    HubSimProcess sim;
    // Answers the connection and both tests, then nothing.
    ASSERT_TRUE(sim.start({"--test-silent-after", "3"}));
    connectTo(sim.link);
    ASSERT_EQ(get<QPushButton>("SbConnect")->text(), QStringLiteral("Disconnect ..."));
    DialogSeam::push(QStringLiteral("message"), QDialog::Accepted);
    DialogSeam::push(QStringLiteral("message"), QDialog::Accepted);
    const auto t0 = std::chrono::steady_clock::now();
    const double cpu0 = cpuSeconds();
    click("RS_ALL"); // unanswered, and so is the end command
    const double waited =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = cpuSeconds() - cpu0;
    EXPECT_GE(waited, 8.6);
    EXPECT_LT(waited, 10.0);
    EXPECT_LT(cpu, 0.5) << "the waits must sleep in poll, not spin";
    EXPECT_EQ(messages(), 1);
    EXPECT_EQ(DialogSeam::pending(), 1);
    EXPECT_FALSE(port.connected());
    EXPECT_TRUE(get<hub::TRxSwitch>("RS_ALL")->isOn()) << "keeps the position the click gave it";
}
