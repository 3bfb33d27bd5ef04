#include "uplink/uplinkoptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace hub {

bool readUplinkConfig(const QString& path, UplinkSettings& s, QString* error) {
    if (!QFileInfo(path).isFile() || !QFileInfo(path).isReadable()) {
        if (error) *error = QStringLiteral("cannot read the configuration file %1").arg(path);
        return false;
    }
    QSettings ini(path, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) {
        if (error) *error = QStringLiteral("%1 is not a valid configuration file").arg(path);
        return false;
    }
    ini.beginGroup(QStringLiteral("uplink"));
    if (ini.contains(QStringLiteral("password"))) {
        if (error)
            *error = QStringLiteral("%1: a password does not belong in the configuration file; use password-file")
                         .arg(path);
        return false;
    }
    // Relative paths in the file are relative to the file, not to wherever the program was started.
    const QFileInfo at(path);
    auto pathValue = [&](const char* key, QString& out) {
        const QString v = ini.value(QLatin1String(key)).toString();
        if (v.isEmpty()) return;
        out = QFileInfo(v).isAbsolute() ? v : at.absoluteDir().filePath(v);
    };
    if (ini.contains(QStringLiteral("url"))) s.url = ini.value(QStringLiteral("url")).toString();
    pathValue("password-file", s.passwordFile);
    pathValue("ca-file", s.caFile);
    pathValue("journal-dir", s.journalDir);
    if (ini.contains(QStringLiteral("prefix"))) s.prefix = ini.value(QStringLiteral("prefix")).toString();
    return true;
}

UplinkArguments takeUplinkArguments(QStringList& arguments) {
    UplinkArguments u;
    UplinkSettings fromLine;
    QString config;
    QStringList rest;
    if (!arguments.isEmpty()) rest << arguments.front();
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        QString* target = nullptr;
        if (a == QLatin1String("--uplink")) target = &fromLine.url;
        else if (a == QLatin1String("--uplink-password-file")) target = &fromLine.passwordFile;
        else if (a == QLatin1String("--uplink-ca-file")) target = &fromLine.caFile;
        else if (a == QLatin1String("--config")) target = &config;
        else if (a == QLatin1String("--uplink-password") || a.startsWith(QLatin1String("--uplink-password="))) {
            u.error = QStringLiteral("the uplink password is never given on the command line: use "
                                     "--uplink-password-file FILE or %1")
                          .arg(QLatin1String(kPasswordVariable));
            return u;
        }
        if (!target) {
            rest << a;
            continue;
        }
        u.given = true;
        if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty()) {
            u.error = a + QStringLiteral(" needs a value");
            return u;
        }
        *target = arguments.at(++i);
    }
    if (!config.isEmpty() && !readUplinkConfig(config, u.settings, &u.error)) return u;
    if (!fromLine.url.isEmpty()) u.settings.url = fromLine.url;
    if (!fromLine.passwordFile.isEmpty()) u.settings.passwordFile = fromLine.passwordFile;
    if (!fromLine.caFile.isEmpty()) u.settings.caFile = fromLine.caFile;
    if (u.given && u.settings.url.isEmpty()) {
        u.error = QStringLiteral("no uplink URL: give --uplink URL or url= in the configuration file's [uplink]");
        return u;
    }
    if (!u.settings.prefix.isEmpty()) {
        const QString& p = u.settings.prefix;
        if (p.contains(QLatin1Char('+')) || p.contains(QLatin1Char('#')) || p.startsWith(QLatin1Char('/')) ||
            p.endsWith(QLatin1Char('/'))) {
            u.error = QStringLiteral("bad topic prefix '%1'").arg(p);
            return u;
        }
    }
    arguments = rest;
    return u;
}

std::optional<QString> readUplinkPassword(const QString& passwordFile, QString* error) {
    if (!passwordFile.isEmpty()) {
        QFile f(passwordFile);
        if (!f.open(QIODevice::ReadOnly)) {
            if (error) *error = QStringLiteral("cannot read the password file %1: %2").arg(passwordFile, f.errorString());
            return std::nullopt;
        }
        QByteArray line = f.readLine(4096);
        while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
        return QString::fromUtf8(line);
    }
    return qEnvironmentVariable(kPasswordVariable);
}

} // namespace hub
