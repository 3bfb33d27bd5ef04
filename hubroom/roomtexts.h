#pragma once
// The control room's own texts in its two languages.
#include "hubroom/sites.h"

#include <QString>

namespace hub::room {

inline QString tr2(bool italian, const char* en, const char* it) {
    return QString::fromUtf8(italian ? it : en);
}
QString statusText(SiteStatus s, bool italian);
QString linkText(const QString& link, bool italian);
QString conditionText(Condition c, bool italian);
// The letter drawn in a barrier's cell: A, T, F, D, S, B, b ("" when clear).
QString conditionLetter(Condition c, bool italian);

} // namespace hub::room
