// The hub link on the main window: starting an acquisition (the TRicevi
// dialog, the port, the recording), the connect and data timers, and the stop.
// The protocol itself lives in hublink; these handlers move its state onto
// the timers and labels.
#include "common/DialogSeam.h"
#include "common/tdatetime.h"
#include "monitor/FAnaBarre.h"
#include "monitor/FRicevi.h"
#include "monitor/NumberLabel.h"
#include "monitor/datafile.h"
#include "monitor/display/Barra.h"
#include "monitor/hublink.h"
#include "common/hubport.h"
#include "monitor/unattended.h"
#include "monitor/version.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVariantMap>
#include <algorithm>
#include <cstdio>

namespace {
const char kNoPorts[] = "NESSUNA PORTA SERIALE DISPONIBILE";

void setPanelColour(QWidget* w, std::uint32_t rgb) {
    QPalette pal = w->palette();
    if ((pal.color(QPalette::Window).rgb() & 0xFFFFFF) == rgb) return;
    pal.setColor(QPalette::Window, QColor::fromRgb(rgb));
    w->setPalette(pal);
}

// An open error that cannot mend by itself (see deviceErrorCanHeal) is tried
// at a slower pace rather than given up: a guard post keeps watching for the
// day someone mends the path.
int reopenPace(const QString& error, const QString& port) {
    return hub::deviceErrorCanHeal(hub::deviceErrorCode(error), port) ? hub::HubLink::kReopenMs
                                                                      : hub::kSlowReopenMs;
}

// Unattended, a device error goes to stderr (with the system's text for its
// code) and the device is tried again.
void sayReopening(const QString& error, const QString& port) {
    const int ms = reopenPace(error, port);
    std::fprintf(stderr, "hubmonitor: %s; %s %s every %d s\n", qPrintable(hub::withSystemText(error)),
                 ms == hub::HubLink::kReopenMs ? "reopening" : "it cannot become a serial line by itself: trying",
                 qPrintable(port), ms / 1000);
}

// The counters change with every record: measuring the label each time costs
// more than the record itself, so it is only resized when the text outgrows it.
void setCaption(QLabel* l, const QString& text) {
    if (l->text() == text) return;
    l->setText(text);
    auto* number = qobject_cast<hub::NumberLabel*>(l);
    if ((number ? number->textWidth(text) : l->fontMetrics().horizontalAdvance(text)) + 2 > l->width()) {
        l->adjustSize();
        l->resize(l->width() + l->fontMetrics().horizontalAdvance(QStringLiteral("000")), l->height());
    }
}
} // namespace

namespace hub {

// Owned by the window (a QObject child), so the header needs no link types.
struct TAnalisiBarre::LinkArea : public QObject, public hub::HubLinkHost {
    LinkArea(TAnalisiBarre* window, hub::HubPort& port, hub::SteadyClock& clock)
        : QObject(window), w(window), port(port), link(port.line(), clock, window->hub, *this) {}

    bool riceviSetSW(std::uint8_t kind, const std::array<std::uint8_t, hub::kSwBlockSize>& b) override {
        const bool ok = w->RiceviSet_SW(kind, b);
        observeSettings(kind, b.data(), int(b.size()));
        return ok;
    }
    bool riceviSetTC(std::uint8_t kind, const std::array<std::uint8_t, hub::kTcBlockSize>& b) override {
        const bool ok = w->RiceviSet_TC(kind, b);
        observeSettings(kind, b.data(), int(b.size()));
        return ok;
    }
    void riceviDati(const hub::StateRecord& state) override {
        const hub::MonitorModel& m = w->Monitor1->model();
        w->RiceviDati(state, m.soundBeams.enabled(), m.soundLeds.enabled());
        if (w->linkObserver_) w->linkObserver_->stateReceived(state);
    }
    void observeSettings(std::uint8_t kind, const std::uint8_t* b, int n) {
        if (w->linkObserver_)
            w->linkObserver_->settingsReceived(kind, QByteArray(reinterpret_cast<const char*>(b), n), w->hub.versHub);
    }
    void repaint() override {
        // Paint what changed, at most 25 times a second (the eye sees no more
        // and painting is most of the link's cost); input waits for the next
        // timer tick. The counters are shown as they are when painted: set
        // after every record, each change would cost a label repaint, even
        // one that the next record takes back (the backlog comes and goes).
        if (sincePaint.isValid() && sincePaint.elapsed() < 40) {
            mirrorTimers();
            return;
        }
        sincePaint.start();
        w->syncLink();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    }
    void mirrorTimers() {
        auto mirror = [](QTimer* t, const hub::LinkTimer& s) {
            if (t->interval() != s.intervalMs) t->setInterval(s.intervalMs); // which restarts a running timer
            if (!s.enabled) t->stop();
            else if (!t->isActive()) t->start();
        };
        mirror(w->TimerComSet, link.timerSet());
        mirror(w->TimerComDati, link.timerDati());
        mirror(w->TimerReopen, link.timerReopen());
    }
    QElapsedTimer sincePaint;
    QElapsedTimer countersShown;
    // The acquisition goes on; the recording pauses and each later record
    // tries again (the file keeps whole records only).
    void recordingFailed(const QString& error) override {
        if (w->reopenOnDeviceLoss) { // unattended: a message box would wait for nobody
            std::fprintf(stderr, "hubmonitor: Recording paused: %s; trying again at every record\n",
                         qPrintable(error));
        } else if (!recordingErrorShown) { // a box once an acquisition, however often it flaps
            recordingErrorShown = true;
            hub::showError(w, QStringLiteral("Recording: ") + error);
        }
    }
    void recordingResumed(const QString& path) override {
        if (w->reopenOnDeviceLoss) std::fprintf(stderr, "hubmonitor: Recording to %s again\n", qPrintable(path));
    }
    bool recordingErrorShown = false;

    TAnalisiBarre* w;
    hub::HubPort& port;
    hub::DataFileWriter writer;
    hub::HubLink link;
    bool deviceErrorShown = false; // a device error is shown once per acquisition
};

TAnalisiBarre::LinkArea& TAnalisiBarre::linkArea() {
    if (!linkArea_) {
        linkArea_ = new LinkArea(this, port_, clock_);
        TimerReopen = new QTimer(this);
        TimerReopen->setObjectName(QStringLiteral("TimerReopen"));
        connect(TimerReopen, &QTimer::timeout, this, &TAnalisiBarre::TimerReopenTimer);
    }
    return *linkArea_;
}

void TAnalisiBarre::observeLink() {
    if (!linkObserver_) return;
    using L = hub::LinkObserver::Link;
    const hub::HubLink& l = linkArea().link;
    const L now = !state_.acquiring()          ? L::Stopped
                  : l.timerReopen().enabled    ? L::DeviceGone
                  : l.noData()                 ? L::NoData
                                               : L::Receiving;
    if (now == observedLink_) return;
    observedLink_ = now;
    linkObserver_->linkChanged(now, hub.lastPort, hub.versHub);
}

void TAnalisiBarre::syncLink() {
    hub::HubLink& l = linkArea().link;
    observeLink();
    linkArea().mirrorTimers();
    Monitor1->refresh();
    LNoData->setVisible(l.noData());
    // The counters change with every record: shown five times a second they
    // read the same, and most of their label repaints are spared.
    QElapsedTimer& shown = linkArea().countersShown;
    if (!shown.isValid() || shown.elapsed() >= 200 || l.counter() == 0) {
        shown.start();
        setCaption(LBuffer, QString::number(l.buffer()));
        setCaption(LCounter, QString::number(l.counter()));
    }
    setPanelColour(PanelRicevi, l.heartbeat());
}

void TAnalisiBarre::runLink(const std::function<void()>& step) {
    LinkArea& a = linkArea();
    QString error;
    try {
        step();
    } catch (const std::exception& e) {
        error = QString::fromLocal8Bit(e.what());
    }
    if (!error.isEmpty() && reopenOnDeviceLoss && state_.acquiring()) {
        // Nobody is there to answer a message: say it on stderr and keep the
        // acquisition going until the device is back.
        sayReopening(error, a.port.portName());
        a.link.deviceLost([&] { a.port.close(); });
        syncLink();
        return;
    }
    syncLink();
    // A failing device ends the operation in progress; the error is shown once
    // and the acquisition waits for the user to stop it.
    if (!error.isEmpty() && !a.deviceErrorShown) {
        a.deviceErrorShown = true;
        hub::showError(this, error);
    }
}

void TAnalisiBarre::SBRiceviClick(const std::optional<RiceviPreset>& preset) {
    LinkArea& a = linkArea();
    const QDateTime now = QDateTime::currentDateTime();
    LStart->setText(hub::shortDateText(now.date()) + QLatin1Char(' ') + hub::longTimeText(now.time()));
    LStart->adjustSize();

    TRicevi d(this);
    if (state_.italian()) {
        d.setItalian();
        d.Memor->setChecked(recordingFlag);
        d.MemorClick();
    }
    d.ElPorte->setNoPortText(QLatin1String(kNoPorts));
    d.ElPorte->relist();
    const QStringList ports = d.ElPorte->entries();
    const auto at = std::find_if(ports.begin(), ports.end(),
                                 [&](const QString& p) { return p.compare(hub.lastPort, Qt::CaseInsensitive) == 0; });
    d.ElPorte->setCurrentText(at != ports.end() ? *at : QString());
    d.NomeArchivio->setText(hub::proposedRecordingName(now.date().year(), now.date().month(),
                                                       now.date().day(), now.time().hour(),
                                                       now.time().minute(), now.time().second()));

    if (preset) {
        d.ElPorte->setCurrentText(preset->port);
        if (preset->record) {
            d.Memor->setChecked(*preset->record);
            d.MemorClick();
        }
        if (!preset->name.isEmpty()) d.NomeArchivio->setText(preset->name);
        reopenOnDeviceLoss = preset->unattended;
    }
    const bool ok = (preset && preset->unattended) ||
                    hub::execDialog(&d, QStringLiteral("ricevi")) == QDialog::Accepted;
    // Whatever closed the dialog, its choices are remembered.
    recordingFlag = d.Memor->isChecked();
    hub.lastPort = d.ElPorte->currentText();
    recordingFileName =
        QFileInfo(hub::recordingFileName(d.NomeArchivio->text(), hub.lastPort)).absoluteFilePath();
    if (hub.lastPort.isEmpty() || !ok) return;

    bool missing = false;
    QString openError;
    try {
        a.port.open(hub.lastPort);
    } catch (const std::exception& e) {
        if (!reopenOnDeviceLoss) {
            hub::showError(this, QString::fromLocal8Bit(e.what()));
            return;
        }
        // Unattended: the adapter may not be there yet (a guard post booting).
        sayReopening(QString::fromLocal8Bit(e.what()), hub.lastPort);
        missing = true;
        openError = QString::fromLocal8Bit(e.what());
    }
    state_.mode = hub::MainWindowState::Mode::Acquiring;
    if (linkObserver_) {
        linkObserver_->acquisitionStarted(hub.lastPort);
        observedLink_ = hub::LinkObserver::Link::Stopped;
    }
    a.deviceErrorShown = false;
    a.recordingErrorShown = false;

    AzzeraVideo(true); // also zeroes the record buffers and shows the state
    setWindowTitle(QStringLiteral("PORT : ") + hub.lastPort +
                   QStringLiteral(" --  ZEMBRA MONITOR HUB (V:") + QLatin1String(hub::kProgramVersion) +
                   QLatin1Char(')'));

    hub::DataFileWriter* recording = nullptr;
    if (recordingFlag) {
        QString error;
        if (a.writer.create(recordingFileName, &error)) {
            state_.recording = recordingFileName;
            showState();
            NomeArch->adjustSize();
            recording = &a.writer;
        } else if (reopenOnDeviceLoss) {
            // Unattended, the live display is what guards: it runs on without
            // the recording rather than not at all.
            std::fprintf(stderr, "hubmonitor: cannot record: %s; acquiring without recording\n",
                         qPrintable(error));
        } else {
            // The port stays open and the window acquiring, with no timer:
            // the user stops it as usual.
            hub::showError(this, error);
            return;
        }
    }
    if (missing) {
        a.link.beginWithoutDevice(recording);
        a.link.setReopenInterval(reopenPace(openError, hub.lastPort));
        syncLink();
        return;
    }
    runLink([&] { a.link.beginAcquisition(recording); });
}

void TAnalisiBarre::FermaRic(bool confirm) {
    if (!state_.acquiring()) return;
    if (confirm) {
        DomandaStop();
        if (state_.stop == hub::MainWindowState::StopAnswer::No) return;
        // A SIGTERM may have stopped it while the question was open.
        if (!state_.acquiring()) return;
    }
    LinkArea& a = linkArea();
    setWindowTitle(QStringLiteral("ZEMBRA MONITOR HUB (V.") + QLatin1String(hub::kProgramVersion) +
                   QLatin1Char(')'));
    // Closes the port and the file even when the device is gone; its error is
    // shown unless the acquisition already showed one.
    if (!qEnvironmentVariableIsEmpty("HUBMONITOR_LINK_STATS")) {
        // For the benches: how far the link fell behind, and how much it took.
        std::fprintf(stderr, "hubmonitor: records %llu, largest backlog %d bytes\n",
                     static_cast<unsigned long long>(a.link.counter()), a.link.maxBuffer());
    }
    const QString error = a.link.endAcquisition([&] { a.port.close(); });
    if (a.writer.isOpen()) a.writer.close(); // a file left without a started link
    state_.mode = hub::MainWindowState::Mode::Idle;
    if (linkObserver_) {
        linkObserver_->acquisitionEnded();
        observeLink();
    }
    TimerComSet->stop();
    TimerComDati->stop();
    if (TimerReopen) TimerReopen->stop();
    setPanelColour(PanelRicevi, hub::HubLink::kHeartbeatLight);
    LNoData->hide();
    setCaption(LStart, QStringLiteral("//"));
    setCaption(LCounter, QStringLiteral("0"));
    setCaption(LBuffer, QStringLiteral("0"));
    AzzeraVideo(false); // also shows the state
    // Unattended (SIGTERM at a guard post) nobody would close a box: stderr.
    if (!error.isEmpty() && !a.deviceErrorShown) {
        if (reopenOnDeviceLoss)
            std::fprintf(stderr, "hubmonitor: %s\n", qPrintable(hub::withSystemText(error)));
        else
            hub::showError(this, error);
    }
    a.deviceErrorShown = false;
}

void TAnalisiBarre::stopWithoutAsking() {
    if (state_.acquiring()) FermaRic(false);
}

void TAnalisiBarre::restHeartbeat() {
    if (linkArea_) linkArea_->link.setHeartbeat(hub::HubLink::kHeartbeatLight);
    setPanelColour(PanelRicevi, hub::HubLink::kHeartbeatLight);
}

void TAnalisiBarre::TimerComSetTimer() {
    TimerComSet->stop();
    runLink([this] { linkArea().link.TimerComSetTimer(); });
}

void TAnalisiBarre::TimerReopenTimer() {
    TimerReopen->stop();
    LinkArea& a = linkArea();
    runLink([&a] {
        if (a.link.TimerReopenTimer([&a] { a.port.open(a.port.portName()); })) {
            std::fprintf(stderr, "hubmonitor: %s reopened\n", qPrintable(a.port.portName()));
            return;
        }
        const QString& error = a.link.reopenError();
        const int ms = reopenPace(error, a.port.portName());
        // Once an outage (or when the pace changes), not every 2 s.
        if (a.link.reopenFailures() == 1 ||
            (ms != a.link.timerReopen().intervalMs && ms != hub::HubLink::kReopenMs))
            sayReopening(error, a.port.portName());
        a.link.setReopenInterval(ms);
    });
}

void TAnalisiBarre::TimerComDatiTimer() {
    TimerComDati->stop();
    hub::HubLink& l = linkArea().link;
    runLink([&l] { l.TimerComDatiTimer(); });
}

} // namespace hub
