#include "hubtest/Test.h"

#include "common/DialogSeam.h"
#include "common/RxSwitch.h"
#include "hubtest/FPort.h"
#include "hubtest/Wiring.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <exception>

namespace hub {

namespace {
const QColor Red(0xFF, 0x00, 0x00);
const QColor Lime(0x00, 0xFF, 0x00);
const QColor Green(0x00, 0x80, 0x00);
const QColor Navy(0x00, 0x00, 0x80);
const QColor Blue(0x00, 0x00, 0xFF);
const QColor Maroon(0x80, 0x00, 0x00);
const QColor Silver(0xC0, 0xC0, 0xC0);
const QColor Yellow(0xFF, 0xFF, 0x00);
const QColor Grey(0x80, 0x80, 0x80);

const QString NoPort = QStringLiteral("NESSUNA PORTA SERIALE DISPONIBILE");

// The hub board's terminal strip: left edges in board coordinates.
constexpr int TermY = 276;
constexpr int CapY = 313;
constexpr int BoardX = 301, BoardY = 40, BoardW = 481, BoardH = 337;
constexpr int BelowY = BoardY + BoardH; // where wires leave the board
constexpr int X_S1 = 4, X_ST = 108, X_SA = 140, X_NEG = 244, X_POS = 268, X_ALL = 300,
              X_TAM = 356, X_DIS = 412, X_FAI = 444;
constexpr int Pitch = 24; // neighbouring terminals

QFont arial(int px, bool bold, bool italic = false) {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(px);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

void fill(QWidget* w, QColor c) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, c);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}
} // namespace

TFTest::TFTest(TestPort& port, SteadyClock& clock, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint), link_(port, clock),
      port_(port) {
    setObjectName(QStringLiteral("FTest"));
    setWindowTitle(QStringLiteral("ZEMBRA TEST HUB (V: 1.2)"));
    setFixedSize(792, 547);
    fill(this, Silver);
    build();
    link_.Conferma = [this](const QString& m) { Conferma(m); };
    link_.onChanged = [this] { showPicture(); };
    showPicture();
}

TFTest::~TFTest() = default;

// ---- building the picture -------------------------------------------------

TTerminal* TFTest::terminal(QWidget* parent, const QString& name, int x, int y) {
    auto* t = new TTerminal(parent);
    t->setObjectName(name);
    t->move(x, y);
    return t;
}

TWire* TFTest::wire(QWidget* parent, const QString& name, QRect r, QColor pen) {
    auto* w = new TWire(parent, pen);
    w->setObjectName(name);
    w->setGeometry(r);
    return w;
}

TArrow* TFTest::arrow(QWidget* parent, const QString& name, int cx, int y, bool up) {
    auto* a = new TArrow(up ? TArrow::Up : TArrow::Down, parent);
    a->setObjectName(name);
    a->move(cx - a->width() / 2, y);
    return a;
}

QLabel* TFTest::label(QWidget* parent, const QString& name, const QString& text, QRect r, int px,
                      QColor colour, bool bold, Qt::Alignment a) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setGeometry(r);
    l->setFont(arial(px, bold));
    l->setAlignment(a);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, colour);
    l->setPalette(pal);
    return l;
}

void TFTest::build() {
    auto* logo = new TLogo(this);
    logo->setObjectName(QStringLiteral("PanelLogo"));
    logo->setGeometry(8, 8, 230, 66);
    label(logo, QStringLiteral("LLogo1"), QStringLiteral("ZEMBRA"), QRect(58, 6, 168, 32), 26,
          Navy, true, Qt::AlignLeft | Qt::AlignVCenter)
        ->setFont(arial(26, true, true));
    label(logo, QStringLiteral("LLogo2"), QStringLiteral("TEST HUB"), QRect(60, 38, 166, 20), 13,
          Red, true, Qt::AlignLeft | Qt::AlignVCenter);

    buildBarriers();
    buildHubBoard();
    buildZoneBoard();
    buildBelowBoard();
    buildBottomPanel();

    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(esc, &QShortcut::activated, SBEXIT, &QPushButton::click);
}

void TFTest::buildHubBoard() {
    Panel18 = new TBoard(Green, this);
    Panel18->setObjectName(QStringLiteral("Panel18"));
    Panel18->setGeometry(BoardX, BoardY, BoardW, BoardH);
    label(Panel18, QStringLiteral("LHub"), QStringLiteral("HUB"), QRect(262, 4, 214, 32), 27,
          Qt::white);

    // Output switches over their terminals; the fixed lines run down to them.
    struct Sw {
        TestOutput out;
        const char* name;
        const char* caption;
        int cx, y;
    };
    const Sw sws[] = {
        {TestOutput::All, "RS_ALL", "ALARM", X_ALL + 23, 58},
        {TestOutput::Dis, "RS_DIS", "DISQUALIFY", X_DIS + 11, 58},
        {TestOutput::Tam, "RS_TAM", "TAMPER", X_TAM + 23, 120},
        {TestOutput::Fai, "RS_FAI", "FAILURE", X_FAI + 11, 120},
    };
    for (const Sw& s : sws) {
        label(Panel18, QStringLiteral("L") + QLatin1String(s.name), QLatin1String(s.caption),
              QRect(s.cx - 36, s.y - 16, 72, 14), 10, Qt::white);
        auto* sw = new TRxSwitch(Panel18);
        sw->setObjectName(QLatin1String(s.name));
        sw->setGeometry(s.cx - 19, s.y, 38, 22);
        rows_[static_cast<int>(s.out)].sw = sw;
    }
    const int swBottom1 = 58 + 22, swBottom2 = 120 + 22, join = 266;
    auto pairLines = [&](int cx, int top, int left) {
        Panel18->addLine(QLine(cx, top, cx, join));
        Panel18->addLine(QLine(left + 11, join, left + Pitch + 11, join));
        Panel18->addLine(QLine(left + 11, join, left + 11, TermY));
        Panel18->addLine(QLine(left + Pitch + 11, join, left + Pitch + 11, TermY));
    };
    pairLines(X_ALL + 23, swBottom1, X_ALL);
    pairLines(X_TAM + 23, swBottom2, X_TAM);
    Panel18->addLine(QLine(X_DIS + 11, swBottom1, X_DIS + 11, TermY));
    Panel18->addLine(QLine(X_FAI + 11, swBottom2, X_FAI + 11, TermY));

    auto& all = rows_[static_cast<int>(TestOutput::All)];
    auto& tam = rows_[static_cast<int>(TestOutput::Tam)];
    auto& dis = rows_[static_cast<int>(TestOutput::Dis)];
    auto& fai = rows_[static_cast<int>(TestOutput::Fai)];
    fai.terminals = {terminal(Panel18, QStringLiteral("P_FAI"), X_FAI, TermY)};
    dis.terminals = {terminal(Panel18, QStringLiteral("P_DIS"), X_DIS, TermY)};
    tam.terminals = {terminal(Panel18, QStringLiteral("P_TAM1"), X_TAM, TermY),
                     terminal(Panel18, QStringLiteral("P_TAM2"), X_TAM + Pitch, TermY)};
    all.terminals = {terminal(Panel18, QStringLiteral("P_ALL1"), X_ALL, TermY),
                     terminal(Panel18, QStringLiteral("P_ALL2"), X_ALL + Pitch, TermY)};
    terminal(Panel18, QStringLiteral("Panel13"), X_NEG, TermY);
    terminal(Panel18, QStringLiteral("Panel14"), X_POS, TermY);
    for (int k = 0; k < 4; ++k) {
        PStb[k] = terminal(Panel18, QStringLiteral("PStb%1").arg(k + 1), X_SA + k * Pitch, TermY);
        terminal(Panel18, QStringLiteral("P_S%1").arg(k + 1), X_S1 + k * Pitch, TermY);
    }
    terminal(Panel18, QStringLiteral("P_ST"), X_ST, TermY);

    auto caption = [&](const QString& text, int x, int w) {
        auto* c = new TCaption(text, Panel18);
        c->setGeometry(x, CapY, w, 17);
    };
    caption(QStringLiteral("FL"), X_FAI, 22);
    caption(QStringLiteral("DQ"), X_DIS, 22);
    caption(QStringLiteral("TAMP"), X_TAM, 22 + Pitch);
    caption(QStringLiteral("ALRM"), X_ALL, 22 + Pitch);
    caption(QStringLiteral("\u2013"), X_NEG, 22);
    caption(QStringLiteral("+"), X_POS, 22);
    const char* zones = "ABCD";
    for (int k = 0; k < 4; ++k) {
        caption(QStringLiteral("s") + QLatin1Char(zones[k]), X_SA + k * Pitch, 22);
        caption(QStringLiteral("S%1").arg(k + 1), X_S1 + k * Pitch, 22);
    }
    caption(QString(), X_ST, 22); // earth

    SB_BAR = new QPushButton(QStringLiteral("TEST BARS"), Panel18);
    SB_BAR->setObjectName(QStringLiteral("SB_BAR"));
    SB_BAR->setGeometry(8, 232, 120, 32);
    SB_BAR->setFont(arial(12, true));
    connect(SB_BAR, &QPushButton::clicked, this, &TFTest::SB_BARClick);
    SB_STB = new QPushButton(QStringLiteral("TEST STAND-BY"), Panel18);
    SB_STB->setObjectName(QStringLiteral("SB_STB"));
    SB_STB->setGeometry(136, 232, 121, 32);
    SB_STB->setFont(arial(12, true));
    connect(SB_STB, &QPushButton::clicked, this, &TFTest::SB_STBClick);
}

void TFTest::buildZoneBoard() {
    // The single-zone alarm card sits plugged over the hub board's upper left.
    Panel16 = new TBoard(Green, Panel18);
    Panel16->setObjectName(QStringLiteral("Panel16"));
    Panel16->setGeometry(8, 8, 249, 216);
    label(Panel16, QStringLiteral("LDI4"), QStringLiteral("DI4"), QRect(0, 2, 249, 30), 27,
          Qt::white);
    label(Panel16, QStringLiteral("LSingleZone"), QStringLiteral("SINGLE ZONE ALARM"),
          QRect(0, 32, 249, 16), 12, Qt::white);
    const char* zones = "ABCD";
    for (int z = 0; z < 4; ++z) {
        const int x0 = 5 + z * 60, cx = x0 + 30, left = x0 + 7;
        OutputRow& row = rows_[static_cast<int>(TestOutput::Al0) + z];
        auto* sw = new TRxSwitch(Panel16);
        sw->setObjectName(QStringLiteral("RS_AL%1").arg(z));
        sw->setGeometry(cx - 19, 56, 38, 22);
        row.sw = sw;
        Panel16->addLine(QLine(cx, 78, cx, 88));
        Panel16->addLine(QLine(left + 11, 88, left + Pitch + 11, 88));
        Panel16->addLine(QLine(left + 11, 88, left + 11, 96));
        Panel16->addLine(QLine(left + Pitch + 11, 88, left + Pitch + 11, 96));
        for (int j = 0; j < 2; ++j) {
            const QString id = QStringLiteral("%1%2").arg(z + 1).arg(j + 1);
            const int x = left + j * Pitch;
            row.terminals.push_back(terminal(Panel16, QStringLiteral("P_AL") + id, x, 96));
            row.wires.push_back(wire(Panel16, QStringLiteral("S_AL") + id, QRect(x + 9, 150, 4, 36)));
            row.arrows.push_back(arrow(Panel16, QStringLiteral("L_AL") + id, x + 11, 189, false));
        }
        auto* c = new TCaption(QString(QLatin1Char(zones[z])), Panel16);
        c->setGeometry(left, 133, 22 + Pitch, 17);
    }
}

void TFTest::buildBelowBoard() {
    // Output wires leave the hub downwards.
    struct Out {
        TestOutput out;
        const char* suffix;
        int x, count;
    };
    const Out outs[] = {{TestOutput::All, "ALL", X_ALL, 2},
                        {TestOutput::Tam, "TAM", X_TAM, 2},
                        {TestOutput::Dis, "DIS", X_DIS, 1},
                        {TestOutput::Fai, "FAI", X_FAI, 1}};
    for (const Out& o : outs) {
        OutputRow& row = rows_[static_cast<int>(o.out)];
        for (int j = 0; j < o.count; ++j) {
            const QString n = QLatin1String(o.suffix) +
                              (o.count > 1 ? QString::number(j + 1) : QString());
            const int cx = BoardX + o.x + j * Pitch + 11;
            row.wires.push_back(wire(this, QStringLiteral("S_") + n, QRect(cx - 2, BelowY, 4, 48)));
            row.arrows.push_back(arrow(this, QStringLiteral("L_") + n, cx, BelowY + 50, false));
        }
    }
    // Stand-by inputs enter the hub.
    for (int k = 0; k < 4; ++k) {
        const int cx = BoardX + X_SA + k * Pitch + 11;
        S_Stb[k] = wire(this, QStringLiteral("S_Stb%1").arg(k + 1), QRect(cx - 2, BelowY, 4, 48));
        L_Stb[k] = arrow(this, QStringLiteral("L_Stb%1").arg(k + 1), cx, BelowY + 50, true);
    }
    auto* expl = label(this, QStringLiteral("PStandBy"),
                       QStringLiteral("INPUTS\r\nSTAND-BY ZONES\r\nON (+12v) = Stand-by\r\nOFF = "
                                      "Operate")
                           .replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                       QRect(BoardX + X_SA - 12, 451, 120, 50), 11, Qt::white);
    fill(expl, Grey);

    // Supply.
    S_NEG = wire(this, QStringLiteral("S_NEG"), QRect(BoardX + X_NEG + 9, BelowY, 4, 93));
    S_POS = wire(this, QStringLiteral("S_POS"), QRect(BoardX + X_POS + 9, BelowY, 4, 93));
    label(this, QStringLiteral("LSupply"), QStringLiteral("12VDC SUPPLY"),
          QRect(BoardX + X_NEG + 6, BelowY + 95, 100, 16), 11, Qt::black, true,
          Qt::AlignLeft | Qt::AlignVCenter);

    // Bus from the barriers into S1..S4, the shield into its terminal.
    const int busY = 400;
    for (int k = 0; k < 4; ++k) {
        const int cx = BoardX + X_S1 + k * Pitch + 11;
        wire(this, QStringLiteral("S_Bus%1").arg(k + 1), QRect(cx - 2, BelowY, 4, busY - BelowY + 4));
    }
    wire(this, QStringLiteral("S_Bus"), QRect(252, busY, BoardX + X_S1 + 3 * Pitch + 13 - 252, 4));
    const int stX = BoardX + X_ST + 11;
    wire(this, QStringLiteral("S_Shield1"), QRect(stX - 1, BelowY, 3, 414 - BelowY), Yellow);
    wire(this, QStringLiteral("S_Shield2"), QRect(259, 411, stX + 2 - 259, 3), Yellow);
    wire(this, QStringLiteral("S_Shield3"), QRect(259, 97, 3, 317), Yellow);
    label(this, QStringLiteral("LShield"), QStringLiteral("SHIELD"), QRect(266, 415, 60, 14), 10,
          Qt::black, true, Qt::AlignLeft | Qt::AlignVCenter);
}

void TFTest::buildBarriers() {
    const char* zones = "ABCD";
    for (int z = 0; z < 4; ++z) {
        const int y0 = 84 + z * 102;
        for (int j = 0; j < 2; ++j) {
            const int n = 2 * z + j;
            const int y = y0 + 8 + j * 52;
            I_Barra[n] = new TBarPicture(this);
            I_Barra[n]->setObjectName(QStringLiteral("I_Barra%1").arg(n + 1));
            I_Barra[n]->move(30, y);
            L_ID[n] = label(this, QStringLiteral("L_ID%1").arg(n + 1), QString::number(n + 1),
                            QRect(6, y - 5, 22, 24), 16, Maroon);
            S_ID[n] = wire(this, QStringLiteral("S_ID%1").arg(n + 1), QRect(220, y + 5, 32, 4));
        }
        L_Zone[z] = label(this, QStringLiteral("L_ID") + QLatin1Char(zones[z]),
                          QStringLiteral("ZONE ") + QLatin1Char(zones[z]),
                          QRect(30, y0 + 32, 190, 22), 14, Qt::black);
    }
    // The vertical bus joining the barriers.
    wire(this, QStringLiteral("S_BusV"), QRect(252, 97, 4, 463 - 97 + 4));
}

void TFTest::buildBottomPanel() {
    PComm = new QWidget(this);
    PComm->setObjectName(QStringLiteral("PComm"));
    PComm->setGeometry(0, 547 - 45, 792, 45);
    fill(PComm, Navy);

    SbConnect = new QPushButton(QStringLiteral("Connect ..."), PComm);
    SbConnect->setObjectName(QStringLiteral("SbConnect"));
    SbConnect->setGeometry(8, 6, 210, 33);
    SbConnect->setFlat(true);
    SbConnect->setAutoFillBackground(true);
    SbConnect->setFont(arial(21, true, true));
    connect(SbConnect, &QPushButton::clicked, this, &TFTest::SbConnectClick);

    LVersHub = label(PComm, QStringLiteral("LVersHub"), QString(), QRect(232, 8, 420, 28), 21, Red,
                     true, Qt::AlignLeft | Qt::AlignVCenter);
    LVersHub->setFont(arial(21, true, true));

    SBEXIT = new QPushButton(QStringLiteral("Exit"), PComm);
    SBEXIT->setObjectName(QStringLiteral("SBEXIT"));
    SBEXIT->setGeometry(700, 7, 84, 31);
    SBEXIT->setFont(arial(14, true));
    connect(SBEXIT, &QPushButton::clicked, this, &TFTest::SBEXITClick);

    for (OutputRow& row : rows_) {
        row.sw->setToolTip(QStringLiteral("Click to change state"));
        row.sw->installEventFilter(this);
        connect(row.sw, &TRxSwitch::clicked, this, [this, &row] {
            outputClick(static_cast<TestOutput>(&row - rows_.data()));
        });
    }
}

// ---- mirroring the link's state ------------------------------------------

void TFTest::showPicture() {
    const TestPicture& p = link_.picture();
    const bool on = p.connectedLook;
    SbConnect->setText(on ? QStringLiteral("Disconnect ...") : QStringLiteral("Connect ..."));
    QPalette pal = SbConnect->palette();
    pal.setColor(QPalette::Button, Silver);
    pal.setColor(QPalette::ButtonText, on ? Navy : QColor(Qt::black));
    SbConnect->setPalette(pal);
    S_POS->setPenColour(on ? Blue : QColor(Qt::black));
    S_NEG->setPenColour(on ? Blue : QColor(Qt::black));
    for (OutputRow& row : rows_) row.sw->setEnabled(on);
    SB_BAR->setEnabled(on);
    SB_STB->setEnabled(on);
    LVersHub->setText(p.version);

    for (int i = 0; i < OutputCount; ++i) {
        const bool a = p.outputActive[i];
        for (TTerminal* t : rows_[i].terminals) t->setColour(a ? Red : Lime);
        for (TWire* w : rows_[i].wires) w->setPenColour(a ? Red : QColor(Qt::black));
        for (TArrow* ar : rows_[i].arrows) ar->setColour(a ? Red : QColor(Qt::black));
    }
    for (int k = 0; k < 4; ++k) {
        const bool a = p.standByActive[k];
        PStb[k]->setColour(a ? Red : Lime);
        S_Stb[k]->setPenColour(a ? Red : QColor(Qt::black));
        L_Stb[k]->setColour(a ? Red : QColor(Qt::black));
        L_Zone[k]->setVisible(p.zoneVisible[k]);
    }
    for (int n = 0; n < 8; ++n) {
        I_Barra[n]->setVisible(p.barrierVisible[n]);
        L_ID[n]->setVisible(p.barrierVisible[n]);
        S_ID[n]->setVisible(p.barrierVisible[n]);
    }
    SB_BAR->setText(p.barTesting ? QStringLiteral("Testing..") : QStringLiteral("TEST BARS"));
    if (p.busyCursor)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
    // The handlers block while they wait for the hub: show the change now.
    if (isVisible()) repaint();
}

// ---- handlers ----------------------------------------------------------------

void TFTest::guarded(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        showError(this, QString::fromLocal8Bit(e.what()));
    }
    showPicture();
}

bool TFTest::eventFilter(QObject* o, QEvent* e) {
    // A switch flips as soon as it is pressed; the command goes when the click
    // completes.
    if (e->type() == QEvent::MouseButtonPress) {
        for (OutputRow& row : rows_) {
            if (row.sw != o || !row.sw->isEnabled()) continue;
            if (static_cast<QMouseEvent*>(e)->button() != Qt::LeftButton) break;
            row.sw->setOn(!row.sw->isOn());
            row.sw->repaint();
            row.pressFlipped = true;
        }
    }
    return QWidget::eventFilter(o, e);
}

void TFTest::outputClick(TestOutput k) {
    OutputRow& row = rows_[static_cast<int>(k)];
    // The click toggled the switch back: the press already gave it its new place.
    if (row.pressFlipped) row.sw->setOn(!row.sw->isOn());
    row.pressFlipped = false;
    guarded([&] {
        const ToggleResult r = link_.toggleOutput(k);
        // The switch shows what the hub reported, not where the click put it.
        if (r != ToggleResult::Failed) rows_[static_cast<int>(k)].sw->setOn(r == ToggleResult::Active);
    });
}

void TFTest::SB_BARClick() {
    guarded([&] { link_.testBars(); });
}

void TFTest::SB_STBClick() {
    guarded([&] { link_.testStandBy(); });
}

void TFTest::SbConnectClick() {
    guarded([&] {
        if (port_.connected()) {
            link_.FermaRic(false);
            return;
        }
        if (!ChiediPorta()) return;
        if (!SettaPorta()) return;
        link_.connectHub();
    });
}

void TFTest::SBEXITClick() { close(); }

void TFTest::FermaRic(bool show) {
    guarded([&] { link_.FermaRic(show); });
}

bool TFTest::ChiediPorta() {
    TPort d(this);
    d.LMessage->hide();
    d.ElPorte->setLister([this] {
        QList<PortInfo> ports;
        for (const QString& name : port_.enumPorts()) ports.append(PortInfo{name, port_.portDescription(name)});
        return ports;
    });
    d.ElPorte->setNoPortText(NoPort);
    d.ElPorte->relist();
    const QStringList ports = d.ElPorte->entries();
    int index = -1;
    for (int i = 0; i < ports.size(); ++i)
        if (ports[i].compare(port_.portName(), Qt::CaseInsensitive) == 0) index = i;
    d.ElPorte->setCurrentIndex(index);
    if (index < 0) d.ElPorte->setEditText(QString());
    DialogSeam::shown() << QStringLiteral("ports: ") + ports.join(QLatin1Char(','))
                        << QStringLiteral("port: ") + d.ElPorte->currentText();
    bool ok;
    // A test answers either with a name typed into the field or with the exec result.
    if (auto a = DialogSeam::take(QStringLiteral("port"))) {
        if (a->typeId() == QMetaType::QString) d.ElPorte->setEditText(a->toString());
        ok = a->typeId() == QMetaType::QString || a->toInt() == QDialog::Accepted;
    } else {
        ok = d.exec() == QDialog::Accepted;
    }
    if (!ok) return false;
    chosen_ = d.ElPorte->currentText();
    return true;
}

bool TFTest::SettaPorta() {
    port_.open(chosen_);
    return port_.connected();
}

void TFTest::Conferma(const QString& message) {
    TPort d(this);
    d.asMessage(message);
    DialogSeam::shown() << QStringLiteral("message: ") + message;
    execDialog(&d, QStringLiteral("message"));
}

void TFTest::closeEvent(QCloseEvent* e) {
    // The hub hears 0x47 before the program goes.
    if (port_.connected()) FermaRic(false);
    e->accept();
}

void TFTest::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (centred_) return;
    centred_ = true;
    if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
}

} // namespace hub
