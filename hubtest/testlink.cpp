#include "hubtest/testlink.h"

#include <exception>

namespace hub {

const QString TestLink::FailureMessage = QStringLiteral("Comunication FAILED ... reconnect !");

TestLink::TestLink(TestPort& port, SteadyClock& clock) : port_(port), clock_(clock) {}

QString TestLink::versionText(std::uint8_t v) {
    // The top bit marks the standard hub; without it the hub is a TC.
    if (v >= 0x80) return QStringLiteral("Vers. HUB: ") + QString::number(v & 0x7F);
    return QStringLiteral("Vers. HUB TC: ") + QString::number(v);
}

void TestLink::InvioByte(std::uint8_t b) { port_.line().writeBytes(&b, 1); }

bool TestLink::waitByte(std::uint8_t& b) {
    const SteadyTime deadline = clock_.now() + ByteTimeout;
    Line& line = port_.line();
    bool passed = false;
    for (;;) {
        // Noted before the read: a byte picked up in the pass that found the
        // deadline gone still counts as late.
        passed = clock_.now() >= deadline;
        if (line.readBytes(&b, 1) == 1 || passed) break;
        line.waitReadable(deadline);
    }
    return !passed;
}

bool TestLink::RiceviByte() {
    std::uint8_t b = 0;
    if (!waitByte(b)) {
        FermaRic(true);
        return false;
    }
    last_ = b;
    return true;
}

bool TestLink::connectHub() {
    InvioByte(testcmd::Connect);
    if (!RiceviByte()) return false;
    pic_.version = versionText(last_);
    changed();
    if (!RiceviByte()) return false;
    // Refused: the port stays open with the disconnected look; the next press
    // of "Connect ..." closes it.
    if (last_ != testcmd::Positive) return false;
    pic_.connectedLook = true;
    changed();
    // The two input tests run once so the picture starts out true. A time-out in
    // the first has already ended the connection; the second must not write to
    // a closed port.
    if (!testStandBy()) return false;
    if (!testBars()) return false;
    return true;
}

void TestLink::setDisconnectedLook() {
    pic_.connectedLook = false;
    // Colours, barrier visibility and the version text keep their last state.
}

void TestLink::FermaRic(bool show) {
    pic_.busyCursor = false;
    std::exception_ptr err;
    bool timedOut = false;
    try {
        InvioByte(testcmd::Disconnect);
        std::uint8_t b = 0;
        // One wait only, never through RiceviByte: a silent hub must not
        // start a second end command.
        timedOut = !waitByte(b);
    } catch (...) {
        err = std::current_exception();
    }
    if ((show || timedOut) && Conferma) Conferma(FailureMessage);
    // The port is closed and the window goes back to the disconnected look even
    // when the line failed, otherwise a vanished port could never be let go.
    try {
        port_.line().purgeOut();
        port_.line().purgeIn();
    } catch (...) {
        if (!err) err = std::current_exception();
    }
    try {
        port_.close();
    } catch (...) {
        if (!err) err = std::current_exception();
    }
    setDisconnectedLook();
    changed();
    if (err) std::rethrow_exception(err);
}

ToggleResult TestLink::toggleOutput(TestOutput k) {
    const int i = static_cast<int>(k);
    InvioByte(static_cast<std::uint8_t>(testcmd::FirstOutput + i));
    if (!RiceviByte()) return ToggleResult::Failed;
    if (last_ == testcmd::Positive || last_ == testcmd::Negative) {
        pic_.outputActive[i] = last_ == testcmd::Positive;
        changed();
        return pic_.outputActive[i] ? ToggleResult::Active : ToggleResult::Inactive;
    }
    FermaRic(true);
    return ToggleResult::Failed;
}

bool TestLink::testBars() {
    pic_.busyCursor = true;
    pic_.barTesting = true;
    changed();
    InvioByte(testcmd::TestBars);
    if (!RiceviByte()) return false;
    const std::uint8_t mask = last_;
    if (!RiceviByte()) return false;
    // No result yet: "Testing.." and the hourglass stay until a bar test completes.
    if (last_ == testcmd::Negative) return true;
    pic_.busyCursor = false;
    pic_.barTesting = false;
    for (int z = 0; z < 4; ++z) pic_.zoneVisible[z] = (mask & (0x03 << (2 * z))) != 0;
    for (int n = 0; n < 8; ++n) pic_.barrierVisible[n] = (mask & (1 << n)) != 0;
    changed();
    return true;
}

bool TestLink::testStandBy() {
    InvioByte(testcmd::TestStandBy);
    if (!RiceviByte()) return false;
    const std::uint8_t mask = last_;
    if (!RiceviByte()) return false;
    if (last_ == testcmd::Negative) return true;
    for (int k = 0; k < 4; ++k) pic_.standByActive[k] = (mask & (1 << k)) != 0;
    changed();
    return true;
}

} // namespace hub
