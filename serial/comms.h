#pragma once
// Unit Comms: the serial port component of both programs, TComPort, and its
// event thread TComThread, over POSIX termios. comms.cpp holds the port I/O,
// portlist.cpp the port list and the port descriptions, comthread.cpp the
// event thread.
//
// Reads never block (they return what is waiting), writes are bounded by
// 1000 ms a byte + 1500 ms, and every failure raises one of the exceptions
// below whose message is a fixed prefix and errno in decimal.
#include "serial/line.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QByteArray>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

struct termios;

namespace hub {

// Exceptions: plain exceptions carrying their message.
class EComError : public std::runtime_error {
public:
    EComError(const std::string& msg, int code) : std::runtime_error(msg), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};
class EComHandle : public EComError { using EComError::EComError; };
class EComState : public EComError { using EComError::EComError; };
class EComStatus : public EComError { using EComError::EComError; };
class EComPurge : public EComError { using EComError::EComError; };
class EWriteError : public EComError { using EComError::EComError; };
// Reads, and a device that hung up (cable pulled, adapter removed).
class EComRead : public EComError { using EComError::EComError; };

// Message prefixes, used exactly.
inline constexpr const char* kOpenErrorPrefix = "Unable to open com port: ";
inline constexpr const char* kStateErrorPrefix = "Unable to set com state: ";
inline constexpr const char* kStatusErrorPrefix = "Unable to read com status: ";
inline constexpr const char* kPurgeErrorPrefix = "Unable to purge com: ";
inline constexpr const char* kWriteErrorPrefix = "Unable to write to port: ";
inline constexpr const char* kReadErrorPrefix = "Unable to read from port: ";

// The error code in decimal.
std::string LastErrorText(int code);

enum TBaudRate {
    br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200, br38400,
    br56000, br57600, br115200
};
int baudRateBits(TBaudRate b);

enum TParity { prNone, prOdd, prEven, prMark, prSpace };
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TFlowControl { fcNone, fcRtsCts, fcXonXoff };

// Set order of the line events.
enum TEvent { evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD };
using TEvents = std::uint16_t; // bit (1 << TEvent)
constexpr TEvents eventBit(TEvent e) { return static_cast<TEvents>(1u << e); }
constexpr TEvents kAllEvents = 0x01FF;

// The platform event masks the thread reports (the hub programs' numbering).
enum : std::uint32_t {
    EV_RXCHAR = 0x0001, EV_RXFLAG = 0x0002, EV_TXEMPTY = 0x0004, EV_CTS = 0x0008,
    EV_DSR = 0x0010, EV_RLSD = 0x0020, EV_BREAK = 0x0040, EV_ERR = 0x0080, EV_RING = 0x0100
};
std::uint32_t eventMask(TEvents events);

class TComPort;

// A port of the list with what is known of the device behind it.
struct PortInfo {
    QString name;
    QString description; // empty when nothing is known
};

// Waits for line events while the port is open and has them dispatched on the
// main thread, waiting for each dispatch to finish.
class TComThread {
public:
    explicit TComThread(TComPort* port);
    // Stop, then wait for the body to end.
    ~TComThread();
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    void Stop();
    // Main thread: run a dispatch that the body requested and is waiting for.
    // Close calls this while it waits, so the body always reaches its end.
    void runPendingDispatch();
    // Wakes the body (after a write, so it can tell when the output drained).
    void kick();
    bool wantsTxEmpty() const { return (mask_ & EV_TXEMPTY) != 0; }

private:
    struct Hand;
    void Execute();
    bool requestDispatch(std::uint32_t mask); // false when stopping
    static void dispatchOnMain(TComPort* port, const std::shared_ptr<Hand>& hand);
    static void DispatchEvents(TComPort* port, const std::shared_ptr<Hand>& hand, std::uint32_t mask);

    TComPort* port_;
    int fd_;
    int stopFd_ = -1; // eventfd: the stop event
    std::uint32_t mask_ = 0; // event mask asked for
    std::thread thread_;

    // Dispatch hand-over between the body and the main thread.
    struct Hand {
        std::mutex m;
        std::condition_variable cv;
        bool stopping = false;
        bool pending = false;  // requested, not yet started
        bool running = false;  // running on the main thread
        std::uint32_t mask = 0;
        std::uint64_t done = 0; // dispatches finished
    };
    std::shared_ptr<Hand> hand_;
    friend class TComPort;
};

class TComPort : public QObject, public Line {
    // A QObject so that dispatches can be queued to the main thread.
public:
    explicit TComPort(QObject* parent = nullptr);
    ~TComPort() override;

    // Fields, with their defaults.
    bool Connected() const { return connected_; }
    TBaudRate BaudRate = br9600;
    TParity Parity = prNone;
    TStopBits StopBits = sbOneStopBit;
    TFlowControl FlowControl = fcNone;
    std::uint8_t DataBits() const { return dataBits_; }
    void SetDataBits(int value); // clamped to 5..8
    TEvents Events = kAllEvents;
    bool EnableDTR = true;
    std::int32_t WriteBufSize = 2048;
    std::int32_t ReadBufSize = 2048;
    QString PortName;

    // Events, each raised only if assigned, always on the main thread.
    // hubmonitor and hubtest assign none (they poll from timers), so their
    // event thread only sleeps until Close; only this unit's tests assign them.
    std::function<void(TComPort* sender, int inQue)> OnRxChar;
    std::function<void(TComPort*)> OnTxEmpty, OnBreak, OnRing, OnCTS, OnDSR, OnRLSD, OnError,
        OnRxFlag, OnOpen, OnClose;

    // The hub line: 4800 8N1, no flow control, DTR low.
    void setHubLine();

    void Open();
    void Close();
    void CreateHandle();
    void DestroyHandle();
    bool ValidHandle() const { return fd_ != -1; }
    void ApplySettings();
    // The termios of the fields (cfmakeraw first); ApplySettings applies it.
    // Speeds without a termios constant are left to termios2.
    void fillTermios(termios* t) const;
    int InQueCount();
    int WriteStr(const QByteArray& data);
    int WriteStr(const std::uint8_t* data, int count);
    // Up to count bytes of what is waiting; never waits.
    int ReadStr(QByteArray& data, int count);
    int ReadStr(std::uint8_t* data, int count);
    void PurgeIn();
    void PurgeOut();
    // Appends the machine's serial ports and the running simulated hubs.
    static bool EnumPorts(QStringList& list);
    int PortIndex(const QStringList& list) const;
    // EnumPorts, each port with its portDescription.
    static bool EnumPortInfos(QList<PortInfo>& list);
    // What a person needs to tell the ports apart: a USB adapter's product,
    // maker and serial number; the driver of other hardware; a simulated hub.
    // A port that has a stable name (stableLink) gets it on a line of its own.
    // Empty when nothing is known. The second form reads the given tty class,
    // simulated-hub and by-id folders instead of the machine's.
    static QString portDescription(const QString& portName);
    static QString portDescription(const QString& portName, const QString& sysClassTty,
                                   const QString& simDir, const QString& byIdDir);
    // The link in byIdDir (/dev/serial/by-id) that points at the port's
    // device, empty if none. Unlike ttyUSB0, the link keeps its name when the
    // adapter comes back under another tty, so it is the name to give
    // hubmonitor --port for unattended reopening.
    static QString stableLink(const QString& portName);
    static QString stableLink(const QString& portName, const QString& byIdDir);

    int handle() const { return fd_; }

    // Line
    int writeBytes(const std::uint8_t* data, int count) override { return WriteStr(data, count); }
    // Without ReadStr's hang-up check: waitReadable, which follows every empty
    // read of the protocol, makes it.
    int readBytes(std::uint8_t* data, int count) override { return readWaiting(data, count, false); }
    int inQueCount() override { return InQueCount(); }
    void purgeIn() override { PurgeIn(); }
    void purgeOut() override { PurgeOut(); }
    void waitReadable(SteadyTime deadline) override;
    void waitForBytes(int wanted, SteadyTime deadline) override;

    // Where real devices are looked up (tests point these at fixtures).
    static QString sysClassTtyDir();
    // The folder where running simulated hubs publish their links.
    static QString simulatedHubDir();
    // Where udev keeps the serial devices' stable links.
    static QString serialByIdDir();
    // Device path for a port name: a name without "/" lives in /dev.
    static QString devicePath(const QString& portName);

private:
    friend class TComThread;
    int readWaiting(std::uint8_t* data, int count, bool checkHangUp);
    int fd_ = -1;
    std::unique_ptr<TComThread> thread_;
    bool connected_ = false;
    std::uint8_t dataBits_ = 8;
};

} // namespace hub
