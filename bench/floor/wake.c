// CPU of one sleep and wake-up of a thread on this machine: 1000 sleeps of
// 30 ms, the pace of a record on the line.
#include <stdio.h>
#include <sys/resource.h>
#include <time.h>

static double cpu(void) {
    struct rusage r;
    getrusage(RUSAGE_SELF, &r);
    return r.ru_utime.tv_sec + r.ru_utime.tv_usec / 1e6 + r.ru_stime.tv_sec + r.ru_stime.tv_usec / 1e6;
}

int main(void) {
    const double c0 = cpu();
    for (int i = 0; i < 1000; i++) {
        struct timespec ts = {0, 30 * 1000 * 1000};
        nanosleep(&ts, NULL);
    }
    printf("sleep and wake-up: %.1f us of CPU each\n", (cpu() - c0) * 1e6 / 1000);
    return 0;
}
