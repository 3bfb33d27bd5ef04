#pragma once
// The hub link of hubmonitor: the byte conversation with the hub over a Line
// and a steady clock, driven by the main window's two timers. The window's
// timer handlers call TimerComSetTimer / TimerComDatiTimer here and then copy
// the timers' state and the labels (LNoData, LBuffer, LCounter, the heartbeat
// colour) from this object.
//
// Commands: 0x84 stops the stream, 0x83 asks for the kind byte and the settings
// block, 0x82 starts the stream of 0x82 + RecordLength-byte state records.
#include "monitor/hubstate.h"
#include "monitor/staterecord.h"
#include "serial/line.h"

#include <QString>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>

namespace hub {

class DataFileWriter;

// What the link needs from the main window.
class HubLinkHost {
public:
    virtual ~HubLinkHost() = default;
    // Settings decoders; they also set the stream parameters in HubState.
    virtual bool riceviSetSW(std::uint8_t kind, const std::array<std::uint8_t, kSwBlockSize>& block) = 0;
    virtual bool riceviSetTC(std::uint8_t kind, const std::array<std::uint8_t, kTcBlockSize>& block) = 0;
    // One live record (the window reads its beep switches).
    virtual void riceviDati(const StateRecord& state) = 0;
    // Between records and between stop bytes: show the labels, paint, no input.
    virtual void repaint() {}
    // A recording write failed: the recording pauses (the file ends on its
    // last whole record) and every later record tries again. Reported once a
    // pause, not once a record.
    virtual void recordingFailed(const QString& error) { (void)error; }
    // A write went through again after a pause.
    virtual void recordingResumed(const QString& path) { (void)path; }
};

struct LinkTimer {
    bool enabled = false;
    int intervalMs = 0;
};

class HubLink {
public:
    static constexpr std::uint8_t kStop = 0x84;
    static constexpr std::uint8_t kSettings = 0x83;
    static constexpr std::uint8_t kStream = 0x82;
    // 0.00002 and 0.000005 of a day.
    static constexpr std::chrono::microseconds kReceiveDeadline{1'728'000};
    static constexpr std::chrono::microseconds kStopPause{432'000};
    static constexpr int kMaxStopBytes = 5;
    static constexpr int kConnectFirstMs = 1000;
    static constexpr int kConnectRetryMs = 2000;
    static constexpr int kDataMs = 1;
    static constexpr int kReopenMs = 2000;
    static constexpr std::uint32_t kHeartbeatDark = 0x808080;
    static constexpr std::uint32_t kHeartbeatLight = 0xC0C0C0;

    HubLink(Line& line, SteadyClock& clock, HubState& state, HubLinkHost& host);

    bool RicezioneByte(std::uint8_t* buffer, int n);
    bool RicezioneStart(std::uint8_t b);
    void InviaStop();
    void TimerComSetTimer();
    void TimerComDatiTimer();

    // Acquisition. The port is open and the display reset; recording is the
    // open file, or null when not recording. Writes the start record,
    // silences the hub and arms the connect timer (1000 ms).
    void beginAcquisition(DataFileWriter* recording);
    // The stop: silences the hub, purges, has the port closed (closePort),
    // writes the end record and closes the file, disarms both timers and
    // resets the labels. Device errors do not stop it: the first one is
    // returned (empty when none), everything else still runs.
    QString endAcquisition(const std::function<void()>& closePort);

    // Unattended running: a device error (adapter pulled, cable cut) does not
    // end the acquisition. deviceLost closes the port (closePort; its own
    // errors are ignored), keeps the recording open, shows "NO DATA" and arms
    // the reopen timer. TimerReopenTimer tries openPort: on failure the timer
    // runs again in 2 s; on success the hub is silenced and the connect timer
    // armed, so the settings are asked (and recorded) as after any reconnect.
    // Returns true when the port is open again. Errors silencing the reopened
    // device propagate, as from the other timers.
    void deviceLost(const std::function<void()>& closePort);
    bool TimerReopenTimer(const std::function<void()>& openPort);
    // beginAcquisition for a device that could not be opened: the start
    // record is written and the reopen timer armed.
    void beginWithoutDevice(DataFileWriter* recording);
    const LinkTimer& timerReopen() const { return reopen_; }
    // The reopening's pace for the rest of this outage (an error that cannot
    // mend by itself is tried less often); the next loss starts at 2 s again.
    void setReopenInterval(int ms) { reopen_.intervalMs = ms; }
    bool deviceGone() const { return gone_; }
    // Why the last reopening failed (the open error's message).
    const QString& reopenError() const { return reopenError_; }
    // Failed reopenings since the device was lost.
    int reopenFailures() const { return reopenFailures_; }

    // Timers (the window mirrors these onto its QTimers).
    const LinkTimer& timerSet() const { return set_; }
    const LinkTimer& timerDati() const { return dati_; }
    // Labels.
    bool noData() const { return noData_; }              // LNoData visible
    int buffer() const { return buffer_; }               // LBuffer
    int maxBuffer() const { return maxBuffer_; }         // largest LBuffer of the acquisition
    std::uint64_t counter() const { return counter_; }   // LCounter
    void setCounter(std::uint64_t c) { counter_ = c; }
    std::uint32_t heartbeat() const { return heartbeat_; } // PanelRicevi colour, #RRGGBB
    void setHeartbeat(std::uint32_t rgb) { heartbeat_ = rgb; }
    bool recording() const { return recording_ != nullptr; }

    // Time stamps of the records (TDateTime); tests set a fixed source.
    std::function<double()> timeStamp;

private:
    // RicezioneByte / RicezioneStart telling the line how many bytes the
    // caller reads right after these (a record after its start byte), so
    // that a wait covers them too.
    bool receive(std::uint8_t* buffer, int n, int following);
    bool receiveStart(std::uint8_t b, int following);
    static constexpr int kMaxReceive = 128; // the largest block is 70 bytes

    // Takes the recording (or none) and writes its start record.
    void startRecording(DataFileWriter* recording);
    // Writes what a pause left out and the file needs before a state: the
    // start record, the settings of the running connection. False if the
    // recording is still paused.
    bool catchUp();
    void writeFailed();
    void writeWent();

    Line& line_;
    SteadyClock& clock_;
    HubState& st_;
    HubLinkHost& host_;
    DataFileWriter* recording_ = nullptr;
    bool recordingPaused_ = false;
    bool startPending_ = false;    // the start record is still to be written
    bool settingsPending_ = false; // the running connection's settings too
    LinkTimer set_{false, kConnectFirstMs};
    LinkTimer dati_{false, kDataMs};
    LinkTimer reopen_{false, kReopenMs};
    bool gone_ = false;
    QString reopenError_;
    int reopenFailures_ = 0;
    bool noData_ = false;
    int buffer_ = 0;
    int maxBuffer_ = 0;
    std::uint64_t counter_ = 0;
    std::uint32_t heartbeat_ = kHeartbeatLight;
};

} // namespace hub

namespace hub {

// The recording's file name: the typed name, "__PORT-", the port's last path
// component (ttyUSB0 for /dev/ttyUSB0: a whole path would point into folders
// that do not exist) and ".dat".
QString recordingFileName(const QString& typedName, const QString& portName);
// The name the acquisition dialog proposes: YYYYMMDD-hhmmss.
QString proposedRecordingName(int year, int month, int day, int hour, int minute, int second);

} // namespace hub
