#include "hubroom/roomtexts.h"

namespace hub::room {

QString statusText(SiteStatus s, bool it) {
    switch (s) {
    case SiteStatus::Online: return tr2(it, "online", "in linea");
    case SiteStatus::Offline: return tr2(it, "offline", "fuori linea");
    case SiteStatus::Lost: return tr2(it, "LOST", "PERSO");
    case SiteStatus::Unknown: break;
    }
    return tr2(it, "unknown", "sconosciuto");
}

QString linkText(const QString& link, bool it) {
    if (link == QLatin1String("receiving")) return tr2(it, "receiving", "in ricezione");
    if (link == QLatin1String("nodata")) return tr2(it, "no data", "nessun dato");
    if (link == QLatin1String("stopped")) return tr2(it, "stopped", "fermo");
    if (link == QLatin1String("devicegone")) return tr2(it, "device gone", "porta scomparsa");
    return QString();
}

QString conditionText(Condition c, bool it) {
    switch (c) {
    case Condition::Alarm: return tr2(it, "alarm", "allarme");
    case Condition::Tamper: return tr2(it, "tamper", "manomissione");
    case Condition::Fault: return tr2(it, "fault", "guasto");
    case Condition::Disq: return tr2(it, "disq.", "squalifica");
    case Condition::Stb: return tr2(it, "stand-by", "stand-by");
    case Condition::Blind: return tr2(it, "blind", "accecato");
    case Condition::Beam: return tr2(it, "beam interrupted", "raggio interrotto");
    case Condition::None: break;
    }
    return tr2(it, "clear", "a riposo");
}

QString conditionLetter(Condition c, bool it) {
    switch (c) {
    case Condition::Alarm: return QStringLiteral("A");
    case Condition::Tamper: return it ? QStringLiteral("M") : QStringLiteral("T");
    case Condition::Fault: return it ? QStringLiteral("G") : QStringLiteral("F");
    case Condition::Disq: return it ? QStringLiteral("Q") : QStringLiteral("D");
    case Condition::Stb: return QStringLiteral("S");
    case Condition::Blind: return it ? QStringLiteral("C") : QStringLiteral("B");
    case Condition::Beam: return QStringLiteral("r");
    case Condition::None: break;
    }
    return QString();
}

} // namespace hub::room
