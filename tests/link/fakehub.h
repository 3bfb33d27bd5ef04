#pragma once
// A scripted hub behind a fake line, on a fake clock: bytes arrive at the
// 4800-baud line rate in fake time, waits jump the clock instead of sleeping.
#include "fakeclock.h"
#include "monitor/hublink.h"
#include "serial/comms.h"

#include <deque>
#include <functional>
#include <map>
#include <vector>

namespace linktest {

using namespace std::chrono_literals;
using hub::SteadyTime;
using testsupport::FakeClock;

class FakeHub : public hub::Line {
public:
    static constexpr std::chrono::microseconds kByte{2083}; // 10 bits at 4800 baud

    explicit FakeHub(FakeClock& c) : clock(c) {}

    // Hub behaviour.
    std::vector<std::uint8_t> answer;            // kind byte + block, after the echo
    std::uint8_t echo = 0x83;
    int recordLength = 12;
    std::function<hub::StateRecord(long)> record = [](long) { return hub::StateRecord{}; };
    std::map<long, std::chrono::microseconds> pauseBefore; // extra gap before record k
    bool streaming = false;
    bool failing = false; // the device vanished: every operation raises

    // What the PC did.
    std::vector<std::pair<SteadyTime, std::uint8_t>> written;
    int reads = 0;
    long recordsSent = 0;

    std::vector<std::uint8_t> writtenBytes() const {
        std::vector<std::uint8_t> v;
        for (auto& w : written) v.push_back(w.second);
        return v;
    }
    // Bytes arrived and unread.
    std::deque<std::uint8_t> queue;
    // Puts bytes on the line from the hub at time t, one byte time apart.
    void arriveAt(SteadyTime t, const std::vector<std::uint8_t>& bytes) {
        for (auto b : bytes) {
            scheduled_.push_back({t, b, t});
            t += kByte;
        }
        lastScheduled_ = std::max(lastScheduled_, t);
    }

    int writeBytes(const std::uint8_t* data, int count) override {
        check("Unable to write to port: 5");
        advance();
        for (int i = 0; i < count; ++i) {
            written.push_back({clock.t, data[i]});
            command(data[i]);
        }
        return count;
    }
    int readBytes(std::uint8_t* data, int count) override {
        check("Unable to read from port: 5");
        advance();
        ++reads;
        int n = 0;
        while (n < count && !queue.empty()) {
            data[n++] = queue.front();
            queue.pop_front();
        }
        return n;
    }
    int inQueCount() override {
        check("Unable to read com status: 5");
        advance();
        return static_cast<int>(queue.size());
    }
    void purgeIn() override {
        check("Unable to purge com: 5");
        advance();
        queue.clear();
    }
    void purgeOut() override { check("Unable to purge com: 5"); }
    // As a real port waits (the line time of the bytes wanted, then what
    // is still missing once more) when lineTimeWaits is set; else at each byte.
    bool lineTimeWaits = false;
    int waits = 0;
    void waitForBytes(int wanted, SteadyTime deadline) override {
        ++waits;
        if (!lineTimeWaits || wanted <= 1) return waitReadable(deadline);
        clock.sleepUntil(std::min(deadline, clock.t + wanted * kByte));
        waitReadable(deadline);
        const int waiting = inQueCount();
        if (waiting > 0 && waiting < wanted) clock.sleepUntil(std::min(deadline, clock.t + (wanted - waiting) * kByte));
    }
    // When the last byte of each record sent so far arrived.
    std::vector<SteadyTime> recordDone;
    void waitReadable(SteadyTime deadline) override {
        check("Unable to read from port: 5");
        advance();
        if (!queue.empty()) return;
        SteadyTime next = deadline;
        if (!scheduled_.empty()) next = std::min(next, scheduled_.front().at);
        clock.sleepUntil(next);
        advance();
    }

private:
    struct Arrival {
        SteadyTime at;
        std::uint8_t byte;
        SteadyTime recordStart; // the record (or answer) it belongs to
    };

    void check(const char* msg) {
        if (failing) throw hub::EComRead(msg, 5);
    }

    void generate(SteadyTime until) {
        while (streaming && streamNext_ <= until) {
            if (auto p = pauseBefore.find(recordsSent); p != pauseBefore.end()) {
                streamNext_ += p->second;
                pauseBefore.erase(p);
            }
            const hub::StateRecord r = record(recordsSent++);
            const SteadyTime start = streamNext_;
            scheduled_.push_back({streamNext_, 0x82, start});
            streamNext_ += kByte;
            for (int i = 0; i < recordLength; ++i) {
                scheduled_.push_back({streamNext_, r[static_cast<size_t>(i)], start});
                streamNext_ += kByte;
            }
            recordDone.push_back(streamNext_);
            lastScheduled_ = streamNext_;
        }
    }

    void advance() {
        generate(clock.t + 100ms);
        while (!scheduled_.empty() && scheduled_.front().at <= clock.t) {
            queue.push_back(scheduled_.front().byte);
            scheduled_.pop_front();
        }
    }

    // Stops the stream: the record on the line is finished, later ones never start.
    void stopStream() {
        streaming = false;
        std::erase_if(scheduled_, [&](const Arrival& a) { return a.recordStart > clock.t; });
        lastScheduled_ = scheduled_.empty() ? clock.t : scheduled_.back().at + kByte;
    }

    void command(std::uint8_t b) {
        const SteadyTime replyAt = std::max(clock.t + 2 * kByte, lastScheduled_);
        if (b == 0x84) stopStream();
        if (b == 0x83) {
            stopStream();
            std::vector<std::uint8_t> reply{echo};
            reply.insert(reply.end(), answer.begin(), answer.end());
            arriveAt(std::max(clock.t + 2 * kByte, lastScheduled_), reply);
        }
        if (b == 0x82) {
            streaming = true;
            streamNext_ = replyAt;
        }
    }

    FakeClock& clock;
    std::deque<Arrival> scheduled_;
    SteadyTime lastScheduled_{};
    SteadyTime streamNext_{};
};

// The main window's side, recorded.
struct FakeHost : hub::HubLinkHost {
    hub::HubState& st;
    explicit FakeHost(hub::HubState& s) : st(s) {}
    int setSW = 0, setTC = 0, repaints = 0;
    std::vector<hub::StateRecord> applied;
    QStringList failures;
    bool riceviSetSW(std::uint8_t, const std::array<std::uint8_t, hub::kSwBlockSize>&) override {
        ++setSW;
        st.stream = {12, 6, 20};
        return true;
    }
    bool riceviSetTC(std::uint8_t, const std::array<std::uint8_t, hub::kTcBlockSize>& b) override {
        ++setTC;
        static const hub::StreamParams bySpeed[] = {{12, 6, 20}, {6, 12, 40}, {3, 24, 60}};
        if (b[43] <= 2) st.stream = bySpeed[b[43]];
        return true;
    }
    void riceviDati(const hub::StateRecord& s) override { applied.push_back(s); }
    void repaint() override { ++repaints; }
    void recordingFailed(const QString& e) override { failures << e; }
};

inline std::vector<std::uint8_t> swAnswer() {
    return {0x41, 0xFF, 0x00, 0x11, 0x22, 0x33, 0x44, 0x0F, 0xE4, 0x10};
}
inline std::vector<std::uint8_t> tcAnswer(std::uint8_t speed) {
    std::vector<std::uint8_t> a(65, 0);
    a[0] = 0x02;
    for (size_t i = 1; i < a.size(); ++i) a[i] = static_cast<std::uint8_t>(0xA0 + i);
    a[1 + 43] = speed;
    return a;
}

} // namespace linktest
