// The hub link on the main window: starting an acquisition (the TRicevi
// dialog, the port, the recording), the connect and data timers, and the stop.
// The protocol itself lives in hublink; these handlers move its state onto
// the timers and labels.
#include "common/DialogSeam.h"
#include "common/tdatetime.h"
#include "monitor/FAnaBarre.h"
#include "monitor/FRicevi.h"
#include "monitor/datafile.h"
#include "monitor/display/Barra.h"
#include "monitor/hublink.h"
#include "monitor/version.h"
#include "serial/comms.h"

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
#include <cstdio>

namespace {
const char kNoPorts[] = "NESSUNA PORTA SERIALE DISPONIBILE";

void setPanelColour(QWidget* w, std::uint32_t rgb) {
    QPalette pal = w->palette();
    if ((pal.color(QPalette::Window).rgb() & 0xFFFFFF) == rgb) return;
    pal.setColor(QPalette::Window, QColor::fromRgb(rgb));
    w->setPalette(pal);
}

// Unattended, a device error goes to stderr and the device is tried again.
void sayReopening(const QString& error, const QString& port) {
    std::fprintf(stderr, "hubmonitor: %s; reopening %s every 2 s\n", qPrintable(error), qPrintable(port));
}

// The counters change with every record: measuring the label each time costs
// more than the record itself, so it is only resized when the text outgrows it.
void setCaption(QLabel* l, const QString& text) {
    if (l->text() == text) return;
    l->setText(text);
    if (l->fontMetrics().horizontalAdvance(text) + 2 > l->width()) {
        l->adjustSize();
        l->resize(l->width() + l->fontMetrics().horizontalAdvance(QStringLiteral("000")), l->height());
    }
}
} // namespace

// Owned by the window (a QObject child), so the header needs no link types.
struct TAnalisiBarre::LinkArea : public QObject, public hub::HubLinkHost {
    explicit LinkArea(TAnalisiBarre* window)
        : QObject(window), w(window), link(comm, hub::SystemClock::instance(), window->hub, *this) {
        comm.setHubLine();
    }

    bool riceviSetSW(std::uint8_t kind, const std::array<std::uint8_t, hub::kSwBlockSize>& b) override {
        return w->RiceviSet_SW(kind, b);
    }
    bool riceviSetTC(std::uint8_t kind, const std::array<std::uint8_t, hub::kTcBlockSize>& b) override {
        return w->RiceviSet_TC(kind, b);
    }
    void riceviDati(const hub::StateRecord& state) override {
        bool beams = false, leds = false;
        if (auto* m = qobject_cast<hub::TMonitor*>(w->Monitor1)) {
            beams = m->model().soundBeams.enabled();
            leds = m->model().soundLeds.enabled();
        }
        w->RiceviDati(state, beams, leds);
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
            t->setInterval(s.intervalMs);
            if (!s.enabled) t->stop();
            else if (!t->isActive()) t->start();
        };
        mirror(w->TimerComSet, link.timerSet());
        mirror(w->TimerComDati, link.timerDati());
        mirror(w->TimerReopen, link.timerReopen());
    }
    QElapsedTimer sincePaint;
    void recordingFailed(const QString& error) override {
        if (w->reopenOnDeviceLoss) // unattended: a message box would wait for nobody
            std::fprintf(stderr, "hubmonitor: Recording: %s\n", qPrintable(error));
        else
            hub::showError(w, QStringLiteral("Recording: ") + error);
    }

    TAnalisiBarre* w;
    hub::TComPort comm;
    hub::DataFileWriter writer;
    hub::HubLink link;
    bool deviceErrorShown = false; // a device error is shown once per acquisition
};

TAnalisiBarre::LinkArea& TAnalisiBarre::linkArea() {
    if (!linkArea_) {
        linkArea_ = new LinkArea(this);
        TimerReopen = new QTimer(this);
        TimerReopen->setObjectName(QStringLiteral("TimerReopen"));
        connect(TimerReopen, &QTimer::timeout, this, &TAnalisiBarre::TimerReopenTimer);
    }
    return *linkArea_;
}

hub::TComPort& TAnalisiBarre::comm() { return linkArea().comm; }

hub::HubLink& TAnalisiBarre::hubLink() { return linkArea().link; }

void TAnalisiBarre::syncLink() {
    hub::HubLink& l = linkArea().link;
    linkArea().mirrorTimers();
    LNoData->setVisible(l.noData());
    setCaption(LBuffer, QString::number(l.buffer()));
    setCaption(LCounter, QString::number(l.counter()));
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
    if (!error.isEmpty() && reopenOnDeviceLoss && connected) {
        // Nobody is there to answer a message: say it on stderr and keep the
        // acquisition going until the device is back.
        sayReopening(error, a.comm.PortName);
        a.link.deviceLost([&] { a.comm.Close(); });
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

void TAnalisiBarre::SBRiceviClick() {
    LinkArea& a = linkArea();
    const QDateTime now = QDateTime::currentDateTime();
    LStart->setText(hub::shortDateText(now.date()) + QLatin1Char(' ') + hub::longTimeText(now.time()));
    LStart->adjustSize();

    TRicevi d(this);
    if (italian()) {
        d.setItalian();
        d.Memor->setChecked(recordingFlag);
        d.MemorClick();
    }
    d.ElPorte->setNoPortText(QLatin1String(kNoPorts));
    d.ElPorte->relist();
    const QStringList ports = d.ElPorte->entries();
    a.comm.PortName = hub.lastPort;
    const int at = a.comm.PortIndex(ports);
    d.ElPorte->setCurrentText(at >= 0 ? ports.at(at) : QString());
    d.NomeArchivio->setText(hub::proposedRecordingName(now.date().year(), now.date().month(),
                                                       now.date().day(), now.time().hour(),
                                                       now.time().minute(), now.time().second()));

    if (riceviPreset) {
        reopenOnDeviceLoss = true;
        const RiceviPreset p = *riceviPreset;
        riceviPreset.reset();
        d.ElPorte->setCurrentText(p.port);
        if (p.record) {
            d.Memor->setChecked(*p.record);
            d.MemorClick();
        }
        if (!p.name.isEmpty()) d.NomeArchivio->setText(p.name);
        d.Button1Click();
    } else {
        // Tests give the fields through the seam ("ricevi-fields": port,
        // record, name), then the answer ("ricevi": 1 is OK).
        if (auto f = hub::DialogSeam::take(QStringLiteral("ricevi-fields"))) {
            const QVariantMap m = f->toMap();
            if (m.contains(QStringLiteral("port"))) d.ElPorte->setCurrentText(m.value(QStringLiteral("port")).toString());
            if (m.contains(QStringLiteral("record"))) {
                d.Memor->setChecked(m.value(QStringLiteral("record")).toBool());
                d.MemorClick();
            }
            if (m.contains(QStringLiteral("name"))) d.NomeArchivio->setText(m.value(QStringLiteral("name")).toString());
        }
        const int result = hub::execDialog(&d, QStringLiteral("ricevi"));
        if (result == QDialog::Accepted && d.Button1->text() != QLatin1String("__")) d.Button1Click();
    }

    // Whatever closed the dialog, its choices are remembered.
    recordingFlag = d.Memor->isChecked();
    hub.lastPort = d.ElPorte->currentText();
    recordingFileName =
        QFileInfo(hub::recordingFileName(d.NomeArchivio->text(), hub.lastPort)).absoluteFilePath();
    const bool ok = d.Button1->text() == QLatin1String("__");
    if (hub.lastPort.isEmpty() || !ok) return;

    a.comm.PortName = hub.lastPort;
    bool missing = false;
    try {
        a.comm.Open();
    } catch (const std::exception& e) {
        if (!reopenOnDeviceLoss) {
            hub::showError(this, QString::fromLocal8Bit(e.what()));
            return;
        }
        // Unattended: the adapter may not be there yet (a guard post booting).
        sayReopening(QString::fromLocal8Bit(e.what()), hub.lastPort);
        missing = true;
    }
    connected = true;
    a.deviceErrorShown = false;

    SBRicevi->hide();
    LRicCorso->show();
    NomeArch->setText(QString());
    SBClear->show();
    AzzeraVideo(true); // also zeroes the record buffers
    setWindowTitle(QStringLiteral("PORT : ") + hub.lastPort +
                   QStringLiteral(" --  ZEMBRA MONITOR HUB (V:") + QLatin1String(hub::kProgramVersion) +
                   QLatin1Char(')'));

    hub::DataFileWriter* recording = nullptr;
    if (recordingFlag) {
        QString error;
        if (!a.writer.create(recordingFileName, &error)) {
            // The port stays open and the window acquiring, with no timer:
            // the user stops it as usual.
            hub::showError(this, error);
            return;
        }
        NomeArch->setText(recordingFileName);
        NomeArch->adjustSize();
        TextNomeArch->show();
        SBClear->hide(); // no LED reset while recording
        recording = &a.writer;
    }
    if (missing) {
        a.link.beginWithoutDevice(recording);
        syncLink();
        return;
    }
    runLink([&] { a.link.beginAcquisition(recording); });
}

void TAnalisiBarre::FermaRic(bool confirm) {
    if (!acquisitionRunning()) return;
    if (confirm) {
        DomandaStop();
        if (LOK->text() == QLatin1String("NO")) return;
        // A SIGTERM may have stopped it while the question was open.
        if (!acquisitionRunning()) return;
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
    const QString error = a.link.endAcquisition([&] { a.comm.Close(); });
    if (a.writer.isOpen()) a.writer.close(); // a file left without a started link
    connected = false;
    TimerComSet->stop();
    TimerComDati->stop();
    if (TimerReopen) TimerReopen->stop();
    LRicCorso->hide();
    setPanelColour(PanelRicevi, hub::HubLink::kHeartbeatLight);
    LNoData->hide();
    setCaption(LStart, QStringLiteral("//"));
    setCaption(LCounter, QStringLiteral("0"));
    setCaption(LBuffer, QStringLiteral("0"));
    SBRicevi->show();
    SBClear->hide();
    AzzeraVideo(false);
    if (!error.isEmpty() && !a.deviceErrorShown) hub::showError(this, error);
    a.deviceErrorShown = false;
}

void TAnalisiBarre::stopWithoutAsking() {
    if (acquisitionRunning()) FermaRic(false);
}

void TAnalisiBarre::TimerComSetTimer() {
    TimerComSet->stop();
    runLink([this] { linkArea().link.TimerComSetTimer(); });
}

void TAnalisiBarre::TimerReopenTimer() {
    TimerReopen->stop();
    LinkArea& a = linkArea();
    runLink([&a] {
        if (a.link.TimerReopenTimer([&a] { a.comm.Open(); }))
            std::fprintf(stderr, "hubmonitor: %s reopened\n", qPrintable(a.comm.PortName));
        else if (a.link.reopenFailures() == 1) // once an outage, not every 2 s
            std::fprintf(stderr, "hubmonitor: cannot reopen %s yet: %s\n", qPrintable(a.comm.PortName),
                         qPrintable(a.link.reopenError()));
    });
}

void TAnalisiBarre::TimerComDatiTimer() {
    TimerComDati->stop();
    hub::HubLink& l = linkArea().link;
    l.setHeartbeat(PanelRicevi->palette().color(QPalette::Window).rgb() & 0xFFFFFF);
    runLink([&l] { l.TimerComDatiTimer(); });
}
