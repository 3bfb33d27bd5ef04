// TFTest driven through its controls on a scripted hub.
#include "common/DialogSeam.h"
#include "common/RxSwitch.h"
#include "fakehub.h"
#include "hubtest/FPort.h"
#include "hubtest/Test.h"
#include "hubtest/Wiring.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace hubtest_fake;
using hub::DialogSeam;
using hub::TFTest;
using Bytes = std::vector<std::uint8_t>;

namespace {

const QColor Red(0xFF, 0x00, 0x00), Lime(0x00, 0xFF, 0x00), Blue(0x00, 0x00, 0xFF),
    Black(0x00, 0x00, 0x00);

class Window : public ::testing::Test {
protected:
    void SetUp() override {
        DialogSeam::clear();
        port.ports = QStringList{QStringLiteral("ttyS0"), QStringLiteral("ttyUSB0")};
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    }
    void TearDown() override {
        // Leave no port open behind: closing sends 0x47 when connected.
        port.reply(0x47, {0x21});
        w.close();
        DialogSeam::clear();
    }

    template <class T = QWidget> T* get(const char* name) {
        T* c = w.findChild<T*>(QLatin1String(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    void click(const char* name) { QTest::mouseClick(get(name), Qt::LeftButton); }
    void connectTo(const QString& portName = QStringLiteral("ttyS0")) {
        DialogSeam::push(QStringLiteral("port"), portName);
        click("SbConnect");
    }
    int messagesShown() const {
        return static_cast<int>(DialogSeam::shown().filter(QStringLiteral("message: ")).size());
    }
    // Colour painted at a point of a part (its centre by default).
    QColor pixelAt(const char* name, QPoint at = QPoint(-1, -1)) {
        QWidget* c = get(name);
        const QImage img = w.grab().toImage();
        return img.pixelColor(c->mapTo(&w, at.x() < 0 ? c->rect().center() : at));
    }

    FakeClock clock;
    FakePort port{clock};
    TFTest w{port, clock};
};

const char* const SwitchNames[] = {"RS_ALL", "RS_AL0", "RS_AL1", "RS_AL2",
                                   "RS_AL3", "RS_TAM", "RS_DIS", "RS_FAI"};

std::vector<const char*> rowParts(int i) {
    static const std::vector<std::vector<const char*>> rows = {
        {"P_ALL1", "P_ALL2", "S_ALL1", "S_ALL2", "L_ALL1", "L_ALL2"},
        {"P_AL11", "P_AL12", "S_AL11", "S_AL12", "L_AL11", "L_AL12"},
        {"P_AL21", "P_AL22", "S_AL21", "S_AL22", "L_AL21", "L_AL22"},
        {"P_AL31", "P_AL32", "S_AL31", "S_AL32", "L_AL31", "L_AL32"},
        {"P_AL41", "P_AL42", "S_AL41", "S_AL42", "L_AL41", "L_AL42"},
        {"P_TAM1", "P_TAM2", "S_TAM1", "S_TAM2", "L_TAM1", "L_TAM2"},
        {"P_DIS", "S_DIS", "L_DIS"},
        {"P_FAI", "S_FAI", "L_FAI"}};
    return rows[i];
}

// Terminals red or lime; wires and arrows red or black.
void expectRow(int i, bool on) {
    for (const char* n : rowParts(i)) {
        SCOPED_TRACE(n);
        QWidget* part = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (!part) part = top->findChild<QWidget*>(QLatin1String(n));
        ASSERT_NE(part, nullptr);
        if (auto* t = qobject_cast<hub::TTerminal*>(part)) {
            EXPECT_EQ(t->colour(), on ? Red : Lime);
        }
        if (auto* wr = qobject_cast<hub::TWire*>(part)) {
            EXPECT_EQ(wr->penColour(), on ? Red : Black);
        }
        if (auto* a = qobject_cast<hub::TArrow*>(part)) {
            EXPECT_EQ(a->colour(), on ? Red : Black);
        }
    }
}

} // namespace

TEST_F(Window, StartsDisconnectedWithTheWholePicture) {
    EXPECT_EQ(w.windowTitle(), QStringLiteral("ZEMBRA TEST HUB (V: 1.2)"));
    EXPECT_EQ(w.size(), QSize(792, 547));
    EXPECT_EQ(get<QPushButton>("SbConnect")->text(), QStringLiteral("Connect ..."));
    EXPECT_EQ(get<QWidget>("PComm")->geometry(), QRect(0, 502, 792, 45));
    EXPECT_EQ(get<hub::TWire>("S_POS")->penColour(), Black);
    EXPECT_EQ(get<hub::TWire>("S_NEG")->penColour(), Black);
    EXPECT_FALSE(get("SB_BAR")->isEnabled());
    EXPECT_FALSE(get("SB_STB")->isEnabled());
    EXPECT_EQ(get("Panel18")->size(), QSize(481, 337));
    EXPECT_EQ(get("Panel16")->size(), QSize(249, 216));
    for (int i = 0; i < 8; ++i) {
        auto* sw = get<hub::TRxSwitch>(SwitchNames[i]);
        EXPECT_FALSE(sw->isEnabled());
        EXPECT_FALSE(sw->isOn());
        EXPECT_EQ(sw->size(), QSize(38, 22));
        EXPECT_EQ(sw->toolTip(), QStringLiteral("Click to change state"));
        for (const char* n : rowParts(i)) EXPECT_NE(w.findChild<QWidget*>(QLatin1String(n)), nullptr) << n;
    }
    for (const char* n : {"P_S1", "P_S2", "P_S3", "P_S4", "P_ST", "Panel13", "Panel14", "PStb1",
                          "PStb4", "PanelLogo", "LVersHub", "SBEXIT"})
        EXPECT_NE(w.findChild<QWidget*>(QLatin1String(n)), nullptr) << n;
    for (int n = 1; n <= 8; ++n) {
        EXPECT_EQ(get(QStringLiteral("I_Barra%1").arg(n).toLatin1())->size(), QSize(190, 14));
        EXPECT_EQ(get<QLabel>(QStringLiteral("L_ID%1").arg(n).toLatin1())->text(), QString::number(n));
        EXPECT_EQ(get(QStringLiteral("S_ID%1").arg(n).toLatin1())->size(), QSize(32, 4));
    }
    EXPECT_EQ(get<QLabel>("L_IDD")->text(), QStringLiteral("ZONE D"));
    // Painted colours, not only the fields: supply wire black, terminal lime.
    EXPECT_EQ(pixelAt("S_POS"), Black);
    EXPECT_EQ(pixelAt("P_ALL1", QPoint(1, 1)), Lime);
}

TEST_F(Window, ConnectShowsVersionAndEnablesTheControls) {
    struct Case {
        std::uint8_t v;
        const char* text;
    } cases[] = {{0x85, "Vers. HUB: 5"}, {0x05, "Vers. HUB TC: 5"}};
    for (const Case& c : cases) {
        port.acceptConnection(c.v);
        connectTo();
        EXPECT_EQ(port.name, QStringLiteral("ttyS0"));
        EXPECT_EQ(get<QLabel>("LVersHub")->text(), QLatin1String(c.text));
        EXPECT_EQ(get<QPushButton>("SbConnect")->text(), QStringLiteral("Disconnect ..."));
        EXPECT_EQ(get<hub::TWire>("S_POS")->penColour(), Blue);
        EXPECT_EQ(pixelAt("S_NEG"), Blue);
        EXPECT_TRUE(get("RS_FAI")->isEnabled());
        EXPECT_TRUE(get("SB_BAR")->isEnabled());
        EXPECT_EQ(port.written, (Bytes{0x46, 0x51, 0x50}));
        // Disconnect: no message, the look goes back, colours stay.
        port.reply(0x47, {0x21});
        click("SbConnect");
        EXPECT_FALSE(port.connected());
        EXPECT_EQ(get<QPushButton>("SbConnect")->text(), QStringLiteral("Connect ..."));
        EXPECT_EQ(get<hub::TWire>("S_POS")->penColour(), Black);
        EXPECT_FALSE(get("RS_FAI")->isEnabled());
        EXPECT_EQ(get<QLabel>("LVersHub")->text(), QLatin1String(c.text)) << "keeps the version";
        EXPECT_EQ(messagesShown(), 0);
        port.written.clear();
    }
}

TEST_F(Window, RefusedConnectionThenConnectPressClosesWithoutMessage) {
    port.reply(0x46, {0x85, 0x33});
    connectTo();
    EXPECT_TRUE(port.connected());
    EXPECT_EQ(get<QPushButton>("SbConnect")->text(), QStringLiteral("Connect ..."));
    EXPECT_EQ(get<QLabel>("LVersHub")->text(), QStringLiteral("Vers. HUB: 5"));
    EXPECT_FALSE(get("RS_ALL")->isEnabled());
    port.reply(0x47, {0x21});
    click("SbConnect"); // no port dialog this time
    EXPECT_EQ(DialogSeam::shown().filter(QStringLiteral("port: ")).size(), 1);
    EXPECT_EQ(port.written, (Bytes{0x46, 0x47}));
    EXPECT_FALSE(port.connected());
    EXPECT_EQ(messagesShown(), 0);
}

TEST_F(Window, SilentHubShowsExactlyOneMessageBox) {
    DialogSeam::push(QStringLiteral("message"), QDialog::Accepted);
    DialogSeam::push(QStringLiteral("message"), QDialog::Accepted); // spare: must stay unused
    connectTo();
    EXPECT_EQ(messagesShown(), 1);
    EXPECT_EQ(DialogSeam::pending(), 1);
    EXPECT_TRUE(DialogSeam::shown().contains(
        QStringLiteral("message: Comunication FAILED ... reconnect !")));
    EXPECT_EQ(port.written, (Bytes{0x46, 0x47}));
    EXPECT_FALSE(port.connected());
    EXPECT_EQ(get<QPushButton>("SbConnect")->text(), QStringLiteral("Connect ..."));
}

TEST_F(Window, OutputSwitchFollowsTheHubNotTheClick) {
    port.acceptConnection();
    connectTo();
    for (int i = 0; i < 8; ++i) {
        const auto cmd = static_cast<std::uint8_t>(0x48 + i);
        auto* sw = get<hub::TRxSwitch>(SwitchNames[i]);
        // Hub says active, then inactive, then inactive again although the click turned it on.
        port.reply(cmd, {0x21});
        port.reply(cmd, {0x22});
        port.reply(cmd, {0x22});
        for (bool on : {true, false, false}) {
            QTest::mouseClick(sw, Qt::LeftButton);
            EXPECT_EQ(sw->isOn(), on) << SwitchNames[i];
            expectRow(i, on);
        }
        EXPECT_EQ(port.written.back(), cmd);
    }
    EXPECT_EQ(messagesShown(), 0);
}

TEST_F(Window, SwitchFlipsOnPressAndSendsOnRelease) {
    port.acceptConnection();
    connectTo();
    auto* sw = get<hub::TRxSwitch>("RS_AL3");
    const size_t before = port.written.size();
    port.reply(0x4C, {0x22});
    QTest::mousePress(sw, Qt::LeftButton);
    EXPECT_TRUE(sw->isOn());
    EXPECT_EQ(port.written.size(), before) << "nothing sent before the click completes";
    QTest::mouseRelease(sw, Qt::LeftButton);
    EXPECT_EQ(port.written.back(), 0x4C);
    EXPECT_FALSE(sw->isOn()) << "the hub said inactive";
}

TEST_F(Window, OutputColoursAreWhatIsPainted) {
    port.acceptConnection();
    connectTo();
    port.reply(0x48, {0x21});
    click("RS_ALL");
    EXPECT_EQ(pixelAt("S_ALL2"), Red);
    EXPECT_EQ(pixelAt("L_ALL1"), Red);
    EXPECT_EQ(pixelAt("P_ALL2", QPoint(1, 1)), Red);
    EXPECT_EQ(pixelAt("S_TAM1"), Black);
}

TEST_F(Window, TimeOutOnAToggleKeepsTheClickPositionAndDisconnects) {
    port.acceptConnection();
    connectTo();
    DialogSeam::push(QStringLiteral("message"), QDialog::Accepted);
    port.reply(0x47, {0x21});
    click("RS_DIS"); // 0x4E unanswered
    EXPECT_TRUE(get<hub::TRxSwitch>("RS_DIS")->isOn());
    EXPECT_EQ(get<hub::TTerminal>("P_DIS")->colour(), Lime);
    EXPECT_EQ(messagesShown(), 1);
    EXPECT_FALSE(port.connected());
    EXPECT_FALSE(get("RS_DIS")->isEnabled());
}

TEST_F(Window, BarTestShowsAnsweringBarriers) {
    struct Case {
        std::uint8_t mask;
        const char* shown;
    } cases[] = {{0x0F, "1234AB"}, {0x40, "7D"}};
    for (const Case& c : cases) {
        port.reply(0x46, {0x85, 0x21});
        port.reply(0x51, {0x00, 0x21});
        port.reply(0x50, {c.mask, 0x21});
        connectTo();
        const QString shown = QLatin1String(c.shown);
        for (int n = 1; n <= 8; ++n) {
            const bool vis = shown.contains(QString::number(n));
            for (const char* prefix : {"I_Barra", "L_ID", "S_ID"})
                EXPECT_EQ(get(QStringLiteral("%1%2").arg(QLatin1String(prefix)).arg(n).toLatin1())->isVisible(),
                          vis)
                    << prefix << n << " mask " << int(c.mask);
        }
        for (char z : {'A', 'B', 'C', 'D'})
            EXPECT_EQ(get(QStringLiteral("L_ID%1").arg(QLatin1Char(z)).toLatin1())->isVisible(),
                      shown.contains(QLatin1Char(z)))
                << z;
        EXPECT_EQ(get<QPushButton>("SB_BAR")->text(), QStringLiteral("TEST BARS"));
        port.reply(0x47, {0x21});
        click("SbConnect");
        // The last result stays after the disconnection.
        EXPECT_EQ(get("I_Barra7")->isVisible(), shown.contains(QLatin1Char('7')));
    }
}

TEST_F(Window, BarTestingStaysOnStatusNotAvailable) {
    port.acceptConnection();
    connectTo();
    port.reply(0x50, {0x01, 0x22});
    click("SB_BAR");
    EXPECT_EQ(get<QPushButton>("SB_BAR")->text(), QStringLiteral("Testing.."));
    EXPECT_EQ(w.cursor().shape(), Qt::WaitCursor);
    EXPECT_TRUE(get("I_Barra8")->isVisible()) << "no result, no change";
    port.reply(0x50, {0x01, 0x21});
    click("SB_BAR");
    EXPECT_EQ(get<QPushButton>("SB_BAR")->text(), QStringLiteral("TEST BARS"));
    EXPECT_EQ(w.cursor().shape(), Qt::ArrowCursor);
    EXPECT_FALSE(get("I_Barra8")->isVisible());
}

TEST_F(Window, StandByTestColoursTheInputs) {
    struct Case {
        std::uint8_t mask;
        std::array<bool, 4> red;
    } cases[] = {{0x05, {1, 0, 1, 0}}, {0xF0, {0, 0, 0, 0}}};
    port.acceptConnection();
    connectTo();
    for (const Case& c : cases) {
        port.reply(0x51, {c.mask, 0x21});
        click("SB_STB");
        for (int k = 0; k < 4; ++k) {
            const QColor want = c.red[k] ? Red : Lime;
            const QColor wire = c.red[k] ? Red : Black;
            EXPECT_EQ(get<hub::TTerminal>(QStringLiteral("PStb%1").arg(k + 1).toLatin1())->colour(), want);
            EXPECT_EQ(get<hub::TWire>(QStringLiteral("S_Stb%1").arg(k + 1).toLatin1())->penColour(), wire);
            EXPECT_EQ(get<hub::TArrow>(QStringLiteral("L_Stb%1").arg(k + 1).toLatin1())->colour(), wire);
            EXPECT_EQ(get<hub::TArrow>(QStringLiteral("L_Stb%1").arg(k + 1).toLatin1())->direction(),
                      hub::TArrow::Up);
        }
    }
}

TEST_F(Window, PortDialogRemembersTheLastPort) {
    port.ports = QStringList{QStringLiteral("ttyS0"), QStringLiteral("ttyUSB0")};
    DialogSeam::push(QStringLiteral("port"), QDialog::Rejected);
    click("SbConnect");
    EXPECT_EQ(DialogSeam::shown().last(), QStringLiteral("port: ")) << "empty at first";
    EXPECT_TRUE(port.written.empty());
    port.acceptConnection();
    connectTo(QStringLiteral("ttyUSB0"));
    port.reply(0x47, {0x21});
    click("SbConnect");
    DialogSeam::push(QStringLiteral("port"), QDialog::Rejected);
    click("SbConnect");
    EXPECT_EQ(DialogSeam::shown().last(), QStringLiteral("port: ttyUSB0"));
}

TEST_F(Window, NoPortsAndUnopenablePortStayDisconnected) {
    port.ports.clear();
    port.failOpen = true;
    DialogSeam::push(QStringLiteral("error"), 0);
    DialogSeam::push(QStringLiteral("port"), QStringLiteral("NESSUNA PORTA SERIALE DISPONIBILE"));
    click("SbConnect");
    EXPECT_TRUE(DialogSeam::shown().contains(QStringLiteral("ports: NESSUNA PORTA SERIALE DISPONIBILE")));
    EXPECT_EQ(port.name, QStringLiteral("NESSUNA PORTA SERIALE DISPONIBILE"));
    EXPECT_TRUE(DialogSeam::shown().contains(QStringLiteral("error: Unable to open com port: 2")));
    EXPECT_FALSE(port.connected());
    EXPECT_TRUE(port.written.empty());
    EXPECT_EQ(get<QPushButton>("SbConnect")->text(), QStringLiteral("Connect ..."));
}

TEST_F(Window, ClosingWhileConnectedSendsTheEndCommandQuietly) {
    port.acceptConnection();
    connectTo();
    port.reply(0x47, {0x21});
    w.close();
    EXPECT_EQ(port.written.back(), 0x47);
    EXPECT_FALSE(port.connected());
    EXPECT_EQ(messagesShown(), 0);
}

TEST_F(Window, VanishedPortCanStillBeDisconnected) {
    port.acceptConnection();
    connectTo();
    port.failWrite = true;
    DialogSeam::push(QStringLiteral("error"), 0);
    DialogSeam::push(QStringLiteral("error"), 0);
    click("RS_ALL");
    EXPECT_TRUE(DialogSeam::shown().contains(QStringLiteral("error: Unable to write to port: 5")));
    click("SbConnect"); // the end command cannot be written either
    EXPECT_EQ(DialogSeam::shown().filter(QStringLiteral("error: ")).size(), 2);
    EXPECT_FALSE(port.connected());
    EXPECT_EQ(get<QPushButton>("SbConnect")->text(), QStringLiteral("Connect ..."));
    EXPECT_FALSE(get("RS_ALL")->isEnabled());
}

TEST_F(Window, EscapeExits) {
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(Window, Screenshots) {
    // Saved for looking at; the checks above pin what they must show.
    const QString dir = qEnvironmentVariable("HUB_BUILD_DIR", QDir::tempPath()) +
                        QStringLiteral("/screens");
    QDir().mkpath(dir);
    EXPECT_TRUE(w.grab().save(dir + QStringLiteral("/hubtest_disconnected.png")));
    port.reply(0x46, {0x85, 0x21});
    port.reply(0x51, {0x05, 0x21});
    port.reply(0x50, {0xFF, 0x21});
    connectTo();
    port.reply(0x48, {0x21});
    click("RS_ALL");
    port.reply(0x4B, {0x21});
    click("RS_AL2");
    EXPECT_TRUE(w.grab().save(dir + QStringLiteral("/hubtest_connected.png")));
    port.reply(0x50, {0x4F, 0x21});
    click("SB_BAR");
    EXPECT_TRUE(w.grab().save(dir + QStringLiteral("/hubtest_bartest.png")));
    EXPECT_FALSE(get("I_Barra5")->isVisible());

    // The port dialog in both its uses.
    hub::TPort ask(&w);
    ask.LMessage->hide();
    ask.ElPorte->addItems({QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyUSB0")});
    EXPECT_EQ(ask.size(), QSize(500, 233));
    EXPECT_EQ(ask.windowTitle(), QStringLiteral("CONNENCTING  HUB"));
    EXPECT_TRUE(ask.grab().save(dir + QStringLiteral("/hubtest_port.png")));
    hub::TPort msg(&w);
    msg.asMessage(QStringLiteral("Comunication FAILED ... reconnect !"));
    EXPECT_FALSE(msg.Button2->isVisibleTo(&msg));
    EXPECT_TRUE(msg.grab().save(dir + QStringLiteral("/hubtest_message.png")));
}
