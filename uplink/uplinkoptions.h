#pragma once
// The uplink's settings as a user gives them: options, a configuration file,
// the environment. Shared by hubmonitor and hubdat publish.
#include <QString>
#include <QStringList>
#include <optional>

namespace hub {

inline constexpr char kPasswordVariable[] = "HUB_UPLINK_PASSWORD";

struct UplinkSettings {
    QString url;          // mqtt[s]://USER@HOST[:PORT]/SITE
    QString passwordFile; // first line is the password
    QString caFile;
    QString prefix;       // empty: the default
    QString journalDir;   // empty: the program decides
};

// [uplink] url=, password-file=, ca-file=, prefix=, journal-dir= of an INI
// file; keys the file lacks leave s as it is. A password in the file is
// refused: it belongs in a file of its own that only the site's user reads.
bool readUplinkConfig(const QString& path, UplinkSettings& s, QString* error);

// The password from the file, else from HUB_UPLINK_PASSWORD, else empty. A
// file given but unreadable is an error, never a silent "no password".
std::optional<QString> readUplinkPassword(const QString& passwordFile, QString* error);

} // namespace hub
