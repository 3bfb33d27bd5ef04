// What libmosquitto alone costs a QoS 1 message on this machine: bursts of B
// messages 30 ms apart (a record's events), each burst corked into one
// segment, the PUBACKs read with the next burst (as the site does) or waited
// for at once (LAZY 0).
//   mqtt PORT BURSTS B [LAZY]
#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>

static int acked = 0, connected = 0;
static void onPublish(struct mosquitto* m, void* o, int mid, int rc, const mosquitto_property* p) {
    (void)m, (void)o, (void)mid, (void)rc, (void)p;
    acked++;
}
static void onConnect(struct mosquitto* m, void* o, int rc, int f, const mosquitto_property* p) {
    (void)m, (void)o, (void)f, (void)p;
    connected = rc == 0;
}
static double cpu(void) {
    struct rusage r;
    getrusage(RUSAGE_SELF, &r);
    return r.ru_utime.tv_sec + r.ru_utime.tv_usec / 1e6 + r.ru_stime.tv_sec + r.ru_stime.tv_usec / 1e6;
}

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    const int port = atoi(argv[1]), bursts = atoi(argv[2]), b = atoi(argv[3]);
    const int lazy = argc > 4 ? atoi(argv[4]) : 1;
    mosquitto_lib_init();
    struct mosquitto* m = mosquitto_new("floor", true, NULL);
    mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_int_option(m, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_int_option(m, MOSQ_OPT_SEND_MAXIMUM, 1000);
    mosquitto_publish_v5_callback_set(m, onPublish);
    mosquitto_connect_v5_callback_set(m, onConnect);
    if (mosquitto_connect(m, "127.0.0.1", port, 10) != MOSQ_ERR_SUCCESS) return 1;
    for (int i = 0; i < 50 && !connected; i++) mosquitto_loop(m, 100, 1);
    if (!connected) return 1;
    const int fd = mosquitto_socket(m);
    char payload[140];
    memset(payload, 'x', sizeof payload);
    const double c0 = cpu();
    int sent = 0;
    for (int k = 0; k < bursts; k++) {
        const int on = 1, off = 0;
        if (lazy) mosquitto_loop_read(m, 1);
        setsockopt(fd, IPPROTO_TCP, TCP_CORK, &on, sizeof on);
        for (int i = 0; i < b; i++, sent++)
            mosquitto_publish_v5(m, NULL, "hub/Floor/event", sizeof payload, payload, 1, false, NULL);
        setsockopt(fd, IPPROTO_TCP, TCP_CORK, &off, sizeof off);
        while (!lazy && acked < sent) {
            struct pollfd p = {fd, POLLIN, 0};
            poll(&p, 1, 1000);
            mosquitto_loop_read(m, 1);
        }
        struct timespec ts = {0, 30 * 1000 * 1000};
        nanosleep(&ts, NULL);
    }
    printf("bursts of %d, PUBACKs %s: %.1f us of CPU a message\n", b, lazy ? "read with the next burst" : "waited for",
           (cpu() - c0) * 1e6 / sent);
    mosquitto_disconnect(m);
    mosquitto_destroy(m);
    return 0;
}
