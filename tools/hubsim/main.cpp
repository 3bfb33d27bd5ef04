// hubsim: a simulated hub on a pseudo-terminal. Prints the path of its link
// (also listed by the programs' port list) and runs until SIGINT or SIGTERM.
#include "hubsim.h"
#include "monitorprotocol.h"
#include "testprotocol.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

using namespace hubsim;

namespace {

// --help prints to stdout (it was asked for); a bad option's usage goes to stderr.
void usage(FILE* to) {
    std::fputs(
        "usage: hubsim [options]\n"
        "  --link NAME          link name in the simulated hubs' folder, or a path (default hub-PID)\n"
        "  --kind sw|tc         hub kind (default sw)\n"
        "  --speed 0|1|2        TC speed: records of 12, 6 or 3 bytes\n"
        "  --couples MASK       couples present, A=1 B=2 C=4 D=8 (default 15)\n"
        "  --beams a,b,c,d      beam-count codes per couple, 0..3 (default 3,3,3,3)\n"
        "  --ranges MASK        50-m range flags, A=8 B=4 C=2 D=1\n"
        "  --versions v1,..,v8  barrier versions 0..15\n"
        "  --power a,b,c,d      power per couple 0..3\n"
        "  --options BYTE       hub options (SW) or couple options (TC)\n"
        "  --name TEXT          TC hub name (8 characters)\n"
        "  --hub-version N      version bits of the kind byte, 0..3\n"
        "  --test-mode          kind byte with the test flag\n"
        "  --events random|FILE.dat   event source (default random)\n"
        "  --seed N             random events seed\n"
        "  --event-every N      random: one change in N records on average (default 10)\n"
        "  --rate R             replay: time scale (2 = twice as fast)\n"
        "  --churn-every N      every Nth record also changes all its bytes\n"
        "  --silent-after N     each stream goes quiet after N records\n"
        "  --garbage-every N    every Nth record has a wrong marker\n"
        "  --wrong-echo         answer 0x83 with a wrong first byte\n"
        "  --stall MS           one pause of MS ms in the stream (after --stall-after N, default 20)\n"
        "  --vanish-after N     close the pty after N records\n"
        "  --log FILE           log every block and record sent\n",
        to);
    std::fputs(testUsage(), to);
}

long num(const char* s) { return std::strtol(s, nullptr, 0); }

template <size_t N>
bool list(const char* s, std::array<int, N>& out) {
    size_t i = 0;
    for (const char* p = s; *p && i < N; ++i) {
        char* end = nullptr;
        out[i] = static_cast<int>(std::strtol(p, &end, 0));
        if (end == p) return false;
        p = (*end == ',') ? end + 1 : end;
    }
    return i == N;
}

} // namespace

int main(int argc, char** argv) {
    MonitorConfig cfg;
    TestConfig testCfg;
    std::string link = "hub-" + std::to_string(::getpid());
    std::string logPath;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "hubsim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        bool ok = true;
        if (a == "--link") link = next();
        else if (a == "--kind") {
            const std::string k = next();
            ok = k == "sw" || k == "tc";
            cfg.inst.sw = k == "sw";
        } else if (a == "--speed") cfg.inst.speed = static_cast<int>(num(next()));
        else if (a == "--couples") cfg.inst.couples = static_cast<std::uint8_t>(num(next()));
        else if (a == "--beams") ok = list(next(), cfg.inst.beamCodes);
        else if (a == "--ranges") cfg.inst.ranges = static_cast<std::uint8_t>(num(next()));
        else if (a == "--versions") ok = list(next(), cfg.inst.versions);
        else if (a == "--power") ok = list(next(), cfg.inst.power);
        else if (a == "--options") cfg.inst.options = static_cast<std::uint8_t>(num(next()));
        else if (a == "--name") cfg.inst.name = next();
        else if (a == "--hub-version") cfg.inst.version = static_cast<int>(num(next()));
        else if (a == "--test-mode") cfg.inst.testMode = true;
        else if (a == "--events") {
            const std::string e = next();
            cfg.events.file = e == "random" ? std::string() : e;
        } else if (a == "--seed") cfg.events.seed = static_cast<unsigned>(num(next()));
        else if (a == "--event-every") cfg.events.everyRecords = std::max(1, static_cast<int>(num(next())));
        else if (a == "--churn-every") cfg.events.churnEvery = std::max(0, static_cast<int>(num(next())));
        else if (a == "--rate") {
            cfg.events.rate = std::strtod(next(), nullptr);
            ok = cfg.events.rate > 0;
        } else if (a == "--silent-after") cfg.faults.silentAfter = num(next());
        else if (a == "--garbage-every") cfg.faults.garbageEvery = num(next());
        else if (a == "--wrong-echo") cfg.faults.wrongEcho = true;
        else if (a == "--stall") cfg.faults.stallMs = static_cast<int>(num(next()));
        else if (a == "--stall-after") cfg.faults.stallAfter = num(next());
        else if (a == "--vanish-after") cfg.faults.vanishAfter = num(next());
        else if (a == "--log") logPath = next();
        else if (parseTestOption(a, next, testCfg, ok)) {
        } else if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        } else ok = false;
        if (!ok) {
            std::fprintf(stderr, "hubsim: bad option or value: %s\n", a.c_str());
            usage(stderr);
            return 2;
        }
    }
    if (!logPath.empty()) {
        cfg.log = std::fopen(logPath.c_str(), "w");
        if (!cfg.log) {
            std::perror(logPath.c_str());
            return 1;
        }
    }

    HubSim sim;
    std::string error;
    if (!registerMonitorProtocol(sim, cfg, &error)) {
        std::fprintf(stderr, "hubsim: %s\n", error.c_str());
        return 1;
    }
    registerTestProtocol(sim, testCfg);
    if (!sim.open(link, &error)) {
        std::fprintf(stderr, "hubsim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", sim.linkPath().c_str());
    std::fflush(stdout);
    const int rc = sim.run();
    if (cfg.log) std::fclose(cfg.log);
    return rc;
}
