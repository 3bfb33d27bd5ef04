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
