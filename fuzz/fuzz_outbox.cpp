// The outbox journal read from any bytes, as after a crash, a full disk or a
// damaged disk: the reader must stop at the first entry it cannot trust, and
// what it keeps must read back the same. The journal is then opened for real,
// appended to and read again: the append must land where the next read finds
// it. The contract's payload readers get the same bytes.
#include "fuzzsupport.h"
#include "uplink/contract.h"
#include "uplink/outbox.h"

#include <QFile>

using namespace fuzzsupport;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const hub::OutboxContents c = hub::readOutbox(bytes);
    if (c.validHeader && !bytes.isEmpty()) {
        if (c.goodBytes > size) std::abort();
        // What was kept reads back the same.
        const hub::OutboxContents again = hub::readOutbox(bytes.left(qsizetype(c.goodBytes)));
        if (again.goodBytes != c.goodBytes || again.nextSeq != c.nextSeq ||
            again.unconfirmed.size() != c.unconfirmed.size())
            std::abort();
        std::uint64_t prev = 0;
        for (const auto& e : c.unconfirmed) {
            if (e.seq <= prev || e.seq >= c.nextSeq) std::abort();
            prev = e.seq;
        }
        // Opened for real: a damaged tail is cut, and the next append is read back.
        const QString path = scratchPath("fuzz.outbox");
        {
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
            f.write(bytes);
        }
        hub::Outbox o;
        QString error;
        if (o.open(path, &error)) {
            if (o.nextSeq() != c.nextSeq) std::abort();
            const std::uint64_t seq = o.append([](std::uint64_t) { return QByteArray("{}"); }, &error);
            hub::Outbox reread;
            if (!reread.open(path, &error) || !reread.payload(seq) || reread.nextSeq() != seq + 1) std::abort();
        }
    }
    (void)hub::parseEvent(bytes);
    (void)hub::parseAck(bytes);
    (void)hub::parseResend(bytes);
    return 0;
}
