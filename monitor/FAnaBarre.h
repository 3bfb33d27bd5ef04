#pragma once
// TAnalisiBarre: hubmonitor's main window. The monitor, the title panel with
// zoom and status captions, and the command panel. The handlers are split by
// area: FAnaBarre.cpp (shell, layout, zoom, language, stop question),
// FAnaBarreFile.cpp (records and recordings), FAnaBarreLink.cpp (the hub link),
// FAnaBarreAnalysis.cpp (export, time line), FAnaBarreInspect.cpp (settings
// and change list). Each area adds its members in its own block below.
#include "monitor/display/Barra.h"
#include "monitor/hubstate.h"
#include "monitor/staterecord.h"

#include <QSize>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace hub {
class HubLink;
class TComPort;
} // namespace hub

class QComboBox;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolButton;

class TAnalisiBarre : public QWidget {
    Q_OBJECT
public:
    explicit TAnalisiBarre(QWidget* parent = nullptr);
    ~TAnalisiBarre() override;

    // ---- controls, by their names in the system --------------------------
    QProgressBar* ProgRead = nullptr;
    QFrame* PanelLogo = nullptr;
    QFrame* PanelFlag = nullptr;
    hub::TMonitor* Monitor1 = nullptr;
    QFrame* PanelTit = nullptr;
    QLabel* LVersHUB = nullptr;
    QComboBox* ComboZoom = nullptr;
    QToolButton* BtnHelp = nullptr;
    QPushButton* BSetup = nullptr;
    QPushButton* SBClear = nullptr;
    QLabel* LbCounter = nullptr;
    QLabel* LCounter = nullptr;
    QLabel* LbBuffer = nullptr;
    QLabel* LBuffer = nullptr;
    QLabel* LbStart = nullptr;
    QLabel* LStart = nullptr;
    QLabel* LNoData = nullptr;
    QLabel* TextNomeArch = nullptr;
    QLabel* NomeArch = nullptr;
    QFrame* PanelCom = nullptr;
    QFrame* PanelRicevi = nullptr;
    QPushButton* SBRicevi = nullptr;
    QLabel* LRicCorso = nullptr;
    QPushButton* BOpenFile = nullptr;
    QFrame* PStat = nullptr;
    QLabel* LMovie = nullptr;
    QPushButton* BMovA = nullptr;
    QPushButton* BMovB = nullptr;
    QPushButton* BMovC = nullptr;
    QPushButton* BMovD = nullptr;
    QPushButton* BExport = nullptr;
    QPushButton* SBEXIT = nullptr;
    QLabel* Language = nullptr; // hidden flag: "INT" or "ITA"
    QLabel* LOK = nullptr;      // hidden flag: last stop answer "NO", "SI" or "KO"
    QTimer* TimerComSet = nullptr;
    QTimer* TimerComDati = nullptr;

    // Buffers, stream parameters and hub identification shared by the areas.
    hub::HubState hub;

    // ---- shell (FAnaBarre.cpp) --------------------------------------------
    bool italian() const;
    // True while the serial port is open for an acquisition; the link sets it.
    bool connected = false;
    bool acquisitionRunning() const { return connected; }
    // True when this process was started to show one recording.
    bool viewerMode() const;

    void FormShow();
    void FormPaint();
    void FormKeyPress(int key);
    bool FormClose(); // false: the window stays open
    void SBEXITClick();
    void DomandaStop();
    void BtnHelpClick();

    // Display reset, zoom and "Reset Leds".
    void AzzeraVideo(bool hide);
    void SBClearClick();
    void VisChange(int n);
    void ComboZoomChange();
    // The resize check run before every size change: may alter the new size;
    // false refuses it. Also re-sizes the monitor for the new width.
    bool FormCanResize(int& newWidth, int& newHeight);
    // Window height that shows the monitor and the title panel only.
    int titlePanelHeight() const;
    // Every size change of the program goes through here, so the resize
    // check runs first (the LED size follows the width).
    void setWindowSize(int w, int h);
    // Window size when first shown: "Zoom 5" and "Expand" go back to it.
    QSize initialSize() const { return initialSize_; }

    // ---- link (FAnaBarreLink.cpp) -----------------------------------------
    void SBRiceviClick();
    void FermaRic(bool confirm);
    void TimerComSetTimer();
    void TimerComDatiTimer();
    // The serial component (_comm) and the hub link, made on first use.
    hub::TComPort& comm();
    hub::HubLink& hubLink();
    // Acquisition settings kept while the program runs.
    bool recordingFlag = false;  // "Creating file"
    QString recordingFileName;   // of the running (or last) acquisition
    // Unattended start (--port): the next SBRiceviClick fills the dialog from
    // here and presses OK itself, without showing it.
    struct RiceviPreset {
        QString port;
        std::optional<bool> record; // unset: the dialog's own choice
        QString name;               // empty: the proposed date-time name
    };
    std::optional<RiceviPreset> riceviPreset;
    // SIGTERM / SIGINT: ends a running acquisition without asking.
    void stopWithoutAsking();
    // Unattended running (set by the --port start): a device that vanishes,
    // or is missing at the start, does not end the acquisition; the recording
    // stays open and the same device is reopened every 2 s (TimerReopen).
    bool reopenOnDeviceLoss = false;
    QTimer* TimerReopen = nullptr; // made with the link
    void TimerReopenTimer();
    struct LinkArea;
    LinkArea* linkArea_ = nullptr;
    LinkArea& linkArea();
    void syncLink();
    void runLink(const std::function<void()>& step);

    // ---- recordings (FAnaBarreFile.cpp) -----------------------------------
    void RiceviDati(const hub::StateRecord& state, bool beamSound, bool ledSound);
    bool RiceviSet_SW(std::uint8_t kind, std::array<std::uint8_t, hub::kSwBlockSize> block);
    bool RiceviSet_TC(std::uint8_t kind, std::array<std::uint8_t, hub::kTcBlockSize> block);
    void ReadFile();
    void BOpenFileClick();
    // Starts the viewer instance when a file is opened during an acquisition;
    // empty means QProcess::startDetached (a test puts its own here).
    std::function<bool(const QString& program, const QStringList& args)> startInstance;
    // System beeps given by RiceviDati (a test reads it; the beep is not observable).
    int beeps = 0;

    // ---- analysis (FAnaBarreAnalysis.cpp) ---------------------------------
    void BExportClick();
    void VisMov(int couple);
    void BMovAClick();
    void BMovBClick();
    void BMovCClick();
    void BMovDClick();

    // ---- inspect (FAnaBarreInspect.cpp) -----------------------------------
    void BSetupClick();
    void Monitor1Click();

    // ---- shell internals and test hooks ----------------------------------
    // The stop question gives up after this long (a test shortens it).
    int stopTimeoutMs = 5000;
    // How many times the first paint started loading the viewer's file.
    int viewerLoads = 0;

protected:
    bool eventFilter(QObject* o, QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void buildControls();
    void layoutPanels();
    void fitPanelFlag();
    void setZoomItems(const std::array<QString, 6>& items, int index);
    bool canResize(int currentWidth, int& newWidth, int& newHeight);
    void applyConstraints();
    QSize initialSize_;
    QSize acceptedSize_;   // the size the resize check last agreed to
    bool inUserResize_ = false;
};
