// The control room's reading of the broker: any topic, any payload, in any
// order, as a damaged, hostile or confused site could send them. The site table
// must never crash, must hand each event number of a site on at most once,
// and its numbering must only move forwards.
#include "hubroom/sites.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>

namespace {

const char* const kNames[] = {"status", "link", "settings", "state", "event", "ack", "resend", "x"};
const char* const kSites[] = {"north", "south-1", "a_b", "bad/site"};

// An event payload from a few bytes, so that the numbering logic is reached
// far more often than by random JSON.
QByteArray eventFrom(const std::uint8_t* p) {
    return QStringLiteral(R"({"v":%1,"seq":%2,"time":"2026-12-08T03:12:45.%3Z","barrier":%4,)"
                          R"("element":"%5","on":%6})")
        .arg(p[0] & 0x80 ? 2 : 1)
        .arg(p[1] % 40)
        .arg(p[2] % 1000, 3, 10, QLatin1Char('0'))
        .arg(p[3] % 10)
        .arg(p[4] % 3 == 0 ? QStringLiteral("alarm") : QStringLiteral("beam%1").arg(p[4] % 9))
        .arg(p[5] & 1 ? QStringLiteral("true") : QStringLiteral("false"))
        .toUtf8();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    hub::room::SiteTable table(QStringLiteral("hub"), 1);
    std::map<QString, std::set<std::uint64_t>> handedOn;
    std::map<QString, std::uint64_t> contiguous;
    qint64 now = 0;
    size_t i = 0;
    while (i + 2 <= size) {
        const std::uint8_t k = data[i];
        const size_t len = std::min<size_t>(data[i + 1], size - i - 2);
        const std::uint8_t* p = data + i + 2;
        i += 2 + len;
        const QString topic = QStringLiteral("hub/%1/%2")
                                  .arg(QLatin1String(kSites[(k >> 3) & 3]), QLatin1String(kNames[k & 7]));
        QByteArray payload;
        if ((k & 0x80) && len >= 6)
            payload = eventFrom(p);
        else
            payload = QByteArray(reinterpret_cast<const char*>(p), qsizetype(len));
        now += (k & 0x20) ? 1500 : 7;

        const hub::room::Handled h = table.handle((k & 0x40) ? QStringLiteral("hub/") : topic, payload, now);
        if (h.event) {
            if (h.duplicate) std::abort();
            if (h.event->barrier < 1 || h.event->barrier > 8) std::abort();
            if (h.event->element < 1 || h.event->element > 15) std::abort();
            if (!handedOn[h.site].insert(h.event->seq).second) std::abort(); // an event twice
        }
        if (const hub::room::Site* s = table.site(h.site)) {
            if (s->contiguous < contiguous[h.site]) std::abort(); // numbering went back
            contiguous[h.site] = s->contiguous;
        }
        if ((k & 0x18) == 0x18) table.tick(now);
    }
    return 0;
}
