#include "monitorprotocol.h"

#include "monitor/datafile.h"

#include <memory>
#include <random>

namespace hubsim {

namespace {

constexpr std::uint8_t kStop = 0x84;
constexpr std::uint8_t kSettings = 0x83;
constexpr std::uint8_t kStream = 0x82;

int beamsOfCode(int code) {
    static const int beams[] = {2, 6, 4, 8};
    return beams[code & 3];
}

void logBytes(std::FILE* log, char tag, const std::uint8_t* p, size_t n) {
    if (!log) return;
    std::fputc(tag, log);
    std::fputc(' ', log);
    for (size_t i = 0; i < n; ++i) std::fprintf(log, "%02x", p[i]);
    std::fputc('\n', log);
    std::fflush(log);
}

struct StreamState {
    MonitorConfig cfg;
    int recordLength = 12;
    bool streaming = false;
    long inStream = 0;
    long total = 0;
    bool stallDone = false;
    bool vanishPending = false;
    Clock::time_point stallUntil{};
    hub::StateRecord state{};
    std::mt19937 rng;
    // Replay of a recording: seconds from its first state record, and the state.
    std::vector<std::pair<double, hub::StateRecord>> script;
    size_t scriptPos = 0;
    bool scriptStarted = false;
    Clock::time_point scriptStart{};

    void randomEvent() {
        const int coupleLimit = recordLength / 3; // couples the record carries
        std::vector<int> couples;
        for (int j = 0; j < coupleLimit; ++j)
            if (cfg.inst.couples & (1 << j)) couples.push_back(j);
        if (couples.empty()) return;
        if (std::uniform_int_distribution<int>(1, cfg.events.everyRecords)(rng) != 1) return;
        const int j = couples[std::uniform_int_distribution<size_t>(0, couples.size() - 1)(rng)];
        const int which = std::uniform_int_distribution<int>(0, 2)(rng);
        if (which < 2) {
            const int beams = beamsOfCode(cfg.inst.beamCodes[static_cast<size_t>(j)]);
            state[static_cast<size_t>(3 * j + which)] ^= static_cast<std::uint8_t>(
                1u << std::uniform_int_distribution<int>(0, beams - 1)(rng));
        } else {
            state[static_cast<size_t>(3 * j + 2)] ^=
                static_cast<std::uint8_t>(1u << std::uniform_int_distribution<int>(0, 7)(rng));
        }
    }

    // Every byte of the record takes a new value: the busiest a display can be.
    void churn() {
        for (int i = 0; i < recordLength; ++i)
            state[static_cast<size_t>(i)] ^= static_cast<std::uint8_t>(std::uniform_int_distribution<int>(1, 255)(rng));
    }

    void scriptEvent(Clock::time_point now) {
        if (!scriptStarted) {
            scriptStarted = true;
            scriptStart = now;
        }
        const double elapsed = std::chrono::duration<double>(now - scriptStart).count() * cfg.events.rate;
        while (scriptPos < script.size() && script[scriptPos].first <= elapsed)
            state = script[scriptPos++].second;
    }

    Clock::time_point produce(HubSim& sim, Clock::time_point now) {
        if (vanishPending) {
            if (sim.pending() == 0) sim.vanish();
            return now + std::chrono::milliseconds(2);
        }
        if (!streaming) return Clock::time_point::max();
        if (now < stallUntil) return stallUntil;
        // The next record follows the last one without a gap, as on the real line.
        if (sim.pending() > 2) return now + std::chrono::milliseconds(4);
        const Faults& f = cfg.faults;
        if (f.silentAfter >= 0 && inStream >= f.silentAfter) return Clock::time_point::max();
        if (!stallDone && f.stallMs > 0 && total == f.stallAfter) {
            stallDone = true;
            stallUntil = now + std::chrono::milliseconds(f.stallMs);
            return stallUntil;
        }
        if (script.empty() && cfg.events.file.empty()) randomEvent();
        else scriptEvent(now);
        if (cfg.events.churnEvery > 0 && (total + 1) % cfg.events.churnEvery == 0) churn();

        std::uint8_t rec[13];
        const bool garbage = f.garbageEvery > 0 && (total + 1) % f.garbageEvery == 0;
        rec[0] = garbage ? 0x00 : kStream;
        std::copy_n(state.begin(), recordLength, rec + 1);
        sim.send(rec, static_cast<size_t>(recordLength + 1));
        logBytes(cfg.log, garbage ? 'G' : 'R', state.data(), state.size());
        ++inStream;
        ++total;
        if (f.vanishAfter >= 0 && total >= f.vanishAfter) vanishPending = true;
        return now + std::chrono::milliseconds(4);
    }
};

} // namespace

int recordLength(const Installation& inst) {
    if (inst.sw) return 12;
    static const int lengths[] = {12, 6, 3};
    return (inst.speed >= 0 && inst.speed <= 2) ? lengths[inst.speed] : 12;
}

std::vector<std::uint8_t> settingsAnswer(const Installation& inst) {
    const auto& c = inst.beamCodes;
    const std::uint8_t codes = static_cast<std::uint8_t>(((c[0] & 3) << 6) | ((c[1] & 3) << 4) |
                                                         ((c[2] & 3) << 2) | (c[3] & 3));
    auto nibbles = [&](int k) {
        return static_cast<std::uint8_t>(((inst.versions[static_cast<size_t>(k)] & 15) << 4) |
                                         (inst.versions[static_cast<size_t>(k + 1)] & 15));
    };
    std::uint8_t kind = static_cast<std::uint8_t>((inst.version & 3) | (inst.testMode ? 0x80 : 0));
    std::vector<std::uint8_t> out;
    if (inst.sw) {
        kind |= 0x40;
        const auto& p = inst.power;
        out = {kind,       codes,      inst.ranges, nibbles(0), nibbles(2),
               nibbles(4), nibbles(6), static_cast<std::uint8_t>(inst.couples & 0x0F),
               static_cast<std::uint8_t>((p[0] & 3) | ((p[1] & 3) << 2) | ((p[2] & 3) << 4) | ((p[3] & 3) << 6)),
               inst.options};
        return out;
    }
    std::vector<std::uint8_t> b(64, 0);
    b[0] = codes;
    b[1] = inst.ranges;
    for (int k = 0; k < 4; ++k) b[static_cast<size_t>(2 + k)] = nibbles(2 * k);
    for (size_t j = 0; j < 4; ++j) {
        b[6 + j] = inst.options;
        b[10 + j] = 20;                                   // time of alarm: 1 s
        b[26 + j] = static_cast<std::uint8_t>(inst.power[j]);
        b[30 + j] = 5;                                    // one-beam delay
        b[34 + j] = 10;                                   // more-beams delay
        b[38 + j] = (inst.couples & (1 << j)) ? 1 : 0;
    }
    b[43] = static_cast<std::uint8_t>(inst.speed);
    for (size_t i = 0; i < 8; ++i) b[44 + i] = i < inst.name.size() ? static_cast<std::uint8_t>(inst.name[i]) : ' ';
    out.push_back(kind);
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

bool registerMonitorProtocol(HubSim& sim, const MonitorConfig& config, std::string* error) {
    auto st = std::make_shared<StreamState>();
    st->cfg = config;
    st->recordLength = recordLength(config.inst);
    st->rng.seed(config.events.seed);
    if (!config.events.file.empty()) {
        hub::DataFileReader reader;
        QString err;
        if (!reader.open(QString::fromStdString(config.events.file), &err)) {
            *error = config.events.file + ": " + err.toStdString();
            return false;
        }
        double start = 0;
        if (!reader.readStart(start)) {
            *error = config.events.file + ": not a recording";
            return false;
        }
        hub::DataRecord r;
        double first = -1;
        while (reader.next(r)) {
            if (r.type != hub::kRecordState) continue;
            if (first < 0) first = r.time;
            st->script.emplace_back((r.time - first) * 86400.0, r.state);
        }
    }

    sim.on(kStop, [st](HubSim&, std::uint8_t) { st->streaming = false; });
    sim.on(kSettings, [st](HubSim& s, std::uint8_t) {
        st->streaming = false;
        std::vector<std::uint8_t> answer = settingsAnswer(st->cfg.inst);
        const std::uint8_t echo = st->cfg.faults.wrongEcho ? 0x00 : kSettings;
        s.send(echo);
        s.send(answer.data(), answer.size());
        logBytes(st->cfg.log, 'S', answer.data(), answer.size());
    });
    sim.on(kStream, [st](HubSim&, std::uint8_t) {
        st->streaming = true;
        st->inStream = 0;
    });
    sim.addProducer([st](HubSim& s, Clock::time_point now) { return st->produce(s, now); });
    return true;
}

} // namespace hubsim
