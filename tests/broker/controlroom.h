#pragma once
// The control room's broker as shipped, started privately: the configuration
// and ACL from packaging/mosquitto/ with this test's ports and paths, TLS
// certificates made here with openssl, users made by hub-broker-users.
#include "broker.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <array>
#include <memory>
#include <vector>
#include <string>

namespace testroom {

inline QString sourcePath(const QString& relative) {
    return qEnvironmentVariable("HUB_SOURCE_DIR") + "/" + relative;
}
inline QString usersScript() { return sourcePath("packaging/mosquitto/hub-broker-users"); }
inline QString shippedAcl() { return sourcePath("packaging/mosquitto/zembra-hub.acl"); }
inline QString shippedConfig() { return sourcePath("packaging/mosquitto/zembra-hub.conf"); }

struct Run {
    int code = -1; // -1: did not finish
    QByteArray out, err;
};

inline Run run(const QString& program, const QStringList& args, const QByteArray& input = {},
               const QString& dir = {}) {
    QProcess p;
    if (!dir.isEmpty()) p.setWorkingDirectory(dir);
    p.start(program, args);
    if (!p.waitForStarted(5000)) return {};
    p.write(input);
    p.closeWriteChannel();
    Run r;
    if (!p.waitForFinished(15000)) {
        p.kill();
        p.waitForFinished(1000);
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// A CA and a server certificate it signs for 127.0.0.1 (EC keys: quick to make).
inline bool makeCertificates(const QString& dir, const QString& prefix = {}) {
    const QString ca = dir + "/" + prefix + "ca", server = dir + "/" + prefix + "server";
    QFile ext(dir + "/" + prefix + "ext");
    if (!ext.open(QIODevice::WriteOnly)) return false;
    ext.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n");
    ext.close();
    const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    return run("openssl", QStringList{"req", "-x509"} + ec +
                              QStringList{"-keyout", ca + ".key", "-out", ca + ".crt", "-days", "2", "-subj",
                                          "/CN=Control room test CA"})
                   .code == 0 &&
           run("openssl", QStringList{"req"} + ec +
                              QStringList{"-keyout", server + ".key", "-out", server + ".csr", "-subj",
                                          "/CN=localhost"})
                   .code == 0 &&
           run("openssl", {"x509", "-req", "-in", server + ".csr", "-CA", ca + ".crt", "-CAkey", ca + ".key",
                           "-CAcreateserial", "-out", server + ".crt", "-days", "2", "-extfile", ext.fileName()})
                   .code == 0;
}

// The shipped configuration with this test's files and ports; lines counts
// the lines changed, so that a test notices when the shipped file changes shape.
inline std::string renderConfig(const QString& confText, const QString& authDir, const QString& certDir,
                                int* lines = nullptr) {
    const struct {
        QString start, replacement;
    } rules[] = {
        {"listener 1883 127.0.0.1", "listener @PORT@ 127.0.0.1"},
        {"listener 8883", "listener @TLS_PORT@ 127.0.0.1"},
        {"password_file ", "password_file " + authDir + "/passwd"},
        {"acl_file ", "acl_file " + authDir + "/acl"},
        {"cafile ", "cafile " + certDir + "/ca.crt"},
        {"certfile ", "certfile " + certDir + "/server.crt"},
        {"keyfile ", "keyfile " + certDir + "/server.key"},
    };
    // Debian's own mosquitto.conf says where persistence goes.
    QString out = "persistence_location @DIR@/\n";
    int changed = 0;
    for (const QString& line : confText.split('\n')) {
        QString l = line;
        for (const auto& r : rules) {
            if (line.startsWith(r.start)) {
                l = r.replacement;
                ++changed;
            }
        }
        out += l + "\n";
    }
    if (lines) *lines = changed;
    return out.toStdString();
}

// Adds or changes a user through the users script.
inline Run addUser(const QString& authDir, const QString& kind, const QString& name, const QByteArray& password) {
    return run("/bin/bash", {usersScript(), "--passwd", authDir + "/passwd", "--acl", authDir + "/acl",
                             "--template", shippedAcl(), kind, name},
               password + "\n");
}
inline Run removeUser(const QString& authDir, const QString& name) {
    return run("/bin/bash", {usersScript(), "--passwd", authDir + "/passwd", "--acl", authDir + "/acl",
                             "--template", shippedAcl(), "remove", name});
}

// A folder with certificates, users and the broker started from the shipped files.
struct ControlRoom {
    QTemporaryDir dir;
    std::unique_ptr<testsupport::PrivateBroker> broker;
    std::string failure; // empty when everything is up

    QString auth() const { return dir.path() + "/auth"; }
    QString certs() const { return dir.path() + "/certs"; }

    // users: kind ("add-site" or "add-room"), name, password.
    explicit ControlRoom(const std::vector<std::array<QString, 3>>& users) {
        QDir(dir.path()).mkpath("auth");
        QDir(dir.path()).mkpath("certs");
        if (!makeCertificates(certs())) {
            failure = "openssl could not make the certificates";
            return;
        }
        for (const auto& u : users) {
            const Run r = addUser(auth(), u[0], u[1], u[2].toUtf8());
            if (r.code != 0) {
                failure = "hub-broker-users " + u[0].toStdString() + " " + u[1].toStdString() + ": " +
                          r.err.toStdString();
                return;
            }
        }
        QFile conf(shippedConfig());
        if (!conf.open(QIODevice::ReadOnly)) {
            failure = "cannot read " + shippedConfig().toStdString();
            return;
        }
        int lines = 0;
        testsupport::BrokerOptions o;
        o.config = renderConfig(QString::fromUtf8(conf.readAll()), auth(), certs(), &lines);
        if (lines != 7) {
            failure = "the shipped configuration no longer has the 7 lines this test adapts: " +
                      std::to_string(lines) + " found";
            return;
        }
        broker = std::make_unique<testsupport::PrivateBroker>(o);
        if (!broker->ok()) failure = broker->error();
    }
};

} // namespace testroom
