// The main window's shell: its controls, panel layout, language, show, paint,
// keys, close and the stop question.
#include "monitor/FAnaBarre.h"

#include "common/ClassicLook.h"
#include "common/DialogSeam.h"
#include "monitor/CachedLabel.h"
#include "monitor/FStop.h"
#include "monitor/NumberLabel.h"
#include "monitor/display/FHelp.h"
#include "monitor/display/zoom.h"
#include "monitor/version.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QShowEvent>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <utility>

namespace {

constexpr int kDesignWidth = 570;
constexpr int kDesignHeight = 600;

QFrame* panel(QWidget* parent, const char* name, int l, int t, int w, int h,
              const char* colour = "#C0C0C0") {
    auto* p = new QFrame(parent);
    p->setObjectName(QLatin1String(name));
    p->setGeometry(l, t, w, h);
    p->setFrameShape(QFrame::Panel);
    p->setFrameShadow(QFrame::Raised);
    p->setLineWidth(1);
    p->setAutoFillBackground(true);
    QPalette pal = p->palette();
    pal.setColor(QPalette::Window, QColor(QLatin1String(colour)));
    p->setPalette(pal);
    return p;
}

template <class Label = QLabel>
QLabel* label(QWidget* parent, const char* name, const QString& text, int l, int t) {
    auto* lb = new Label(text, parent);
    lb->setObjectName(QLatin1String(name));
    lb->move(l, t);
    lb->adjustSize();
    return lb;
}

QPushButton* button(QWidget* parent, const char* name, const QString& text, int l, int t, int w,
                    int h) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(l, t, w, h);
    b->setFocusPolicy(Qt::StrongFocus);
    return b;
}

void setTextColour(QWidget* w, const QColor& c) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, c);
    pal.setColor(QPalette::ButtonText, c);
    w->setPalette(pal);
}

// The help button's picture: a question mark in a blue disc.
QPixmap helpPicture() {
    QPixmap pm(28, 28);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(QColor(0x00, 0x00, 0x80));
    p.drawEllipse(2, 2, 24, 24);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(18);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(2, 2, 24, 24), Qt::AlignCenter, QStringLiteral("?"));
    return pm;
}

} // namespace

namespace hub {

TAnalisiBarre::TAnalisiBarre(hub::HubPort& port, hub::SteadyClock& clock, QWidget* parent)
    : QWidget(parent), port_(port), clock_(clock) {
    setObjectName(QStringLiteral("AnalisiBarre"));
    setWindowTitle(QLatin1String(hub::kMainCaption));
    hub::look::greyWindow(this);
    resize(kDesignWidth, kDesignHeight);
    setMaximumSize(kDesignWidth, kDesignHeight);
    setFocusPolicy(Qt::StrongFocus);
    acceptedSize_ = size();
    buildControls();
    showState();
    // The window sees keys before its controls (ESC stops from anywhere in it).
    qApp->installEventFilter(this);
}

TAnalisiBarre::~TAnalisiBarre() = default;

void TAnalisiBarre::buildControls() {
    ProgRead = new QProgressBar(this);
    ProgRead->setObjectName(QStringLiteral("ProgRead"));
    ProgRead->setGeometry(0, 0, width(), 33);
    ProgRead->setTextVisible(false);
    ProgRead->hide();

    // The maker's logo: two words on a dark plate.
    PanelLogo = panel(this, "PanelLogo", 389, 3, 167, 73, "#000080");
    {
        QLabel* l1 = label(PanelLogo, "LLogo1", QStringLiteral("TALVIRE"), 0, 6);
        QFont lf(QStringLiteral("Arial"));
        lf.setPixelSize(26);
        lf.setBold(true);
        lf.setItalic(true);
        l1->setFont(lf);
        l1->setAlignment(Qt::AlignCenter);
        l1->setGeometry(2, 6, 163, 32);
        setTextColour(l1, QColor(0xFF, 0xFF, 0xFF));
        QLabel* l2 = label(PanelLogo, "LLogo2", QStringLiteral("ZEMBRA"), 0, 40);
        lf.setPixelSize(18);
        lf.setItalic(false);
        l2->setFont(lf);
        l2->setAlignment(Qt::AlignCenter);
        l2->setGeometry(2, 38, 163, 26);
        setTextColour(l2, QColor(0xFF, 0xFF, 0x00));
    }

    PanelFlag = panel(this, "PanelFlag", 2, 1, 383, 482);
    Monitor1 = new hub::TMonitor(PanelFlag);
    Monitor1->setObjectName(QStringLiteral("Monitor1"));
    Monitor1->move(1, 1);
    fitPanelFlag();

    PanelTit = panel(this, "PanelTit", 3, 483, 383, 76);
    ComboZoom = new QComboBox(PanelTit);
    ComboZoom->setObjectName(QStringLiteral("ComboZoom"));
    ComboZoom->addItems({QStringLiteral("Compact"), QStringLiteral("Zoom 1"),
                         QStringLiteral("Zoom 2"), QStringLiteral("Zoom 3"),
                         QStringLiteral("Zoom 4"), QStringLiteral("Zoom 5")});
    ComboZoom->setMaxVisibleItems(6);
    // 69 wide in the design; wider where this style's arrow and margins would
    // cut "Compact" short (the counters start at 80).
    ComboZoom->setGeometry(2, 0, std::clamp(ComboZoom->sizeHint().width(), 69, 77), 21);
    SBClear = button(PanelTit, "SBClear", QStringLiteral("Reset Leds"), 1, 22, 68, 20);
    SBClear->setFocusPolicy(Qt::NoFocus);
    LVersHUB = label(PanelTit, "LVersHUB", QStringLiteral("HUB"), 1, 43);
    {
        QFont vf(QStringLiteral("Arial"));
        vf.setPixelSize(16);
        vf.setBold(true);
        vf.setItalic(true);
        LVersHUB->setFont(vf);
        LVersHUB->adjustSize();
        setTextColour(LVersHUB, QColor(0x80, 0x00, 0x00));
    }
    // The counters end above the hub's name at 43, which a TC hub's name and
    // " (TEST)" make run far to the right.
    LbStart = label(PanelTit, "LbStart", QStringLiteral("Start"), 80, 2);
    LStart = label(PanelTit, "LStart", QStringLiteral("//"), 128, 2);
    LbCounter = label(PanelTit, "LbCounter", QStringLiteral("Counter"), 80, 15);
    LCounter = label<hub::NumberLabel>(PanelTit, "LCounter", QStringLiteral("0"), 128, 15);
    LbBuffer = label(PanelTit, "LbBuffer", QStringLiteral("Buffer"), 80, 28);
    LBuffer = label<hub::NumberLabel>(PanelTit, "LBuffer", QStringLiteral("0"), 128, 28);
    for (QLabel* l : {LStart, LCounter, LBuffer}) {
        l->setMinimumWidth(140);
        setTextColour(l, QColor(0x00, 0x00, 0x80));
        // The counters change with every record: filling their own plain
        // background spares the panel behind them a repaint each time.
        l->setAutoFillBackground(true);
    }
    LNoData = label(PanelTit, "LNoData", QStringLiteral("NO    DATA"), 256, 44);
    {
        QFont nf = LNoData->font();
        nf.setBold(true);
        LNoData->setFont(nf);
        LNoData->adjustSize();
        setTextColour(LNoData, QColor(0xFF, 0x00, 0x00));
        // At the panel's right end, under the help button: the hub's name
        // keeps the room to its left.
        LNoData->move(PanelTit->width() - 3 - LNoData->width(), 44);
    }
    LNoData->hide();
    BSetup = button(PanelTit, "BSetup", QStringLiteral("Setup"), 280, 0, 60, 22);
    TextNomeArch = label(PanelTit, "TextNomeArch", QStringLiteral("File : "), 5, 61);
    NomeArch = label(PanelTit, "NomeArch", QStringLiteral("---------"), 30, 61);
    NomeArch->setMinimumWidth(340);
    BtnHelp = new QToolButton(PanelTit);
    BtnHelp->setObjectName(QStringLiteral("BtnHelp"));
    BtnHelp->setGeometry(343, 0, 37, 41);
    BtnHelp->setIcon(helpPicture());
    BtnHelp->setIconSize(QSize(28, 28));
    BtnHelp->setAutoRaise(true);
    BtnHelp->setFocusPolicy(Qt::NoFocus);

    // The commands sit high enough in their panel that the compact window,
    // whose command panel is as short as the folded monitor, shows them all
    // above "Exit".
    PanelCom = panel(this, "PanelCom", 388, 79, 168, 452);
    PanelRicevi = panel(PanelCom, "PanelRicevi", 8, 6, 152, 52);
    SBRicevi = button(PanelRicevi, "SBRicevi", QStringLiteral("RECEIVE DATA"), 4, 4, 144, 44);
    {
        QFont bf = SBRicevi->font();
        bf.setBold(true);
        bf.setPixelSize(13);
        SBRicevi->setFont(bf);
    }
    // Captions written with CR or CR LF break the line there, as the designers saw them.
    // Kept as a picture for each heartbeat colour of its panel.
    LRicCorso = new hub::CachedLabel(QStringLiteral("Receiving...\nPress 'ESC' to stop"), PanelRicevi);
    LRicCorso->setObjectName(QStringLiteral("LRicCorso"));
    LRicCorso->setGeometry(4, 4, 144, 44);
    LRicCorso->setAlignment(Qt::AlignCenter);
    LRicCorso->setWordWrap(true);
    setTextColour(LRicCorso, QColor(0x80, 0x00, 0x00));
    LRicCorso->hide();
    BOpenFile = button(PanelCom, "BOpenFile", QStringLiteral("OPEN FILE"), 12, 64, 144, 32);
    {
        QFont bf = BOpenFile->font();
        bf.setBold(true);
        bf.setPixelSize(13);
        BOpenFile->setFont(bf);
    }
    PStat = panel(PanelCom, "PStat", 8, 102, 152, 86);
    LMovie = label(PStat, "LMovie", QStringLiteral("Time Line"), 6, 4);
    LMovie->setGeometry(4, 4, 144, 16);
    LMovie->setAlignment(Qt::AlignHCenter);
    BMovA = button(PStat, "BMovA", QStringLiteral("A"), 8, 21, 31, 26);
    BMovB = button(PStat, "BMovB", QStringLiteral("B"), 43, 21, 31, 26);
    BMovC = button(PStat, "BMovC", QStringLiteral("C"), 78, 21, 31, 26);
    BMovD = button(PStat, "BMovD", QStringLiteral("D"), 113, 21, 31, 26);
    BExport = button(PStat, "BExport", QStringLiteral("Export DATA to TXT"), 8, 51, 136, 30);
    SBEXIT = button(PanelCom, "SBEXIT", QStringLiteral("Exit"), 12, 452 - 45, 144, 37);

    TimerComSet = new QTimer(this);
    TimerComSet->setObjectName(QStringLiteral("TimerComSet"));
    TimerComDati = new QTimer(this);
    TimerComDati->setObjectName(QStringLiteral("TimerComDati"));

    // Each control is bound to its handler here, by name, as a reader looks for it.
    connect(SBRicevi, &QPushButton::clicked, this, [this] { SBRiceviClick(); });
    connect(BOpenFile, &QPushButton::clicked, this, &TAnalisiBarre::BOpenFileClick);
    connect(BExport, &QPushButton::clicked, this, &TAnalisiBarre::BExportClick);
    connect(BMovA, &QPushButton::clicked, this, &TAnalisiBarre::BMovAClick);
    connect(BMovB, &QPushButton::clicked, this, &TAnalisiBarre::BMovBClick);
    connect(BMovC, &QPushButton::clicked, this, &TAnalisiBarre::BMovCClick);
    connect(BMovD, &QPushButton::clicked, this, &TAnalisiBarre::BMovDClick);
    connect(BSetup, &QPushButton::clicked, this, &TAnalisiBarre::BSetupClick);
    connect(Monitor1, &hub::TMonitor::clicked, this, &TAnalisiBarre::Monitor1Click);
    connect(BtnHelp, &QToolButton::clicked, this, &TAnalisiBarre::BtnHelpClick);
    connect(SBClear, &QPushButton::clicked, this, &TAnalisiBarre::SBClearClick);
    // Only a choice by the user runs the zoom; the program rewrites and
    // reselects the items itself without re-entering it.
    connect(ComboZoom, &QComboBox::activated, this, &TAnalisiBarre::ComboZoomChange);
    connect(SBEXIT, &QPushButton::clicked, this, &TAnalisiBarre::SBEXITClick);
    connect(TimerComSet, &QTimer::timeout, this, &TAnalisiBarre::TimerComSetTimer);
    connect(TimerComDati, &QTimer::timeout, this, &TAnalisiBarre::TimerComDatiTimer);
    buildPlayerHook();
}

void TAnalisiBarre::startAs(hub::MainWindowState::Language language, const QString& viewerFile) {
    state_.language = language;
    state_.mode = viewerFile.isEmpty() ? hub::MainWindowState::Mode::Idle : hub::MainWindowState::Mode::Viewer;
    state_.recording = viewerFile;
    showState();
}

void TAnalisiBarre::showState() {
    const bool ita = state_.italian();
    if (std::exchange(italianShown_, ita) != ita) Monitor1->setItalian(ita);
    SBRicevi->setText(ita ? QStringLiteral("RICEZIONE DATI") : QStringLiteral("RECEIVE DATA"));
    LRicCorso->setText(ita ? QStringLiteral("Ricezione in corso\npremere \"ESC\" per STOP")
                           : QStringLiteral("Receiving...\nPress 'ESC' to stop"));

    // A viewer never acquires nor opens a second file; it is silver.
    PanelRicevi->setVisible(!state_.viewer());
    BOpenFile->setVisible(!state_.viewer());
    PStat->setVisible(!state_.viewer());
    if (state_.viewer()) hub::look::setColour(this, QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    SBRicevi->setVisible(state_.mode == hub::MainWindowState::Mode::Idle);
    LRicCorso->setVisible(state_.acquiring());
    SBClear->setVisible(state_.acquiring() && state_.recording.isEmpty()); // none while recording

    NomeArch->setText(state_.recording);
    TextNomeArch->setVisible(!state_.recording.isEmpty() && !state_.viewerLoadPending);
    if (LVersHUB->text() != hub.versHub) {
        LVersHUB->setText(hub.versHub);
        LVersHUB->adjustSize();
    }
    for (int i = 0; i < 6; ++i)
        if (ComboZoom->itemText(i) != state_.zoom.items[i]) ComboZoom->setItemText(i, state_.zoom.items[i]);
    if (ComboZoom->currentIndex() != state_.zoom.index) ComboZoom->setCurrentIndex(state_.zoom.index);
}

void TAnalisiBarre::layoutPanels() {
    PanelTit->move(PanelTit->x(), PanelFlag->y() + PanelFlag->height() + 2);
    PanelCom->move(PanelTit->x() + PanelTit->width() + 2, PanelCom->y());
    PanelCom->resize(PanelCom->width(), PanelFlag->height());
    SBEXIT->move(SBEXIT->x(), PanelCom->height() - 45);
}

void TAnalisiBarre::fitPanelFlag() {
    // The monitor's panel sizes itself to the monitor.
    PanelFlag->resize(Monitor1->x() + Monitor1->width() + 1,
                      Monitor1->y() + Monitor1->height() + 1);
}

int TAnalisiBarre::titlePanelHeight() const {
    // The design added 52 px for the caption bar and frame; a Qt window's size
    // is its client area, which ends with the title panel.
    return PanelTit->y() + PanelTit->height();
}

void TAnalisiBarre::FormShow() {
    Monitor1->SetDimeLed(29);
    fitPanelFlag();
    initialSize_ = size();
    acceptedSize_ = size();
    layoutPanels();
    state_.zoom.index = 5;
    if (state_.viewer()) {
        state_.viewerLoadPending = true;
        setWindowTitle(QStringLiteral("LOADING ........."));
    }
    showState();
    // Focus marks are drawn only once the keyboard has moved the focus; the
    // start-up focus on "Exit" is meant to be seen (Enter closes the window).
    setAttribute(Qt::WA_KeyboardFocusChange);
    SBEXIT->setFocus();
}

void TAnalisiBarre::FormPaint() {
    // Once a show: whatever caption the file brings, repaints never load it again.
    if (!state_.viewerLoadPending) return;
    state_.viewerLoadPending = false;
    setWindowTitle(state_.italian() ? QStringLiteral("ZEMBRA ---- INTERROGAZIONE")
                                    : QStringLiteral("ZEMBRA ---- INQUIRY"));
    // Loading hides panels and resizes the window: not something to do inside
    // a paint, so it runs right after it.
    QTimer::singleShot(0, this, &TAnalisiBarre::ReadFile);
}

void TAnalisiBarre::FormKeyPress(int key) {
    if (key == 27 && state_.acquiring()) FermaRic(true);
}

bool TAnalisiBarre::FormClose() {
    if (!state_.acquiring()) return true;
    FermaRic(true);
    return !(state_.acquiring() && state_.stop == hub::MainWindowState::StopAnswer::No);
}

void TAnalisiBarre::SBEXITClick() { close(); }

void TAnalisiBarre::DomandaStop() {
    TStop dlg(this);
    if (state_.italian()) dlg.BSI->setText(QStringLiteral("SI"));
    using Answer = hub::MainWindowState::StopAnswer;
    const int result = hub::execDialog(&dlg, QStringLiteral("stop"));
    state_.stop = result == TStop::ResultSI ? Answer::Yes : result == TStop::ResultNO ? Answer::No : Answer::Closed;
}

void TAnalisiBarre::BtnHelpClick() {
    hub::BtnHelpShow(this, state_.italian(), state_.zoom.isCompact());
}

// ---- display reset, zoom and "Reset Leds" --------------------------------

void TAnalisiBarre::AzzeraVideo(bool hide) {
    dropPlayer();
    Monitor1->hide();
    hub::resetDisplay(Monitor1->model(), hub, hide, state_.zoom.isCompact());
    state_.recording.clear();
    state_.settings = hub::MainWindowState::SettingsKind::None;
    showState();
    Monitor1->refresh();
    Monitor1->show();
}

void TAnalisiBarre::SBClearClick() {
    hub::resetLeds(Monitor1->model());
    Monitor1->refresh();
}

void TAnalisiBarre::VisChange(int n) {
    if (n == 5) {
        setWindowSize(width(), initialSize_.height());
        setWindowSize(initialSize_.width(), height());
    } else if (n >= 1 && n <= 4) {
        setWindowSize(192 + 40 * n, height());
        setWindowSize(width(), titlePanelHeight());
    }
}

void TAnalisiBarre::ComboZoomChange() {
    // The user's choice; every other change of the selector is the program's.
    state_.zoom.index = ComboZoom->currentIndex();
    const QString t = state_.zoom.text();
    if (t.startsWith(QLatin1String("Zoom "))) {
        // "Compact" is offered from the full view only.
        const int n = t.mid(5).toInt();
        state_.zoom = n == 5 ? hub::ZoomSelector::full() : hub::ZoomSelector::zoomed(n);
        VisChange(n);
    } else if (t == hub::ZoomSelector::kFiller) {
        state_.zoom.index = 0;
    } else {
        // "Compact", or else "Expand".
        const bool compact = state_.zoom.isCompact();
        hub::applyZoomLayout(Monitor1->model(), compact);
        Monitor1->refresh();
        fitPanelFlag();
        layoutPanels();
        state_.zoom = compact ? hub::ZoomSelector::compact() : hub::ZoomSelector::full();
        if (compact) {
            setWindowSize(width(), titlePanelHeight());
        } else {
            setWindowSize(width(), initialSize_.height());
            setWindowSize(initialSize_.width(), height());
        }
    }
    showState();
}

bool TAnalisiBarre::FormCanResize(int& newWidth, int& newHeight) {
    return canResize(width(), newWidth, newHeight);
}

bool TAnalisiBarre::canResize(int currentWidth, int& newWidth, int& newHeight) {
    if (state_.zoom.isCompact()) {
        // A compact window is a strip of fixed size.
        newWidth = currentWidth;
        newHeight = titlePanelHeight();
        return true;
    }
    if (newWidth == currentWidth) return true;
    if (state_.zoom.text() == QLatin1String("Expand")) {
        newWidth = Monitor1->width() + 25;
        newHeight = titlePanelHeight();
        return true;
    }
    const int size = hub::ledSizeForWidth(newWidth, Monitor1->DimeLed());
    if (size != Monitor1->DimeLed()) {
        Monitor1->hide();
        Monitor1->SetDimeLed(size);
        fitPanelFlag();
        Monitor1->show();
    }
    PanelTit->move(PanelTit->x(), PanelFlag->y() + PanelFlag->height() + 2);
    PanelCom->move(PanelTit->x() + PanelTit->width() + 2, PanelCom->y());
    return true;
}

void TAnalisiBarre::applyConstraints() {
    if (state_.zoom.isCompact()) {
        setFixedSize(size());
    } else {
        setMinimumSize(0, 0);
        setMaximumSize(kDesignWidth, kDesignHeight);
    }
}

void TAnalisiBarre::setWindowSize(int w, int h) {
    if (!canResize(width(), w, h)) return;
    acceptedSize_ = QSize(w, h);
    setMinimumSize(0, 0);
    setMaximumSize(kDesignWidth, kDesignHeight);
    resize(w, h);
    applyConstraints();
}

void TAnalisiBarre::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    ProgRead->resize(width(), ProgRead->height());
    if (inUserResize_ || e->size() == acceptedSize_ || !acceptedSize_.isValid()) return;
    // A size the user dragged or the window manager chose: same check, after the fact.
    int w = e->size().width();
    int h = e->size().height();
    canResize(acceptedSize_.width(), w, h);
    acceptedSize_ = QSize(w, h);
    if (QSize(w, h) != size()) {
        inUserResize_ = true;
        resize(w, h);
        inUserResize_ = false;
    }
}

void TAnalisiBarre::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!e->spontaneous()) FormShow();
}

void TAnalisiBarre::paintEvent(QPaintEvent* e) {
    QWidget::paintEvent(e);
    FormPaint();
}

bool TAnalisiBarre::eventFilter(QObject* o, QEvent* e) {
    if (e->type() == QEvent::KeyPress && o->isWidgetType() &&
        static_cast<QWidget*>(o)->window() == this &&
        static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
        FormKeyPress(27);
        return true;
    }
    return QWidget::eventFilter(o, e);
}

void TAnalisiBarre::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        FormKeyPress(27);
        e->accept();
        return;
    }
    QWidget::keyPressEvent(e);
}

void TAnalisiBarre::closeEvent(QCloseEvent* e) {
    if (FormClose())
        e->accept();
    else
        e->ignore();
}

} // namespace hub
