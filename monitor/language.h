#pragma once
// The interface language and the process's mode, decided from the system locale
// and the command line before the main window is shown.
#include <QLocale>
#include <QString>
#include <QStringList>

class QTranslator;

namespace hub {

// "ITA" for Italian as used in Italy (the one Italian the program was written
// for); every other locale, Swiss Italian included, gets "INT" (English).
QString interfaceLanguage(const QLocale& locale);

// Loads the toolkit's own Italian texts (file dialogs, Yes/No, "Apri") into
// the translator when the language is "ITA", from the toolkit's translations
// folder (Debian's qt6-translations-l10n); false for "INT" or when they are
// not installed, and the toolkit's texts stay English.
bool loadToolkitTranslation(QTranslator& translator, const QString& language);

// The recording to show when the process is a viewer: exactly one argument
// after the program name. None, or two and more (an unquoted path with a blank),
// start a live monitor: the result is empty then.
QString viewerFileFromArguments(const QStringList& arguments);

} // namespace hub
