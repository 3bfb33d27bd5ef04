// hub-broker-users against the running broker: the users it makes get in
// (after the broker's reload), the ones it removes stay out, and what it
// refuses changes nothing.
#include "controlroom.h"
#include "mqttclient.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using testmqtt::Client;
using testroom::ControlRoom;

namespace {

struct Login {
    const char* user;
    const char* password;
    bool in;
};

TEST(BrokerUsers, ScriptedUsersGetInAndRemovedOnesStayOut) {
    ControlRoom room({{"add-site", "site-a", "pw-a"}});
    ASSERT_TRUE(room.failure.empty()) << room.failure;
    const QString passwordFile = room.auth() + "/passwd", acl = room.auth() + "/acl";
    QFile pwFile(room.dir.path() + "/password.txt");
    ASSERT_TRUE(pwFile.open(QIODevice::WriteOnly));
    pwFile.write("from a file\n");
    pwFile.close();

    const struct Step {
        const char* what;
        QStringList args;
        QByteArray input;
        int exit;
        const char* says; // part of the error output, when it fails
        std::vector<Login> logins;
    } steps[] = {
        {"add a site", {"add-site", "site-n"}, "s3cret\n", 0, "",
         {{"site-n", "s3cret", true}, {"site-n", "s3cre", false}, {"site-a", "pw-a", true}}},
        {"the same again", {"add-site", "site-n"}, "s3cret\n", 0, "", {{"site-n", "s3cret", true}}},
        {"a new password", {"add-site", "site-n"}, "other\n", 0, "",
         {{"site-n", "s3cret", false}, {"site-n", "other", true}}},
        {"a password with a space, no newline", {"add-site", "site-s"}, "two words", 0, "",
         {{"site-s", "two words", true}, {"site-s", "two", false}}},
        {"a password ending in a space", {"add-site", "site-t"}, "two words \n", 1, "may not begin or end", {}},
        {"a password from a file", {"--password-file", pwFile.fileName(), "add-site", "site-f"}, "", 0, "",
         {{"site-f", "from a file", true}}},
        {"add a room", {"add-room", "room-n"}, "r00m\n", 0, "", {{"room-n", "r00m", true}}},
        {"a site's name for a room", {"add-room", "site-n"}, "x\n", 1, "site-n is a site user", {}},
        {"a room's name for a site", {"add-site", "room-n"}, "x\n", 1, "room-n is a control-room user", {}},
        {"a password on the command line", {"--password", "x", "add-site", "site-x"}, "", 2,
         "never given on the command line", {}},
        {"a name with a wildcard", {"add-site", "site+x"}, "x\n", 1, "invalid user name", {}},
        {"a name with a slash", {"add-site", "a/b"}, "x\n", 1, "invalid user name", {}},
        {"an empty password", {"add-site", "site-e"}, "\n", 1, "empty password", {}},
        {"no password at all", {"add-site", "site-e"}, "", 1, "no password", {}},
        {"an unknown command", {"rename", "site-n"}, "", 2, "unknown command", {}},
        {"remove the site", {"remove", "site-n"}, "", 0, "",
         {{"site-n", "other", false}, {"room-n", "r00m", true}, {"site-a", "pw-a", true}}},
        {"remove it again", {"remove", "site-n"}, "", 0, "nothing to remove", {{"site-n", "other", false}}},
        {"remove the room", {"remove", "room-n"}, "", 0, "", {{"room-n", "r00m", false}}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        const std::string before = testsupport::PrivateBroker::readFile(passwordFile.toStdString()) +
                                   testsupport::PrivateBroker::readFile(acl.toStdString());
        const testroom::Run r = testroom::run(
            "/bin/bash",
            QStringList{testroom::usersScript(), "--passwd", passwordFile, "--acl", acl, "--template",
                        testroom::shippedAcl()} + s.args,
            s.input);
        EXPECT_EQ(r.code, s.exit) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(s.says)) << r.err.toStdString();
        if (s.exit != 0) {
            // Refused: not a byte changed.
            EXPECT_EQ(testsupport::PrivateBroker::readFile(passwordFile.toStdString()) +
                          testsupport::PrivateBroker::readFile(acl.toStdString()),
                      before);
            continue;
        }
        ASSERT_TRUE(room.broker->reload()) << room.broker->log();
        for (const Login& l : s.logins) {
            Client c;
            EXPECT_EQ(c.connect(room.broker->port(), l.user, l.password) == 0, l.in)
                << l.user << "/" << l.password << ": " << c.reason();
        }
    }
    // The broker's group may read the files, nobody else; no password in clear.
    for (const QString& f : {passwordFile, acl}) {
        struct stat st {};
        ASSERT_EQ(::stat(f.toLocal8Bit().constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u) << f.toStdString();
    }
    const std::string passwords = testsupport::PrivateBroker::readFile(passwordFile.toStdString());
    EXPECT_EQ(passwords.find("pw-a"), std::string::npos);
    EXPECT_EQ(passwords.find("from a file"), std::string::npos);
    const std::string rules = testsupport::PrivateBroker::readFile(acl.toStdString());
    EXPECT_EQ(rules.find("room-n"), std::string::npos) << rules;
    EXPECT_NE(rules.find("pattern write hub/%u/#"), std::string::npos) << rules;
}

// A user removed while connected loses the connection when the broker
// reloads, not only the next log-in.
TEST(BrokerUsers, RemovingAConnectedUserCutsItOff) {
    ControlRoom room({{"add-site", "site-a", "pw-a"}, {"add-room", "room-1", "pw-r"}});
    ASSERT_TRUE(room.failure.empty()) << room.failure;
    for (const char* user : {"site-a", "room-1"}) {
        SCOPED_TRACE(user);
        Client c;
        ASSERT_EQ(c.connect(room.broker->port(), user, user == std::string("site-a") ? "pw-a" : "pw-r"), 0);
        ASSERT_EQ(testroom::removeUser(room.auth(), user).code, 0);
        ASSERT_TRUE(room.broker->reload());
        EXPECT_TRUE(c.waitDisconnected());
    }
}

} // namespace
