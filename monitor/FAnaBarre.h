#pragma once
// TAnalisiBarre: hubmonitor's main window. The monitor, the title panel with
// zoom and status captions, and the command panel. The handlers are split by
// area: FAnaBarre.cpp (shell, layout, zoom, language, stop question),
// FAnaBarreFile.cpp (records and recordings), FAnaBarreLink.cpp (the hub link),
// FAnaBarreAnalysis.cpp (export, time line), FAnaBarreInspect.cpp (settings
// and change list). Each area adds its members in its own block below.
#include "monitor/display/Barra.h"
#include "monitor/hubstate.h"
#include "monitor/linkobserver.h"
#include "monitor/mainwindowstate.h"
#include "monitor/player/FPlayer.h"
#include "monitor/staterecord.h"
#include "serial/line.h"

#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

class QComboBox;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolButton;

namespace hub {

class HubPort;

class TAnalisiBarre : public QWidget {
    Q_OBJECT
public:
    // The port acquisitions run on and the clock of the link's deadlines.
    TAnalisiBarre(hub::HubPort& port, hub::SteadyClock& clock, QWidget* parent = nullptr);
    ~TAnalisiBarre() override;

    // Buffers, stream parameters and hub identification shared by the areas.
    hub::HubState hub;

    // ---- shell (FAnaBarre.cpp) --------------------------------------------
    // Before the first show: the interface language and, for a viewer, the
    // recording it shows (empty: a live monitor).
    void startAs(hub::MainWindowState::Language language, const QString& viewerFile = QString());
    const hub::MainWindowState& state() const { return state_; }

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
    // The acquisition dialog filled in beforehand.
    struct RiceviPreset {
        QString port;
        std::optional<bool> record; // unset: the dialog's own choice
        QString name;               // empty: the proposed date-time name
        // --port: OK at once, dialog unseen; the acquisition outlives its device.
        bool unattended = false;
    };
    // "RECEIVE DATA"; without a preset, the dialog as the user fills it in.
    void SBRiceviClick(const std::optional<RiceviPreset>& preset = std::nullopt);
    void FermaRic(bool confirm);
    void TimerComSetTimer();
    void TimerComDatiTimer();
    // Acquisition settings kept while the program runs.
    bool recordingFlag = false;  // "Creating file"
    QString recordingFileName;   // of the running (or last) acquisition
    // SIGTERM / SIGINT: ends a running acquisition without asking.
    void stopWithoutAsking();
    // Told what the live link does (the uplink); not owned, may be null.
    void setLinkObserver(hub::LinkObserver* observer) { linkObserver_ = observer; }
    void TimerReopenTimer();

    // ---- recordings (FAnaBarreFile.cpp) -----------------------------------
    void RiceviDati(const hub::StateRecord& state, bool beamSound, bool ledSound);
    bool RiceviSet_SW(std::uint8_t kind, std::array<std::uint8_t, hub::kSwBlockSize> block);
    bool RiceviSet_TC(std::uint8_t kind, std::array<std::uint8_t, hub::kTcBlockSize> block);
    void ReadFile();
    void BOpenFileClick();

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

    // ---- replay player (FAnaBarrePlayer.cpp) -----------------------------
    // Ctrl+R: the player, a window beside this one, on the recording shown
    // (a viewer's, or one opened with OPEN FILE). Null when none is shown.
    hub::TPlayer* openPlayer();
    bool canOpenPlayer() const;
    hub::TPlayer* player() const { return player_; }
    // --replay: the player opens as soon as the viewer has read its file.
    void openPlayerAfterLoad() { playerAfterLoad_ = true; }
    // The monitor, counter and labels as a fresh window shows the recording
    // cut after its n-th record.
    void showReplayPosition(std::int64_t n);

protected:
    bool eventFilter(QObject* o, QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    // ---- controls, by their names in the system; tests find them by name ---
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
    QTimer* TimerComSet = nullptr;
    QTimer* TimerComDati = nullptr;

    // Unattended running (set by the --port start): a device that vanishes,
    // or is missing at the start, does not end the acquisition; the recording
    // stays open and the same device is reopened every 2 s (TimerReopen).
    bool reopenOnDeviceLoss = false;
    QTimer* TimerReopen = nullptr; // made with the link
    struct LinkArea;
    LinkArea* linkArea_ = nullptr;
    hub::LinkObserver* linkObserver_ = nullptr;
    hub::LinkObserver::Link observedLink_ = hub::LinkObserver::Link::Stopped;
    void observeLink();
    LinkArea& linkArea();
    void syncLink();
    void runLink(const std::function<void()>& step);

    // Copies the state onto the widgets, as syncLink() does for the link.
    void showState();
    // The heartbeat panel back to its light colour, as after a stop.
    void restHeartbeat();
    class GaugeRow; // the window shrunk to its gauge while a recording is read
    // The gauge in place of the panels while a recording is read, and back.
    void showGauge(int maximum);
    void hideGauge();
    void buildControls();
    void layoutPanels();
    void fitPanelFlag();
    bool canResize(int currentWidth, int& newWidth, int& newHeight);
    void applyConstraints();
    // The replay player's hook: the player, the file it plays, and the
    // player opened once a viewer has loaded.
    QPointer<hub::TPlayer> player_;
    QString playerFile_;
    bool playerAfterLoad_ = false;
    // What the window shows of the player's position: playing on from it
    // reads only the records since.
    struct Mirror {
        std::int64_t at = -1; // none
        hub::ReplayOutcome out;
        bool compact = false;
    } mirror_;
    void buildPlayerHook();
    void playerClosed();
    // A display reset leaves the player nothing to show: it closes, and the
    // window stays as the reset made it.
    void dropPlayer();
    void afterLoad();

    hub::MainWindowState state_;
    bool italianShown_ = false;
    hub::HubPort& port_;
    hub::SteadyClock& clock_;
    QSize initialSize_;
    QSize acceptedSize_;   // the size the resize check last agreed to
    bool inUserResize_ = false;
};

} // namespace hub
