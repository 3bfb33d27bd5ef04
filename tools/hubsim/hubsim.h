#pragma once
// The simulated hub: a pseudo-terminal whose master side this program drives
// like the hub's firmware. Command bytes from the PC go through a dispatch table
// (one handler a command byte), so each protocol registers its own commands in
// its own file; everything the hub sends is paced at the real line rate.
#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace hubsim {

using Clock = std::chrono::steady_clock;

class HubSim {
public:
    using Handler = std::function<void(HubSim&, std::uint8_t command)>;
    // Called on every loop turn: protocols produce their output here and say
    // when they next want to run (Clock::time_point::max() for "on input only").
    using Producer = std::function<Clock::time_point(HubSim&, Clock::time_point now)>;

    explicit HubSim(int baud = 4800);
    ~HubSim();

    // Creates the pty and publishes the link (linkName: a file name in the
    // simulated hubs' folder, or a path). Returns false with a message.
    bool open(const std::string& linkName, std::string* error);
    const std::string& linkPath() const { return link_; }
    const std::string& slavePath() const { return slave_; }

    void on(std::uint8_t command, Handler h) { handlers_[command] = std::move(h); }
    void addProducer(Producer p) { producers_.push_back(std::move(p)); }

    // Queues bytes for the line; they leave at the line rate.
    void send(const std::uint8_t* data, size_t n);
    void send(std::uint8_t b) { send(&b, 1); }
    // Drops what has not left yet.
    void dropOutput() { out_.clear(); }
    size_t pending() const { return out_.size(); }
    // Closes the pty and removes the link: the device disappears.
    void vanish();
    bool vanished() const { return master_ < 0; }

    // Runs until SIGINT/SIGTERM (installed by run()); removes the link at the end.
    int run();

private:
    void readCommands();
    void writePaced(Clock::time_point now);
    void removeLink();

    int master_ = -1;
    int slaveKeep_ = -1; // keeps the pty alive while no client has it open
    std::string slave_, link_;
    std::array<Handler, 256> handlers_{};
    std::vector<Producer> producers_;
    std::deque<std::uint8_t> out_;
    Clock::duration byteTime_;
    Clock::time_point nextDue_{};
};

} // namespace hubsim
