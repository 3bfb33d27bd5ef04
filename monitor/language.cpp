#include "monitor/language.h"

#include <QLibraryInfo>
#include <QTranslator>

namespace hub {

QString interfaceLanguage(const QLocale& locale) {
    if (locale.language() == QLocale::Italian && locale.territory() == QLocale::Italy)
        return QStringLiteral("ITA");
    return QStringLiteral("INT");
}

bool loadToolkitTranslation(QTranslator& translator, const QString& language) {
    if (language != QLatin1String("ITA")) return false;
    return translator.load(QLocale(QLocale::Italian, QLocale::Italy), QStringLiteral("qtbase"),
                           QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

QString viewerFileFromArguments(const QStringList& arguments) {
    // arguments[0] is the program itself.
    if (arguments.size() == 2) return arguments.at(1);
    return QString();
}

} // namespace hub
