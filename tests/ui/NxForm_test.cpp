// Window positions: stored when a window hides, restored when it shows.
#include "profiles/Preferences.h"
#include "support/TempTree.h"
#include "ui/NxForm.h"

#include <QDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::gui;

namespace {

struct PrefsFixture : ::testing::Test {
    test::TempTree tree;
    tPreferences store{tree.Path("prefs.ini")};
    PrefsFixture() { SetPrefStore(&store); }
    ~PrefsFixture() override { SetPrefStore(nullptr); }
};

using NxForm = PrefsFixture;

} // namespace

TEST_F(NxForm, PositionSurvivesHideAndShowAndBadValuesAreIgnored) {
    {
        tNxForm<QDialog> w;
        w.setObjectName("FTest");
        w.resize(300, 200);
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        w.setGeometry(120, 140, 320, 210);
        w.hide();
    }
    const std::string stored = store.Read("PosFTest", "Main");
    ASSERT_EQ(stored.size(), 22u);
    tWindowPos pos;
    ASSERT_TRUE(DecodeWindowPos(stored, pos));
    EXPECT_EQ(pos.Left, 120);
    EXPECT_EQ(pos.Top, 140);
    EXPECT_EQ(pos.Width, 320);
    EXPECT_EQ(pos.Height, 210);

    // A second window of the same name opens where the first one was.
    tNxForm<QDialog> again;
    again.setObjectName("FTest");
    again.show();
    QTest::qWait(20);
    EXPECT_EQ(again.geometry(), QRect(120, 140, 320, 210));
    again.hide();

    // A value of 21 characters is not a position; PositionKey takes the place of the name.
    store.Write("PosOther", "  100  200  640  480 ", "Main");
    tNxForm<QDialog> other;
    other.PositionKey = "Other";
    other.setGeometry(10, 20, 200, 100);
    other.show();
    QTest::qWait(20);
    EXPECT_EQ(other.geometry(), QRect(10, 20, 200, 100));
    other.hide();
    EXPECT_EQ(store.Read("PosOther", "Main").size(), 22u);
}

TEST_F(NxForm, FixedSizeWindowKeepsItsSizeAndOffScreenPositionComesBack) {
    store.Write("PosFFixed", "-9000-9000  900  900 0", "Main");
    tNxForm<QDialog> w;
    w.setObjectName("FFixed");
    w.setFixedSize(250, 120);
    w.show();
    QTest::qWait(20);
    EXPECT_EQ(w.size(), QSize(250, 120));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.intersects(w.geometry())) << w.geometry().x() << "," << w.geometry().y();
}
