// hubmonitor as a process: the system locale and the command line decide the
// language and the mode (the program reports them at its first paint and quits).
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

struct Probe {
    bool ran = false;
    QString language;
    QString mode;
};

Probe runProbe(const QString& lang, const QStringList& args) {
    Probe r;
    const QString build = qEnvironmentVariable("HUB_BUILD_DIR");
    if (build.isEmpty()) return r;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& k : env.keys())
        if (k.startsWith(QLatin1String("LC_"))) env.remove(k);
    env.remove(QStringLiteral("LANGUAGE"));
    env.insert(QStringLiteral("LANG"), lang);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HUBMONITOR_STARTUP_PROBE"), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    p.start(build + QStringLiteral("/monitor/hubmonitor"), args);
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    const auto m = QRegularExpression(QStringLiteral("language (\\w+); (\\w+) mode")).match(out);
    if (m.hasMatch()) {
        r.ran = true;
        r.language = m.captured(1);
        r.mode = m.captured(2);
    }
    return r;
}

} // namespace

TEST(HubmonitorProcess, SystemLocaleAndArgumentsChooseLanguageAndMode) {
    if (qEnvironmentVariableIsEmpty("HUB_BUILD_DIR")) GTEST_SKIP() << "HUB_BUILD_DIR not set";
    struct Case {
        const char* lang;
        QStringList args;
        const char* language;
        const char* mode;
    } cases[] = {
        {"it_IT.UTF-8", {}, "ITA", "live"},
        {"it_CH.UTF-8", {}, "INT", "live"},
        {"en_US.UTF-8", {}, "INT", "live"},
        {"C", {}, "INT", "live"},
        {"it_IT.UTF-8", {"/nonexistent/one.dat"}, "ITA", "viewer"},
        {"en_US.UTF-8", {"/nonexistent/a", "b.dat"}, "INT", "live"},
    };
    for (const auto& c : cases) {
        const Probe p = runProbe(QLatin1String(c.lang), c.args);
        ASSERT_TRUE(p.ran) << c.lang;
        EXPECT_EQ(p.language, QLatin1String(c.language)) << c.lang;
        EXPECT_EQ(p.mode, QLatin1String(c.mode)) << c.lang << " " << c.args.size() << " args";
    }
}

TEST(Programs, HelpGoesToStandardOutputAndSucceeds) {
    if (qEnvironmentVariableIsEmpty("HUB_BUILD_DIR")) GTEST_SKIP() << "HUB_BUILD_DIR not set";
    const QString build = qEnvironmentVariable("HUB_BUILD_DIR");
    const struct { const char* program; const char* firstWords; } cases[] = {
        {"/monitor/hubmonitor", "Usage: hubmonitor"},
        {"/hubtest/hubtest", "Usage: hubtest"},
        {"/tools/hubsim/hubsim", "usage: hubsim"},
        {"/tools/hubdat/hubdat", "Usage: hubdat"},
    };
    for (const auto& c : cases) {
        QProcess p;
        p.start(build + QLatin1String(c.program), {QStringLiteral("--help")});
        ASSERT_TRUE(p.waitForFinished(10000)) << c.program;
        EXPECT_EQ(p.exitCode(), 0) << c.program;
        EXPECT_TRUE(p.readAllStandardOutput().startsWith(c.firstWords)) << c.program;
    }
}
