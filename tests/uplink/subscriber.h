#pragma once
// The control room's side in a test: a libmosquitto client on its own
// network thread that keeps every message it gets, reconnecting by itself.
#include <mosquitto.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

struct Received {
    std::string topic, payload;
    bool retained = false;
    std::chrono::steady_clock::time_point at;
};

class Subscriber {
public:
    // id empty: clean session; otherwise a persistent one under that id.
    Subscriber(int port, std::vector<std::string> filters, const std::string& id = {},
               const std::string& user = {}, const std::string& password = {})
        : filters_(std::move(filters)) {
        mosquitto_lib_init();
        m_ = mosquitto_new(id.empty() ? nullptr : id.c_str(), id.empty(), this);
        if (!user.empty()) mosquitto_username_pw_set(m_, user.c_str(), password.c_str());
        mosquitto_reconnect_delay_set(m_, 1, 1, false);
        mosquitto_connect_callback_set(m_, [](mosquitto* m, void* self, int rc) {
            auto* s = static_cast<Subscriber*>(self);
            if (rc != 0) return;
            for (const auto& f : s->filters_) mosquitto_subscribe(m, nullptr, f.c_str(), 1);
            std::lock_guard<std::mutex> l(s->mu_);
            ++s->connects_;
            s->cv_.notify_all();
        });
        mosquitto_subscribe_callback_set(m_, [](mosquitto*, void* self, int, int, const int*) {
            auto* s = static_cast<Subscriber*>(self);
            std::lock_guard<std::mutex> l(s->mu_);
            ++s->subscribed_;
            s->cv_.notify_all();
        });
        mosquitto_message_callback_set(m_, [](mosquitto*, void* self, const mosquitto_message* msg) {
            auto* s = static_cast<Subscriber*>(self);
            std::lock_guard<std::mutex> l(s->mu_);
            s->got_.push_back({msg->topic, std::string(static_cast<const char*>(msg->payload), size_t(msg->payloadlen)),
                               msg->retain, std::chrono::steady_clock::now()});
            s->cv_.notify_all();
        });
        mosquitto_connect_async(m_, "127.0.0.1", port, 10);
        mosquitto_loop_start(m_);
    }
    ~Subscriber() {
        mosquitto_disconnect(m_);
        mosquitto_loop_stop(m_, false);
        mosquitto_destroy(m_);
    }
    Subscriber(const Subscriber&) = delete;
    Subscriber& operator=(const Subscriber&) = delete;

    // Waits (without spinning) until every filter is subscribed.
    bool waitSubscribed(std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        std::unique_lock<std::mutex> l(mu_);
        return cv_.wait_for(l, limit, [&] { return subscribed_ >= int(filters_.size()); });
    }
    bool waitFor(const std::function<bool(const std::vector<Received>&)>& done,
                 std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock<std::mutex> l(mu_);
        return cv_.wait_for(l, limit, [&] { return done(got_); });
    }
    std::vector<Received> received() {
        std::lock_guard<std::mutex> l(mu_);
        return got_;
    }
    std::vector<Received> on(const std::string& topic) {
        std::vector<Received> r;
        for (auto& m : received())
            if (m.topic == topic) r.push_back(m);
        return r;
    }
    void publish(const std::string& topic, const std::string& payload) {
        mosquitto_publish(m_, nullptr, topic.c_str(), int(payload.size()), payload.data(), 1, false);
    }

private:
    mosquitto* m_ = nullptr;
    std::vector<std::string> filters_;
    std::mutex mu_;
    std::condition_variable cv_;
    std::vector<Received> got_;
    int connects_ = 0;
    int subscribed_ = 0;
};

} // namespace testsupport
