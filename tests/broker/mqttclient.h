#pragma once
// A small MQTT 5 client for the broker tests, on libmosquitto with its own
// network thread: each call waits (on a condition, bounded) for the broker's
// answer and returns its reason code, so a test sees what the broker said.
#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <optional>
#include <mutex>
#include <string>
#include <vector>

namespace testmqtt {

using namespace std::chrono_literals;

struct Message {
    std::string topic, payload;
    bool retained = false;
};

struct Tls {
    std::string cafile;    // empty: the system's CA folder only
    std::string capath;
};

inline void initLibrary() {
    static const int once = mosquitto_lib_init();
    (void)once;
}

class Client {
public:
    // A fixed id with cleanSession false keeps the session on the broker
    // (for a day after a disconnect).
    explicit Client(const std::string& id = {}, bool cleanSession = true) : clean_(cleanSession) {
        initLibrary();
        m_ = mosquitto_new(id.empty() ? nullptr : id.c_str(), cleanSession, this);
        mosquitto_int_option(m_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
        mosquitto_connect_v5_callback_set(m_, [](mosquitto*, void* self, int rc, int, const mosquitto_property*) {
            static_cast<Client*>(self)->done([&](Client& c) { c.connack_ = rc; });
        });
        mosquitto_disconnect_v5_callback_set(m_, [](mosquitto*, void* self, int rc, const mosquitto_property*) {
            static_cast<Client*>(self)->done([&](Client& c) {
                c.disconnected_ = true;
                c.disconnectRc_ = rc;
            });
        });
        mosquitto_publish_v5_callback_set(m_, [](mosquitto*, void* self, int mid, int rc, const mosquitto_property*) {
            static_cast<Client*>(self)->done([&](Client& c) { c.acks_[mid] = rc; });
        });
        mosquitto_subscribe_v5_callback_set(m_, [](mosquitto*, void* self, int mid, int n, const int* granted,
                                                   const mosquitto_property*) {
            static_cast<Client*>(self)->done([&](Client& c) { c.acks_[mid] = n > 0 ? granted[0] : -1; });
        });
        mosquitto_message_v5_callback_set(m_, [](mosquitto*, void* self, const mosquitto_message* m,
                                                 const mosquitto_property*) {
            static_cast<Client*>(self)->done([&](Client& c) {
                c.messages_.push_back({m->topic, std::string(static_cast<const char*>(m->payload),
                                                             static_cast<std::size_t>(m->payloadlen)),
                                       m->retain});
            });
        });
    }
    ~Client() {
        if (started_) {
            mosquitto_disconnect(m_);
            mosquitto_loop_stop(m_, true);
        }
        mosquitto_destroy(m_);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Connects and waits for the CONNACK. Returns its reason code (0: in), or
    // -1 when none came (refused at the network or TLS level); reason() says why.
    int connect(int port, const std::string& user, const std::string& password, const Tls* tls = nullptr) {
        if (!user.empty()) mosquitto_username_pw_set(m_, user.c_str(), password.c_str());
        if (tls) {
            const int rc = mosquitto_tls_set(m_, tls->cafile.empty() ? nullptr : tls->cafile.c_str(),
                                             tls->capath.empty() ? nullptr : tls->capath.c_str(), nullptr, nullptr,
                                             nullptr);
            if (rc != MOSQ_ERR_SUCCESS) {
                reason_ = mosquitto_strerror(rc);
                return -1;
            }
        }
        // No reconnecting on its own: a refusal must stay a refusal.
        mosquitto_reconnect_delay_set(m_, 3600, 3600, false);
        mosquitto_property* props = nullptr;
        if (!clean_) mosquitto_property_add_int32(&props, MQTT_PROP_SESSION_EXPIRY_INTERVAL, 86400);
        const int rc = mosquitto_connect_bind_v5(m_, "127.0.0.1", port, 10, nullptr, props);
        mosquitto_property_free_all(&props);
        if (rc != MOSQ_ERR_SUCCESS) {
            reason_ = mosquitto_strerror(rc);
            return -1;
        }
        // Runs the network here until the broker answers, so that a failed
        // TLS handshake comes back as an error instead of a silent retry.
        const auto until = std::chrono::steady_clock::now() + 5s;
        for (;;) {
            const int lrc = mosquitto_loop(m_, 50, 1);
            {
                std::lock_guard lock(mutex_);
                if (connack_ >= 0) break;
                if (disconnected_) {
                    reason_ = std::string("disconnected before the broker answered: ") +
                              mosquitto_strerror(disconnectRc_);
                    return -1;
                }
            }
            if (lrc != MOSQ_ERR_SUCCESS) {
                reason_ = mosquitto_strerror(lrc);
                return -1;
            }
            if (std::chrono::steady_clock::now() >= until) {
                reason_ = "no answer from the broker";
                return -1;
            }
        }
        reason_ = mosquitto_reason_string(connack_);
        if (connack_ == 0) {
            mosquitto_loop_start(m_);
            started_ = true;
        }
        return connack_;
    }

    const std::string& reason() const { return reason_; }

    // The QoS granted, or a failure code (0x80 and up); -1 without an answer.
    int subscribe(const std::string& filter, int qos = 1) {
        int mid = 0;
        if (mosquitto_subscribe_v5(m_, &mid, filter.c_str(), qos, 0, nullptr) != MOSQ_ERR_SUCCESS) return -1;
        return waitAck(mid);
    }

    // QoS 1: the PUBACK's reason code (0: accepted, 0x87: not authorised);
    // -1 without an answer.
    int publish(const std::string& topic, const std::string& payload, bool retain = false) {
        int mid = 0;
        if (mosquitto_publish_v5(m_, &mid, topic.c_str(), int(payload.size()), payload.data(), 1, retain,
                                 nullptr) != MOSQ_ERR_SUCCESS)
            return -1;
        return waitAck(mid);
    }

    // Waits until a message satisfies the test; false after the time-out.
    bool waitFor(const std::function<bool(const Message&)>& test, std::chrono::milliseconds limit = 3s) {
        std::unique_lock lock(mutex_);
        return cond_.wait_for(lock, limit, [&] {
            for (const auto& m : messages_)
                if (test(m)) return true;
            return false;
        });
    }
    bool waitForPayload(const std::string& payload, std::chrono::milliseconds limit = 3s) {
        return waitFor([&](const Message& m) { return m.payload == payload; }, limit);
    }
    // Waits until the broker drops the connection.
    bool waitDisconnected(std::chrono::milliseconds limit = 3s) {
        std::unique_lock lock(mutex_);
        return cond_.wait_for(lock, limit, [&] { return disconnected_; });
    }

    std::vector<Message> messages() {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    bool received(const std::string& payload) {
        for (const auto& m : messages())
            if (m.payload == payload) return true;
        return false;
    }

private:
    template <class F> void done(F f) {
        {
            std::lock_guard lock(mutex_);
            f(*this);
        }
        cond_.notify_all();
    }

    int waitAck(int mid) {
        std::unique_lock lock(mutex_);
        if (!cond_.wait_for(lock, 5s, [&] { return acks_.count(mid) > 0; })) return -1;
        const int rc = acks_[mid];
        acks_.erase(mid);
        return rc;
    }

    mosquitto* m_ = nullptr;
    bool clean_ = true, started_ = false;
    std::mutex mutex_;
    std::condition_variable cond_;
    int connack_ = -1, disconnectRc_ = 0;
    bool disconnected_ = false;
    std::map<int, int> acks_;
    std::vector<Message> messages_;
    std::string reason_;
};

} // namespace testmqtt
