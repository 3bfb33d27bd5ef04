#include "monitor/language.h"

namespace hub {

QString interfaceLanguage(const QLocale& locale) {
    if (locale.language() == QLocale::Italian && locale.territory() == QLocale::Italy)
        return QStringLiteral("ITA");
    return QStringLiteral("INT");
}

QString viewerFileFromArguments(const QStringList& arguments) {
    // arguments[0] is the program itself.
    if (arguments.size() == 2) return arguments.at(1);
    return QString();
}

} // namespace hub
