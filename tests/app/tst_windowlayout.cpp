// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WindowLayout.h"

#include <QTest>

using namespace diarytrawl;

class TestWindowLayout : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rule_data();
    void rule();
};

void TestWindowLayout::rule_data()
{
    QTest::addColumn<int>("outerWidth");
    QTest::addColumn<int>("outerHeight");
    QTest::addColumn<ResizedGeometry>("geometry");

    // Output2 width, Output2 height, Cancel top, Search left, search box width.
    QTest::newRow("7350 x 6915") << 7350 << 6915 << ResizedGeometry{6990, 4575, 5790, 6255, 2775};
    QTest::newRow("maximised") << 28800 << 16200 << ResizedGeometry{28440, 13860, 15075, 27705, 24225};
    // The Search button just clears the search string's caption (3360 + 2535); the log keeps 1500.
    QTest::newRow("minimum") << MinimumOuterWidth << MinimumOuterHeight
                             << ResizedGeometry{6630, 1500, 2715, 5895, 2415};
    QTest::newRow("just at the limits") << 4575 << 2340 << ResizedGeometry{4215, 0, 1215, 3480, 0};
    QTest::newRow("too small: sizes clamp at zero") << 300 << 200 << ResizedGeometry{0, 0, -925, -795, 0};
}

void TestWindowLayout::rule()
{
    QFETCH(int, outerWidth);
    QFETCH(int, outerHeight);
    QFETCH(ResizedGeometry, geometry);
    QCOMPARE(layoutForOuterSize(outerWidth, outerHeight), geometry);
}

QTEST_GUILESS_MAIN(TestWindowLayout)
#include "tst_windowlayout.moc"
