#include "common/DialogSeam.h"
#include "mainwindow.h"
#include "monitor/analysis/FDaySimula.h"
#include "monitor/analysis/FSimula.h"
#include "recording.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <gtest/gtest.h>

using mainwin_test::control;

using hub::DialogSeam;
using testrec::at;
using testrec::Recording;

namespace {

void keep(QWidget* w, const QString& name) {
    const QString dir = qEnvironmentVariable("HUB_BUILD_DIR");
    if (dir.isEmpty() || !w) return;
    QDir().mkpath(dir + "/analysis-shots");
    w->grab().save(dir + "/analysis-shots/" + name + ".png");
}

// Runs f on the next modal window once it is up, then closes that window.
void onModal(std::function<void(QWidget*)> f) {
    auto* t = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(t, &QTimer::timeout, [t, tries, f] {
        QWidget* m = QApplication::activeModalWidget();
        if (!m && ++*tries < 200) return;
        t->stop();
        t->deleteLater();
        f(m);
        if (m) m->close();
    });
    t->start(5);
}

Recording twoDays() {
    Recording rec;
    rec.startEnd(at(2026, 6, 12, 7)).settings(at(2026, 6, 12, 7), 0x41)
        .couple(at(2026, 6, 12, 8), 1, 0x01, 0x80, 0x02).couple(at(2026, 6, 12, 8, 59, 58, 500), 3, 0, 0, 0x81)
        .couple(at(2026, 6, 12, 13, 10), 1, 0xF0, 0, 0x10).couple(at(2026, 6, 13, 2), 3, 0x0F, 0, 0x80)
        .couple(at(2026, 6, 13, 4), 1, 0, 0, 0).startEnd(at(2026, 6, 13, 5));
    return rec;
}

class AnalysisWindows : public ::testing::Test {
protected:
    void SetUp() override {
        DialogSeam::clear();
        hub::setRegionalFormats(QStringLiteral("dd/MM/yyyy"), QStringLiteral("HH.mm.ss"));
        hub::TChartWindow::assumeNoPrinter = true;
    }
    void TearDown() override {
        DialogSeam::clear();
        hub::resetRegionalFormats();
    }
    QString path(const QString& n) const { return dir.filePath(n); }
    QStringList errors() const { return DialogSeam::shown().filter(QRegularExpression("^error: ")); }
    // The main window is back as it was before a command.
    void expectRestored(hub::TAnalisiBarre& w, int height, const char* what) {
        EXPECT_EQ(w.height(), height) << what;
        EXPECT_FALSE(control<QProgressBar>(w, "ProgRead")->isVisible()) << what;
        for (QWidget* p : {static_cast<QWidget*>(control<QFrame>(w, "PanelCom")), static_cast<QWidget*>(control<QFrame>(w, "PanelFlag")),
                           static_cast<QWidget*>(control<QFrame>(w, "PanelTit")), static_cast<QWidget*>(control<QFrame>(w, "PanelLogo"))})
            EXPECT_TRUE(p->isVisible()) << what << " " << p->objectName().toStdString();
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(AnalysisWindows, ExportWritesBesideTheRecordingAndRestoresTheWindow) {
    ASSERT_TRUE(twoDays().save(path("site.dat")));
    mainwin_test::QuietWindow w;
    w.show();
    const int height = w.height();
    DialogSeam::push("open-file", path("site.dat"));
    QTest::mouseClick(control<QPushButton>(w, "BExport"), Qt::LeftButton);
    EXPECT_EQ(QFileInfo(path("site.dat-Exp.txt")).size(), 454 + 5 * 227);
    EXPECT_TRUE(errors().isEmpty());
    expectRestored(w, height, "export");

    // Cancelled dialog: nothing happens.
    QFile::remove(path("site.dat-Exp.txt"));
    DialogSeam::push("open-file", QString());
    w.BExportClick();
    EXPECT_FALSE(QFile::exists(path("site.dat-Exp.txt")));
}

TEST_F(AnalysisWindows, BadInputGivesAMessageAndTheWindowBack) {
    ASSERT_TRUE(Recording().raw("\x64\x01\x02").save(path("short.dat")));
    ASSERT_TRUE(twoDays().save(path("blocked.dat")));
    ASSERT_TRUE(QDir().mkpath(path("blocked.dat-Exp.txt"))); // a folder where the output goes
    ASSERT_TRUE(Recording().startEnd(1000.0).settings(1000.0, 0x41).startEnd(1000.1).save(path("nostate.dat")));
    struct Case {
        const char* what;
        QString file;
        bool timeLine;
    } cases[] = {
        {"export: file shorter than 9 bytes", path("short.dat"), false},
        {"export: input cannot be opened", path("missing.dat"), false},
        {"export: output cannot be created", path("blocked.dat"), false},
        {"time line: file shorter than 9 bytes", path("short.dat"), true},
        {"time line: input cannot be opened", path("missing.dat"), true},
        {"time line: no state records", path("nostate.dat"), true},
    };
    mainwin_test::QuietWindow w;
    w.show();
    const int height = w.height();
    for (const auto& c : cases) {
        DialogSeam::clear();
        DialogSeam::push("open-file", c.file);
        DialogSeam::push("error", 0);
        DialogSeam::push("Simula", 0); // taken only if a chart window were opened
        if (c.timeLine)
            w.BMovBClick();
        else
            w.BExportClick();
        ASSERT_EQ(errors().size(), 1) << c.what;
        EXPECT_TRUE(errors().front().contains(QFileInfo(c.file).fileName())) << c.what;
        EXPECT_EQ(DialogSeam::pending(), 1) << c.what << ": no chart window";
        expectRestored(w, height, c.what);
    }
}

TEST_F(AnalysisWindows, TimeLineOpensTheDayChartOfItsCouple) {
    ASSERT_TRUE(twoDays().save(path("site.dat")));
    mainwin_test::QuietWindow w;
    w.show();
    const int height = w.height();
    bool seen = false;
    onModal([&](QWidget* m) {
        auto* s = qobject_cast<hub::TSimula*>(m);
        ASSERT_NE(s, nullptr) << DialogSeam::shown().join("\n").toStdString();
        seen = true;
        EXPECT_EQ(w.height(), height) << "restored before the chart shows";
        EXPECT_EQ(s->Lgru->text(), "3");
        EXPECT_EQ(s->LFile->text(), path("site.dat"));
        ASSERT_EQ(s->ComboBox1->count(), 2);
        EXPECT_EQ(s->ComboBox1->itemText(0), "12/06/2026");
        EXPECT_EQ(s->ComboBox1->itemText(1), "13/06/2026");
        EXPECT_EQ(s->ComboBox1->currentIndex(), 0);
        EXPECT_EQ(s->LOra->text(), "12/06/2026");
        EXPECT_EQ(s->LGruppo->text(), "Day : 12/06/2026  --  Couple : C");
        EXPECT_EQ(QFileInfo(path("site.dat.DMo")).size(), 720 * 11);
        // Couple C's 0x81 from 09:00 on: the upper Blind half.
        EXPECT_EQ(s->chart().pixel(50 + 300, 155), qRgb(255, 0, 255));
        keep(s, "simula-window");
    });
    DialogSeam::push("open-file", path("site.dat"));
    QTest::mouseClick(control<QPushButton>(w, "BMovC"), Qt::LeftButton);
    EXPECT_TRUE(seen);
    expectRestored(w, height, "time line");
}

TEST_F(AnalysisWindows, DayListAndHourButtons) {
    ASSERT_TRUE(twoDays().save(path("site.dat")));
    hub::TSimula s;
    s.setRecording(path("site.dat"));
    s.setCouple(1);
    s.setDays({QDate(2026, 6, 12), QDate(2026, 6, 13)});
    s.show();
    EXPECT_FALSE(s.ComboBox1->isEditable());
    EXPECT_EQ(QFileInfo(path("site.dat.DMo")).size(), 720 * 11);
    EXPECT_EQ(s.chart().pixel(50 + 255, 60), qRgb(255, 0, 0)); // alarm in force at 08:30
    EXPECT_EQ(s.chart().pixel(50 + 400, 85), qRgb(255, 0, 0)); // failure at 13:20
    s.ComboBox1->setCurrentIndex(1);
    EXPECT_EQ(s.LGruppo->text(), "Day : 13/06/2026  --  Couple : A");
    // 13 June: the last event at 04:00, so the file ends there (121 records).
    EXPECT_EQ(QFileInfo(path("site.dat.DMo")).size(), 121 * 11);
    EXPECT_EQ(s.chart().pixel(50 + 255, 60), qRgb(255, 255, 255)); // redrawn from white
    EXPECT_EQ(s.chart().pixel(50 + 121 + 3, 40), qRgb(0, 0, 0));   // end marker
    keep(&s, "simula-second-day");

    s.ComboBox1->setCurrentIndex(0);
    ASSERT_EQ(s.SBOra.size(), 24u);
    EXPECT_EQ(s.SBOra[8]->text(), "8");
    EXPECT_EQ(s.SBOra[9]->x() - s.SBOra[8]->x(), 30);
    bool seen = false;
    onModal([&](QWidget* m) {
        auto* d = qobject_cast<hub::TDaySimula*>(m);
        ASSERT_NE(d, nullptr);
        seen = true;
        EXPECT_EQ(d->windowTitle(), "DaySimula");
        EXPECT_EQ(d->size(), QSize(792, 527));
        EXPECT_EQ(d->LGruppo->text(), "Hour : 12/06/2026 8.00.00  --  Couple : A");
        EXPECT_EQ(d->LOraNext->text(), "12/06/2026 8.59.59");
        // Couple C's event at 08:59:58.5 is an event for couple A too: a 720th record.
        EXPECT_EQ(QFileInfo(path("site.dat.HMo")).size(), 720 * 11);
        keep(d, "daysimula-window");
        QTest::mouseClick(d->BExit, Qt::LeftButton);
    });
    QTest::mouseClick(s.SBOra[8], Qt::LeftButton);
    EXPECT_TRUE(seen);
}

TEST_F(AnalysisWindows, HourRangeDoesNotDependOnRegionalTexts) {
    // Formats that would not read back as "day h.mm.ss": the range must still be
    // 08:00:00 to 08:59:59, so an event at 08:59:58.5 makes the 720th record.
    hub::setRegionalFormats(QStringLiteral("MMM d, yyyy"), QStringLiteral("h:mm:ss AP"));
    ASSERT_TRUE(twoDays().save(path("site.dat")));
    hub::TDaySimula d;
    d.setRecording(path("site.dat"));
    d.setCouple(3);
    d.setHour(QDate(2026, 6, 12), 8);
    d.show();
    EXPECT_EQ(QFileInfo(path("site.dat.HMo")).size(), 720 * 11);
    EXPECT_EQ(d.chart().pixel(50 + 719, 155), qRgb(255, 0, 255));
    EXPECT_EQ(d.LGruppo->text(), "Hour : Jun 12, 2026 8.00.00  --  Couple : C");
    d.close();
}

TEST_F(AnalysisWindows, SaveBmpNameRule) {
    ASSERT_TRUE(twoDays().save(path("site.dat")));
    hub::TDaySimula d;
    d.setRecording(path("site.dat"));
    d.setHour(QDate(2026, 6, 12), 8);
    d.show();
    QFile existing(path("old.txt"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("x");
    existing.close();
    struct Case {
        QString typed;
        QString written; // empty: nothing written
        QString absent;
    } cases[] = {
        {path("chart"), path("chart.bmp"), path("chart")},
        {path("typed.bmp"), path("typed.bmp"), path("typed.bmp.bmp")},
        {path("old.txt"), path("old.txt"), path("old.txt.bmp")},
        {QString(), QString(), QString()},
    };
    for (const auto& c : cases) {
        DialogSeam::push("save-file", c.typed);
        QTest::mouseClick(d.SpeedButton1, Qt::LeftButton);
        if (!c.absent.isEmpty()) {
            EXPECT_FALSE(QFile::exists(c.absent)) << c.typed.toStdString();
        }
        if (c.written.isEmpty()) continue;
        QImage back(c.written, "BMP");
        ASSERT_FALSE(back.isNull()) << c.typed.toStdString();
        EXPECT_EQ(back.size(), QSize(780, 390));
        EXPECT_EQ(back.pixel(50, 15), qRgb(0, 0, 0)); // first axis tick
    }
    // A place that cannot be written: a clear message, not silence.
    DialogSeam::push("save-file", path("no/such/dir/x"));
    DialogSeam::push("error", 0);
    d.SpeedButton1Click();
    EXPECT_EQ(errors().size(), 1);
}

TEST_F(AnalysisWindows, PrintWithoutPrinterOffersAPdf) {
    ASSERT_TRUE(twoDays().save(path("site.dat")));
    hub::TSimula s;
    s.setRecording(path("site.dat"));
    s.setDays({QDate(2026, 6, 12)});
    s.show();
    DialogSeam::push("question", false);
    QTest::mouseClick(s.Stampa, Qt::LeftButton);
    EXPECT_EQ(DialogSeam::shown().filter("question: ").size(), 1);
    EXPECT_TRUE(QDir(dir.path()).entryList({"*.pdf"}).isEmpty());

    DialogSeam::push("question", true);
    DialogSeam::push("save-file", path("chart"));
    s.StampaClick();
    const QByteArray pdf = testrec::readAll(path("chart.pdf"));
    EXPECT_TRUE(pdf.startsWith("%PDF")) << pdf.left(10).toStdString();
    EXPECT_GT(pdf.size(), 2000);
    EXPECT_TRUE(errors().isEmpty());
}

TEST_F(AnalysisWindows, ARecordingThatVanishesBeforeTheChartIsToldAndNothingStaleIsDrawn) {
    // An old day file of the same name must not be drawn as this chart.
    QFile old(path("gone.dat.DMo"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(11 * 720, '\xFF'));
    old.close();
    DialogSeam::push("error", 0);
    hub::TSimula s;
    s.setRecording(path("gone.dat"));
    s.setDays({QDate(2026, 6, 12)});
    s.show();
    EXPECT_EQ(errors().size(), 1);
    EXPECT_EQ(s.chart().pixel(300, 60), qRgb(255, 255, 255));
}
