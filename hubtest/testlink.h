#pragma once
// The bench test link: hubtest's own one-byte command set over the serial line,
// and the picture state (colours, visibility, captions) the test window shows.
// Toolkit-free so that every exchange can be driven by a scripted line.
#include "common/hubport.h"
#include "serial/line.h"

#include <QString>
#include <QStringList>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>

namespace hub {

namespace testcmd {
constexpr std::uint8_t Connect = 0x46;
constexpr std::uint8_t Disconnect = 0x47;
constexpr std::uint8_t FirstOutput = 0x48; // 0x48..0x4F, one per output switch
constexpr std::uint8_t TestBars = 0x50;
constexpr std::uint8_t TestStandBy = 0x51;
constexpr std::uint8_t Positive = 0x21; // accepted / output active / result valid
constexpr std::uint8_t Negative = 0x22; // output inactive / result not available
} // namespace testcmd

// The eight output switches, in command order (0x48 + index).
enum class TestOutput { All = 0, Al0, Al1, Al2, Al3, Tam, Dis, Fai };
constexpr int OutputCount = 8;

// The port as the test link needs it: a line that can be opened by name.
using TestPort = HubPort;

// What the window shows; the window only mirrors this.
struct TestPicture {
    bool connectedLook = false; // "Disconnect ...", blue supply wires, controls enabled
    QString version = QStringLiteral("Vers. HUB:");
    std::array<bool, OutputCount> outputActive{};  // terminals, wires, arrows red
    std::array<bool, 8> barrierVisible{true, true, true, true, true, true, true, true};
    std::array<bool, 4> zoneVisible{true, true, true, true};
    std::array<bool, 4> standByActive{};
    bool barTesting = false; // SB_BAR shows "Testing.."
    bool busyCursor = false; // hourglass on the window
};

enum class ToggleResult { Active, Inactive, Failed };

class TestLink {
public:
    static constexpr std::chrono::milliseconds ByteTimeout{4320}; // 0.00005 day

    TestLink(TestPort& port, SteadyClock& clock);

    // Shows a message in the port dialog used as a message box.
    std::function<void(const QString&)> Conferma;
    // The picture changed and must be shown before the next blocking wait.
    std::function<void()> onChanged;

    const TestPicture& picture() const { return pic_; }
    bool portConnected() const { return port_.connected(); }
    std::uint8_t lastByte() const { return last_; }

    void InvioByte(std::uint8_t b);
    // One reply byte within ByteTimeout; on time-out ends the connection with the
    // failure message and returns false.
    bool RiceviByte();
    // Connect handshake on an open port: 0x46, version, status. True when accepted.
    bool connectHub();
    void FermaRic(bool show);
    // Output switch k: the hub toggles the output and reports its new state.
    ToggleResult toggleOutput(TestOutput k);
    // False when the test ended the connection (time-out).
    bool testBars();
    bool testStandBy();

    static QString versionText(std::uint8_t v);
    static const QString FailureMessage;

private:
    // Waits for one byte until the deadline; false when the deadline passed.
    bool waitByte(std::uint8_t& b);
    void setDisconnectedLook();
    void changed() {
        if (onChanged) onChanged();
    }

    TestPort& port_;
    SteadyClock& clock_;
    TestPicture pic_;
    std::uint8_t last_ = 0;
};

} // namespace hub
