// The main window as drawn: pixels checked at positions computed from the
// layout, and PNGs of the main views saved under <build>/screens for a look.
#include "common/DialogSeam.h"
#include "mainwindow.h"
#include "monitor/datafile.h"

#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using mainwin_test::control;

using namespace hub;

namespace {

QRgb rgb(Rgb c) { return 0xFF000000u | c; }

QString screensDir() {
    QString build = qEnvironmentVariable("HUB_BUILD_DIR");
    if (build.isEmpty()) build = QDir::tempPath();
    QDir().mkpath(build + QStringLiteral("/screens"));
    return build + QStringLiteral("/screens");
}

void save(QWidget& w, const char* name) {
    const QString path = screensDir() + QStringLiteral("/mainwin-%1.png").arg(QLatin1String(name));
    EXPECT_TRUE(w.grab().save(path)) << path.toStdString();
}

// Monitor coordinates to window coordinates.
QPoint onWindow(hub::TAnalisiBarre& w, int x, int y) {
    return control<hub::TMonitor>(w, "Monitor1")->mapTo(&w, QPoint(x, y));
}

void choose(hub::TAnalisiBarre& w, int index) {
    control<QComboBox>(w, "ComboZoom")->setCurrentIndex(index);
    emit control<QComboBox>(w, "ComboZoom")->activated(index);
}

// A silver lens at the centre of every visible LED, and the grey head showing
// above every barrier.
void expectIdleInstallation(hub::TAnalisiBarre& w, const char* when) {
    const QImage img = w.grab().toImage();
    const MonitorModel& m = control<hub::TMonitor>(w, "Monitor1")->model();
    for (int k = 1; k <= 8; ++k) {
        const Geometry b = m.barrier(k).geo;
        for (int n = 1; n <= 14; ++n) {
            if (!m.led(k, n).visible) continue;
            const Geometry r = m.ledRect(k, n);
            const QPoint c = onWindow(w, r.left + r.width / 2, r.top + r.height / 2);
            if (m.DimeLed() == 29) {
                EXPECT_EQ(img.pixel(c), rgb(colour::Silver))
                    << when << ": barrier " << k << " LED " << n << " at " << c.x() << "," << c.y();
            } else {
                // Smaller lenses are mostly glint: every idle LED looks alike and
                // shows no colour.
                const Geometry r0 = m.ledRect(1, Led::Alarm);
                const QRgb ref = img.pixel(onWindow(w, r0.left + r0.width / 2, r0.top + r0.height / 2));
                const QRgb px = img.pixel(c);
                EXPECT_EQ(px, ref) << when << ": barrier " << k << " LED " << n;
                EXPECT_TRUE(qRed(px) == qGreen(px) && qGreen(px) == qBlue(px)) << when;
            }
        }
        // Left of the barrier number drawn on the head.
        const QPoint head = onWindow(w, b.left + 5, b.top - 4);
        EXPECT_EQ(img.pixel(head), rgb(colour::Gray)) << when << ": head of barrier " << k;
    }
}

class Screens : public ::testing::Test {
protected:
    void SetUp() override { DialogSeam::clear(); }
    void TearDown() override { DialogSeam::clear(); }
};

} // namespace

TEST_F(Screens, StartUpShowsEveryBarrierIdle) {
    mainwin_test::QuietWindow w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    expectIdleInstallation(w, "start-up");
    save(w, "startup-en");

    // A LED that changes colour shows it where the layout puts it.
    MonitorModel& m = control<hub::TMonitor>(w, "Monitor1")->model();
    m.led(5, Led::Disqualify).SetYellow();
    m.led(2, 3).SetLime();
    control<hub::TMonitor>(w, "Monitor1")->refresh();
    const QImage img = w.grab().toImage();
    const Geometry a = m.ledRect(5, Led::Disqualify);
    const Geometry b = m.ledRect(2, 3);
    EXPECT_EQ(img.pixel(onWindow(w, a.left + a.width / 2, a.top + a.height / 2)), rgb(colour::Yellow));
    EXPECT_EQ(img.pixel(onWindow(w, b.left + b.width / 2, b.top + b.height / 2)), rgb(colour::Lime));

    w.AzzeraVideo(false);
    expectIdleInstallation(w, "after AzzeraVideo(false)");

    // Hidden until settings arrive: the barrier's grey body is gone.
    w.AzzeraVideo(true);
    const QImage hidden = w.grab().toImage();
    for (int k = 1; k <= 8; ++k) {
        const Geometry g = m.barrier(k).geo;
        const Geometry l1 = m.led(k, 1).geo;
        const QPoint gap = onWindow(w, g.left + g.width / 2, g.top + l1.top + l1.height + 5);
        EXPECT_NE(hidden.pixel(gap), rgb(colour::Gray)) << "barrier " << k;
    }
}

TEST_F(Screens, ItalianStartUp) {
    mainwin_test::QuietWindow w;
    w.startAs(hub::MainWindowState::Language::Italian);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_EQ(control<hub::TMonitor>(w, "Monitor1")->model().labBlind.caption, QLatin1String("Cieco"));
    QString letters;
    for (const LabelModel& l : control<hub::TMonitor>(w, "Monitor1")->model().labLetters) letters += l.caption;
    EXPECT_EQ(letters, QLatin1String("RAGGI"));
    expectIdleInstallation(w, "Italian start-up");
    save(w, "startup-it");
}

TEST_F(Screens, ZoomedAndCompactViews) {
    mainwin_test::QuietWindow w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    choose(w, 0);
    expectIdleInstallation(w, "Compact");
    save(w, "compact");
    choose(w, 1); // Expand
    choose(w, 2);
    expectIdleInstallation(w, "Zoom 2");
    save(w, "zoom2");
    choose(w, 5);
    expectIdleInstallation(w, "Zoom 5");
    save(w, "zoom5");
}

TEST_F(Screens, ViewerMode) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("rec.dat"));
    {
        DataFileWriter wr;
        ASSERT_TRUE(wr.create(path));
        ASSERT_TRUE(wr.writeStartEnd(46000.5));
        ASSERT_TRUE(wr.writeStartEnd(46000.6));
    }
    mainwin_test::QuietWindow w;
    mainwin_test::LoadCounter loads(w);
    w.startAs(hub::MainWindowState::Language::English, path);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QApplication::processEvents();
    EXPECT_EQ(loads.count, 1);
    EXPECT_EQ(w.palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
    save(w, "viewer");
}
