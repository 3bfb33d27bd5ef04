#include "monitor/hublink.h"

#include "common/tdatetime.h"
#include "monitor/datafile.h"

#include <algorithm>
#include <stdexcept>

namespace hub {

HubLink::HubLink(Line& line, SteadyClock& clock, HubState& state, HubLinkHost& host)
    : timeStamp(&nowTDateTime), line_(line), clock_(clock), st_(state), host_(host) {}

bool HubLink::RicezioneByte(std::uint8_t* buffer, int n) { return receive(buffer, n, 0); }

bool HubLink::receive(std::uint8_t* buffer, int n, int following) {
    if (n <= 0) return true;
    // One deadline for the whole call, not one a byte.
    const SteadyTime deadline = clock_.now() + kReceiveDeadline;
    int i = 0;
    while (i < n) {
        const bool timedOut = clock_.now() >= deadline;
        if (timedOut) {
            // After a time-out each remaining position still reads once, and
            // drops what it got: the stream is resynchronised by a reconnect.
            std::uint8_t dropped[kMaxReceive];
            while (i < n) {
                const int count = std::min(n - i, kMaxReceive);
                line_.readBytes(dropped, count);
                i += count;
            }
            return false;
        }
        // What is waiting, up to the rest of the call, in one read.
        const int got = line_.readBytes(buffer + i, n - i);
        i += got;
        // The queue is empty now: sleep until the rest (and the bytes the
        // caller reads next) can have come, instead of waking for each byte.
        if (i < n) line_.waitForBytes(n - i + following, deadline);
    }
    return true;
}

bool HubLink::RicezioneStart(std::uint8_t b) { return receiveStart(b, 0); }

bool HubLink::receiveStart(std::uint8_t b, int following) {
    std::uint8_t got = 0;
    return receive(&got, 1, following) && got == b;
}

void HubLink::InviaStop() {
    line_.purgeOut();
    line_.purgeIn();
    // The queue is not purged between attempts: a streaming hub keeps it
    // non-empty and gets all five; a silent hub gets one.
    for (int i = 0; i < kMaxStopBytes; ++i) {
        line_.writeBytes(&kStop, 1);
        clock_.sleepUntil(clock_.now() + kStopPause);
        if (line_.inQueCount() == 0) break;
        host_.repaint();
    }
}

void HubLink::TimerComSetTimer() {
    set_.enabled = false;
    InviaStop();
    line_.writeBytes(&kSettings, 1);
    bool ok = RicezioneStart(kSettings) && RicezioneByte(&st_.hubKind, 1);
    if (ok) {
        if (isSwHub(st_.hubKind)) {
            ok = RicezioneByte(st_.sw.data(), kSwBlockSize) && host_.riceviSetSW(st_.hubKind, st_.sw);
        } else {
            // 64 bytes arrive; the 6 after them are zero in every block we keep.
            std::fill(st_.tc.begin() + kTcBlockReceived, st_.tc.end(), std::uint8_t{0});
            ok = RicezioneByte(st_.tc.data(), kTcBlockReceived) && host_.riceviSetTC(st_.hubKind, st_.tc);
        }
    }
    if (!ok) {
        noData_ = true;
        set_.intervalMs = kConnectRetryMs;
        set_.enabled = true;
        return;
    }
    buffer_ = line_.inQueCount();
    line_.writeBytes(&kStream, 1);
    dati_.enabled = true;
    noData_ = false;
    if (recording_) {
        settingsPending_ = true;
        catchUp();
    }
}

void HubLink::TimerComDatiTimer() {
    dati_.enabled = false;
    int left = st_.stream.recordsPerTick;
    for (;;) {
        // A record never writes past the 12-byte state, whatever a block said.
        const int length = std::clamp(st_.stream.recordLength, 0, 12);
        // The record's bytes follow its start byte at once: one wait for all.
        // While the tick has more to read, a wait lasts for the next record
        // too: the window is painted at most every 40 ms, every other record
        // at the line rate, so waking for each record showed nothing more
        // and cost a wake-up. A record is read at most one record's time
        // after it came.
        const int ahead = left > 1 ? 1 + length : 0;
        if (!receiveStart(kStream, length + ahead) || !receive(st_.current.data(), length, ahead)) {
            set_.enabled = true; // back to connecting, with the interval it has
            return;
        }
        host_.riceviDati(st_.current);
        buffer_ = line_.inQueCount();
        maxBuffer_ = std::max(maxBuffer_, buffer_);
        ++counter_;
        if (recording_ && st_.current != st_.lastRecorded && catchUp()) {
            if (recording_->writeState(timeStamp(), st_.current)) {
                st_.lastRecorded = st_.current;
                writeWent();
            } else {
                writeFailed();
            }
        }
        if (--left <= 0) {
            heartbeat_ = heartbeat_ == kHeartbeatDark ? kHeartbeatLight : kHeartbeatDark;
            dati_.enabled = true;
            return;
        }
        // With the next record whole in the queue already, the window is
        // painted after it rather than with a state it replaces at once.
        if (buffer_ <= length) host_.repaint();
    }
}

void HubLink::startRecording(DataFileWriter* recording) {
    recording_ = recording;
    recordingPaused_ = false;
    startPending_ = recording_ != nullptr;
    settingsPending_ = false;
    catchUp();
}

bool HubLink::catchUp() {
    if (!recording_) return false;
    if (startPending_) {
        if (!recording_->writeStartEnd(timeStamp())) {
            writeFailed();
            return false;
        }
        startPending_ = false;
        writeWent();
    }
    if (settingsPending_) {
        const std::uint8_t* block = isSwHub(st_.hubKind) ? st_.sw.data() : st_.tc.data();
        if (!recording_->writeSettings(timeStamp(), st_.hubKind, block)) {
            writeFailed();
            return false;
        }
        settingsPending_ = false;
        writeWent();
    }
    return true;
}

void HubLink::beginAcquisition(DataFileWriter* recording) {
    startRecording(recording);
    set_ = {false, kConnectFirstMs};
    dati_ = {false, kDataMs};
    reopen_ = {false, kReopenMs};
    gone_ = false;
    InviaStop();
    counter_ = 0;
    maxBuffer_ = 0;
    set_.enabled = true;
    dati_.enabled = false;
}

QString HubLink::endAcquisition(const std::function<void()>& closePort) {
    QString error;
    auto attempt = [&](const std::function<void()>& step) {
        try {
            step();
        } catch (const std::exception& e) {
            if (error.isEmpty()) error = QString::fromLocal8Bit(e.what());
        }
    };
    // A vanished device fails these; the port and the file are closed anyway.
    // A device already given up on has no port open to silence.
    if (!gone_) {
        attempt([&] { InviaStop(); });
        attempt([&] { line_.purgeOut(); });
        attempt([&] { line_.purgeIn(); });
    }
    attempt(closePort);
    if (recording_) {
        if (recording_->isOpen()) {
            if (!recording_->writeStartEnd(timeStamp())) writeFailed();
            recording_->close();
        }
        recording_ = nullptr;
    }
    set_.enabled = false;
    dati_.enabled = false;
    reopen_.enabled = false;
    gone_ = false;
    noData_ = false;
    heartbeat_ = kHeartbeatLight;
    counter_ = 0;
    buffer_ = 0;
    return error;
}

void HubLink::deviceLost(const std::function<void()>& closePort) {
    set_.enabled = false;
    dati_.enabled = false;
    gone_ = true;
    noData_ = true;
    reopenFailures_ = 0;
    buffer_ = 0;
    try {
        closePort();
    } catch (const std::exception&) {
        // The device is gone: closing it can only fail the same way.
    }
    reopen_ = {true, kReopenMs};
}

void HubLink::beginWithoutDevice(DataFileWriter* recording) {
    startRecording(recording);
    counter_ = 0;
    maxBuffer_ = 0;
    deviceLost([] {});
}

bool HubLink::TimerReopenTimer(const std::function<void()>& openPort) {
    reopen_.enabled = false;
    if (!gone_) return false; // a tick left over from a stopped acquisition
    try {
        openPort();
    } catch (const std::exception& e) {
        reopenError_ = QString::fromLocal8Bit(e.what());
        ++reopenFailures_;
        reopen_.enabled = true;
        return false;
    }
    gone_ = false;
    reopenError_.clear();
    // As at the start: whatever the device held is stale; then the settings.
    set_ = {true, kConnectFirstMs};
    InviaStop();
    return true;
}

void HubLink::writeFailed() {
    if (recordingPaused_ || !recording_) return;
    recordingPaused_ = true;
    host_.recordingFailed(recording_->lastError());
}

void HubLink::writeWent() {
    if (!recordingPaused_) return;
    recordingPaused_ = false;
    host_.recordingResumed(recording_->path());
}

} // namespace hub

namespace hub {

QString recordingFileName(const QString& typedName, const QString& portName) {
    QString port = portName;
    while (port.endsWith(QLatin1Char('/'))) port.chop(1);
    port = port.mid(port.lastIndexOf(QLatin1Char('/')) + 1);
    return typedName + QStringLiteral("__PORT-") + port + QStringLiteral(".dat");
}

QString proposedRecordingName(int year, int month, int day, int hour, int minute, int second) {
    auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return QStringLiteral("%1").arg(year, 4, 10, QLatin1Char('0')) + two(month) + two(day) +
           QLatin1Char('-') + two(hour) + two(minute) + two(second);
}

} // namespace hub
