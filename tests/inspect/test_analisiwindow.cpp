#include "common/DialogSeam.h"
#include "recording.h"
#include "monitor/display/FAnalisi.h"

#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace hub;
using testrec::coupleRecord;
using testrec::Recording;

namespace {
bool isWhite(const QLabel* l) {
    return l->autoFillBackground() && l->palette().color(QPalette::Window) == QColor(Qt::white);
}

QString shotPath(const QString& name) {
    const QString dir = QDir::temp().filePath(QStringLiteral("hub-inspect-shots"));
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + name + QStringLiteral(".png");
}

struct AnalisiFixture : ::testing::Test {
    void SetUp() override {
        DialogSeam::clear();
        setRegionalFormats(QStringLiteral("dd/MM/yyyy"), QStringLiteral("HH:mm:ss"));
        path = dir.filePath("rec.dat");
    }
    void TearDown() override {
        resetRegionalFormats();
        DialogSeam::clear();
    }
    QTemporaryDir dir;
    QString path;
};
} // namespace

TEST(AnalisiWindow, HighlightsTheHeadingOfTheClickedElement) {
    struct Case {
        int l;
        const char* heading;
    } cases[] = {{0, "TextBarra"},   {1, "TextBeans1"}, {2, "TextBeans2"}, {8, "TextBeans8"},
                 {9, "TextAlarm"},   {10, "TextTamper"}, {11, "TextFail"},  {12, "TextDisq"},
                 {13, "TextStb"},    {14, "TextAcceca"}, {15, nullptr},     {-1, nullptr}};
    for (const Case& c : cases) {
        TAnalisi w;
        w.highlightHeading(c.l);
        for (int col = 0; col < kChangeListColumns; ++col) {
            const QLabel* h = w.heading(col);
            ASSERT_NE(h, nullptr);
            const bool expectWhite = c.heading && h->objectName() == QLatin1String(c.heading);
            EXPECT_EQ(isWhite(h), expectWhite) << "L=" << c.l << " " << h->objectName().toStdString();
        }
    }
}

TEST(AnalisiWindow, HeadingsLineUpOverTheGridColumns) {
    TAnalisi w;
    w.setupGrid();
    EXPECT_EQ(w.size(), QSize(670, 549));
    EXPECT_EQ(w.Panel1->height(), 52);
    EXPECT_EQ(w.Grid->columnWidth(0), 180);
    for (int c = 1; c < kChangeListColumns; ++c) EXPECT_EQ(w.Grid->columnWidth(c), 30) << c;
    EXPECT_EQ(w.Grid->verticalHeader()->defaultSectionSize(), 18);
    EXPECT_EQ(w.Grid->font().family(), "Courier New");
    EXPECT_EQ(w.Grid->font().pointSize(), 11);
    EXPECT_EQ(w.model->columnCount(), 16);
    EXPECT_EQ(w.model->rowCount(), 1); // an empty list is one empty row
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    for (int c = 0; c < kChangeListColumns; ++c) {
        const QLabel* h = w.heading(c);
        const int headCentre = h->mapTo(&w, h->rect().center()).x();
        const QRect cell = w.Grid->visualRect(w.model->index(0, c));
        const int cellCentre = w.Grid->viewport()->mapTo(&w, cell.center()).x();
        EXPECT_NEAR(headCentre, cellCentre, 1) << "column " << c;
        EXPECT_EQ(h->y() + h->height() <= w.Panel1->height(), true);
    }
}

TEST(AnalisiWindow, BothLanguages) {
    TAnalisi en;
    EXPECT_EQ(en.windowTitle(), "TALVIRE ZEMBRA : Analyse DATA");
    EXPECT_EQ(en.TextData->text(), "Date - Time");
    EXPECT_EQ(en.TextBarra->toolTip(), "Column Number ");
    EXPECT_EQ(en.TextBeans[4]->toolTip(), "Beam 5");
    EXPECT_EQ(en.TextDisq->toolTip(), "Disqual.");
    TAnalisi it;
    it.applyItalianTexts();
    EXPECT_EQ(it.windowTitle(), "TALVIRE ZEMBRA : Analisi Ricezione");
    EXPECT_EQ(it.TextData->text(), "Data - Ora");
    EXPECT_EQ(it.TextBarra->toolTip(), "Numero Barra");
    EXPECT_EQ(it.TextBeans[0]->toolTip(), "Raggio 1");
    EXPECT_EQ(it.TextBeans[7]->toolTip(), "Raggio 8");
    // The rest stays as designed.
    EXPECT_EQ(it.TextStb->toolTip(), "Standby");
    EXPECT_EQ(it.TextBarra->text(), "N");
}

TEST_F(AnalisiFixture, ClickOnBeamIndicator302ListsAndShowsTheRows) {
    Recording d;
    const double t = toTDateTime(QDate(2026, 5, 2), QTime(10, 20, 30));
    d.startEnd(t).settings(t, 0x02, 0);
    d.state(t, coupleRecord(2, 0x02, 0x02, 0x00));
    d.state(t + 0.5, coupleRecord(2, 0x02, 0x00, 0x00));
    d.state(toTDateTime(QDate(2026, 5, 3), QTime(0, 0)), coupleRecord(2, 0x06, 0x02, 0x80));
    ASSERT_TRUE(d.save(path));

    DialogSeam::push("change-list", QDialog::Accepted);
    int rows = -1;
    const ChangeListResult r = showChangeList(
        nullptr, path, path, "300", "2", true, [&](TAnalisi& w) {
            rows = w.model->rowCount();
            EXPECT_EQ(w.NomeArch->text(), path);
            EXPECT_TRUE(isWhite(w.TextBeans[1]));
            EXPECT_FALSE(isWhite(w.TextBarra));
            EXPECT_EQ(w.windowTitle(), "TALVIRE ZEMBRA : Analisi Ricezione");
            auto cell = [&](int row, int col) {
                return w.model->data(w.model->index(row, col)).toString();
            };
            EXPECT_EQ(cell(0, 0), "02/05/2026 10:20:30");
            EXPECT_EQ(cell(0, 1), " C");
            EXPECT_EQ(cell(0, 3), " \u2022");
            EXPECT_EQ(cell(1, 0), "03/05/2026");
            EXPECT_EQ(cell(1, 4), " \u2022");
            EXPECT_EQ(cell(1, 14), " \u2022");
            EXPECT_EQ(cell(2, 0), "");
            w.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
            EXPECT_TRUE(w.grab().save(shotPath("change-list-302")));
        });
    EXPECT_EQ(r, ChangeListResult::Shown);
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(DialogSeam::pending(), 0);
}

TEST_F(AnalisiFixture, NothingHappensWithoutAFileOrAnElement) {
    Recording d;
    d.startEnd(1.0);
    ASSERT_TRUE(d.save(path));
    struct Case {
        QString nomeArch, barra, led;
    } cases[] = {{"", "1", "0"}, {path, "", ""}, {path, "", "3"}, {path, "1", ""}, {path, "x", "1"}};
    for (const Case& c : cases) {
        bool built = false;
        EXPECT_EQ(showChangeList(nullptr, c.nomeArch, path, c.barra, c.led, false,
                                 [&](TAnalisi&) { built = true; }),
                  ChangeListResult::NotShown);
        EXPECT_FALSE(built);
    }
    EXPECT_TRUE(DialogSeam::shown().isEmpty());
}

TEST_F(AnalisiFixture, AFileThatCannotBeOpenedShowsTheErrorAndNoList) {
    const QString missing = dir.filePath("gone.dat");
    DialogSeam::push("error", true);
    bool built = false;
    EXPECT_EQ(showChangeList(nullptr, missing, missing, "1", "0", false,
                             [&](TAnalisi&) { built = true; }),
              ChangeListResult::OpenFailed);
    EXPECT_FALSE(built);
    EXPECT_EQ(DialogSeam::shown(), QStringList{"error: Cannot open file " + missing});
}

TEST(AnalisiWindow, ExitCloses) {
    TAnalisi w;
    w.show();
    QTest::mouseClick(w.SpeedButton1, Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.result(), QDialog::Accepted);
}
