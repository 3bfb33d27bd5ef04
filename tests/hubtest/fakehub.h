#pragma once
// A scripted hub behind a fake port, on a fake clock: every command byte pops
// the next scripted reply for it; a command without one meets silence.
#include "fakeclock.h"
#include "hubtest/testlink.h"

#include <algorithm>
#include <deque>
#include <map>
#include <stdexcept>
#include <vector>

namespace hubtest_fake {

using namespace std::chrono_literals;
using hub::SteadyTime;

using testsupport::FakeClock;

struct Reply {
    std::vector<std::uint8_t> bytes;
    std::chrono::milliseconds delay{20}; // from the command to the first byte
    std::chrono::milliseconds gap{2};    // between the reply's bytes
};

class FakePort final : public hub::TestPort, public hub::Line {
public:
    explicit FakePort(FakeClock& c) : clock(c) {}

    // Script.
    void reply(std::uint8_t cmd, std::vector<std::uint8_t> bytes,
               std::chrono::milliseconds delay = 20ms, std::chrono::milliseconds gap = 2ms) {
        script[cmd].push_back({std::move(bytes), delay, gap});
    }
    // The hub every test starts from: version 0x85, accepted, nothing in
    // stand-by, every barrier answering.
    void acceptConnection(std::uint8_t version = 0x85) {
        reply(0x46, {version, 0x21});
        reply(0x51, {0x00, 0x21});
        reply(0x50, {0xFF, 0x21});
    }

    // TestPort.
    void open(const QString& n) override {
        name = n;
        if (failOpen) throw std::runtime_error("Unable to open com port: 2");
        ++opens;
        isOpen = true;
    }
    void close() override {
        if (!isOpen) return;
        ++closes;
        isOpen = false;
    }
    bool connected() const override { return isOpen; }
    QString portName() const override { return name; }
    QStringList enumPorts() override { return ports; }
    QString portDescription(const QString& n) override {
        const auto it = descriptions.find(n);
        return it == descriptions.end() ? QString() : it->second;
    }
    hub::Line& line() override { return *this; }

    // Line.
    int writeBytes(const std::uint8_t* d, int n) override {
        if (!isOpen) throw std::runtime_error("write on a closed port");
        if (failWrite) throw std::runtime_error("Unable to write to port: 5");
        for (int i = 0; i < n; ++i) {
            written.push_back(d[i]);
            writeTimes.push_back(clock.elapsed());
            auto& q = script[d[i]];
            if (q.empty()) continue;
            Reply r = q.front();
            q.pop_front();
            SteadyTime at = clock.t + r.delay;
            for (std::uint8_t b : r.bytes) {
                arrivals.push_back({at, b});
                at += r.gap;
            }
        }
        return n;
    }
    int readBytes(std::uint8_t* d, int n) override {
        ++reads;
        int k = 0;
        while (k < n && !arrivals.empty() && arrivals.front().first <= clock.t) {
            d[k++] = arrivals.front().second;
            arrivals.pop_front();
        }
        return k;
    }
    int inQueCount() override {
        return static_cast<int>(std::count_if(arrivals.begin(), arrivals.end(),
                                              [&](auto& a) { return a.first <= clock.t; }));
    }
    void purgeIn() override {
        ++purgesIn;
        arrivals.clear();
    }
    void purgeOut() override { ++purgesOut; }
    void waitReadable(SteadyTime deadline) override {
        ++waits;
        SteadyTime until = deadline;
        if (!arrivals.empty()) until = std::min(until, arrivals.front().first);
        clock.sleepUntil(until);
    }

    FakeClock& clock;
    std::map<std::uint8_t, std::deque<Reply>> script;
    std::deque<std::pair<SteadyTime, std::uint8_t>> arrivals;
    std::vector<std::uint8_t> written;
    std::vector<std::chrono::milliseconds> writeTimes;
    QStringList ports;
    std::map<QString, QString> descriptions;
    QString name;
    bool isOpen = false, failOpen = false, failWrite = false;
    int opens = 0, closes = 0, reads = 0, waits = 0, purgesIn = 0, purgesOut = 0;
};

} // namespace hubtest_fake
