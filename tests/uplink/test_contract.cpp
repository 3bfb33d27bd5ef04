// The payloads written by hand: the same time text as Qt's own formatting,
// and payloads a JSON reader takes back field for field.
#include "monitor/elementevents.h"
#include "uplink/contract.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

QString qtTime(const QDateTime& t) {
    return t.isValid() ? t.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ")) : QString();
}

TEST(Contract, TimesAreTheUtcTextWithMillisecondsWhateverTheZoneOrEra) {
    const QDateTime cases[] = {
        QDateTime::fromMSecsSinceEpoch(0, Qt::UTC),
        QDateTime::fromMSecsSinceEpoch(-1, Qt::UTC),     // the last millisecond of 1969
        QDateTime::fromMSecsSinceEpoch(-86400001, Qt::UTC),
        QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59, 999), Qt::UTC),
        QDateTime(QDate(2026, 12, 8), QTime(3, 12, 45, 120), Qt::UTC),
        QDateTime(QDate(2026, 3, 29), QTime(2, 30, 0, 7), QTimeZone(3600 * 2)), // an offset zone
        QDateTime(QDate(2026, 7, 1), QTime(12, 0, 0, 1), Qt::LocalTime),
        QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC), // the recordings' day 0
        QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC),
        QDateTime(QDate(10000, 1, 1), QTime(0, 0), Qt::UTC), // beyond four digits
        QDateTime(),
    };
    for (const QDateTime& t : cases)
        EXPECT_EQ(hub::uplinkTime(t), qtTime(t)) << t.toMSecsSinceEpoch();
}

TEST(Contract, EventAndStatePayloadsReadBackFieldForField) {
    const QDateTime t(QDate(2026, 12, 8), QTime(3, 12, 45, 120), Qt::UTC);
    const hub::StateRecord rec{0x00, 0x01, 0x7F, 0x80, 0xFF, 0x10, 0xA5, 0x5A, 0x00, 0x0F, 0xF0, 0x33};
    const hub::UplinkEvent cases[] = {
        {1, t, 1, 1, true, -1, rec},
        {9007199254740992ull, t, 8, hub::Element::Alarm, false, -1, rec},
        {42, t, 3, hub::Element::Power, true, 3, std::nullopt},
        {7, t, 5, hub::Element::Blind, true, -1, std::nullopt},
    };
    for (const hub::UplinkEvent& e : cases) {
        const QByteArray p = hub::eventPayload(e);
        const auto back = hub::parseEvent(p);
        ASSERT_TRUE(back.has_value()) << p.constData();
        EXPECT_EQ(back->seq, e.seq) << p.constData();
        EXPECT_EQ(back->time, e.time) << p.constData();
        EXPECT_EQ(back->barrier, e.barrier);
        EXPECT_EQ(back->element, e.element);
        EXPECT_EQ(back->on, e.on);
        const QJsonObject o = QJsonDocument::fromJson(p).object();
        EXPECT_EQ(o.value(QStringLiteral("record")).toString(),
                  e.record ? QStringLiteral("00017F80FF10A55A000FF033") : QString())
            << p.constData();
        EXPECT_EQ(o.value(QStringLiteral("element")).toString(), hub::elementName(e.element));
        EXPECT_EQ(o.contains(QStringLiteral("level")), e.element == hub::Element::Power);
    }

    // The state, as a JSON object of the same fields is written.
    QJsonObject s;
    s.insert(QStringLiteral("v"), 1);
    s.insert(QStringLiteral("record"), QStringLiteral("00017F80FF10A55A000FF033"));
    s.insert(QStringLiteral("time"), QStringLiteral("2026-12-08T03:12:45.120Z"));
    s.insert(QStringLiteral("seq"), 123456);
    EXPECT_EQ(hub::statePayload(rec, t, 123456), QJsonDocument(s).toJson(QJsonDocument::Compact));
}

} // namespace
