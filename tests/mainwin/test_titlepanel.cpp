// The title panel's texts get the room they need: the zoom box shows its
// items whole, and the hub's name is drawn clear of the counters, whatever
// the hub calls itself. PNGs of the window go to <build>/screens.
#include "common/DialogSeam.h"
#include "mainwindow.h"
#include "monitor/FAnaBarre.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>
#include <gtest/gtest.h>

#include <cstring>

namespace {

QString screensDir() {
    QString build = qEnvironmentVariable("HUB_BUILD_DIR");
    if (build.isEmpty()) build = QDir::tempPath();
    QDir().mkpath(build + QStringLiteral("/screens"));
    return build + QStringLiteral("/screens");
}

template <class T> T* child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QLatin1String(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

// The room a combo box gives the text of its current item.
int textRoom(QComboBox* box) {
    QStyleOptionComboBox opt;
    opt.initFrom(box);
    opt.editable = box->isEditable();
    opt.frame = box->hasFrame();
    return box->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, box).width();
}

} // namespace

TEST(TitlePanel, TheZoomBoxShowsEveryItemWhole) {
    hub::DialogSeam::clear();
    mainwin_test::QuietWindow w; // live and idle
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    auto* zoom = child<QComboBox>(w, "ComboZoom");
    ASSERT_NE(zoom, nullptr);
    EXPECT_EQ(zoom->geometry().topLeft(), QPoint(2, 0)); // where the layout puts it
    // What the box says it needs for its longest item, and the text field
    // holding each item, less the pixel the style keeps on either side.
    EXPECT_GE(zoom->width(), zoom->sizeHint().width());
    const int room = textRoom(zoom) - 2;
    for (const char* item : {"Compact", "Expand", "Zoom 1", "Zoom 5"})
        EXPECT_LE(zoom->fontMetrics().horizontalAdvance(QLatin1String(item)), room) << item;
    for (const char* other : {"LbStart", "LbCounter", "LbBuffer", "SBClear"})
        EXPECT_FALSE(child<QWidget>(w, other)->geometry().intersects(zoom->geometry())) << other;
}

TEST(TitlePanel, TheHubNameIsDrawnClearOfTheCounters) {
    const struct {
        const char* what;
        std::uint8_t kind;
        const char* name; // TC: the 8 bytes of the name; null: an SW hub
        const char* shot;
    } cases[] = {
        {"TC hub in test mode with a name that starts blank", 0x81, " NORDEST", "tc-nordest"},
        {"TC hub, version 3, test mode, eight wide letters", 0x83, "MWMWMWMW", "tc-wide"},
        {"SW hub in test mode", 0xC1, nullptr, "sw-test"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        hub::DialogSeam::clear();
        mainwin_test::QuietWindow w; // live and idle
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        if (c.name) {
            std::array<std::uint8_t, hub::kTcBlockSize> tc{};
            std::memcpy(tc.data() + 44, c.name, 8);
            w.RiceviSet_TC(c.kind, tc);
        } else {
            w.RiceviSet_SW(c.kind, std::array<std::uint8_t, hub::kSwBlockSize>{});
        }
        auto* name = child<QLabel>(w, "LVersHUB");
        ASSERT_NE(name, nullptr);
        // Everything that can be on screen beside the name during an acquisition.
        child<QLabel>(w, "LNoData")->show();
        child<QLabel>(w, "LBuffer")->setText(QStringLiteral("2048"));
        child<QLabel>(w, "LCounter")->setText(QStringLiteral("18446744073709551615"));
        child<QLabel>(w, "LStart")->setText(QStringLiteral("31/12/2026 23:59:59"));
        child<QLabel>(w, "TextNomeArch")->show();
        child<QLabel>(w, "NomeArch")->setText(QStringLiteral("20261231-235959__PORT-ttyUSB0.dat"));

        EXPECT_EQ(name->pos(), QPoint(1, 43)); // where the layout puts it
        EXPECT_LE(name->fontMetrics().horizontalAdvance(name->text()), name->width());
        QWidget* panel = name->parentWidget();
        EXPECT_TRUE(panel->contentsRect().contains(name->geometry())) << name->text().toStdString();
        for (const char* other : {"LbStart", "LStart", "LbCounter", "LCounter", "LbBuffer", "LBuffer",
                                  "LNoData", "BSetup", "BtnHelp", "ComboZoom", "SBClear"}) {
            auto* o = child<QWidget>(w, other);
            EXPECT_FALSE(o->geometry().intersects(name->geometry()))
                << other << " covers " << name->text().toStdString();
        }
        EXPECT_TRUE(w.grab().save(screensDir() + QStringLiteral("/titlepanel-%1.png").arg(QLatin1String(c.shot))));
    }
}

// The folded and zoomed windows end with their panels: no empty band below.
TEST(TitlePanel, CompactAndZoomedWindowsEndWithTheirPanels) {
    hub::DialogSeam::clear();
    mainwin_test::QuietWindow w; // live and idle
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    auto* zoom = child<QComboBox>(w, "ComboZoom");
    auto* tit = child<QWidget>(w, "PanelTit");
    auto* com = child<QWidget>(w, "PanelCom");
    const struct { int item; const char* view; } steps[] = {
        {0, "Compact"}, {1, "Expand"}, {1, "Zoom 1"}, {2, "Zoom 2"}, {3, "Zoom 3"}, {4, "Zoom 4"}};
    for (const auto& s : steps) {
        zoom->setCurrentIndex(s.item);
        emit zoom->activated(s.item);
        if (std::strcmp(s.view, "Expand") == 0) continue;
        EXPECT_EQ(w.height(), tit->geometry().bottom() + 1) << s.view;
        if (std::strcmp(s.view, "Compact") == 0) { // zoomed, the commands are off the window
            EXPECT_EQ(com->geometry().bottom(), tit->geometry().bottom());
            EXPECT_TRUE(w.grab().save(screensDir() + QStringLiteral("/titlepanel-compact.png")));
        }
    }
}
