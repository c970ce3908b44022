#include "OtherInfo.h"
#include "wOtherInfo.h"

#include <QLineEdit>
#include <QListWidget>
#include <QTest>

class tst_OtherInfo : public QObject {
    Q_OBJECT

    static void click(wOtherInfo& w, int row) {
        QListWidgetItem* item = w.InfoItems->item(row);
        QTest::mouseClick(w.InfoItems->viewport(), Qt::LeftButton, {},
                          w.InfoItems->visualItemRect(item).center());
    }

private slots:
    void init() { MSVIDEO::resetOtherInfo(); }

    void loadShowsCopyright() {
        MSVIDEO::OtherInfo[0] = QStringLiteral("(c) Ann");
        wOtherInfo w;
        QCOMPARE(w.objectName(), QStringLiteral("wOtherInfo"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Other Information"));
        QStringList entries;
        for (int i = 0; i < w.InfoItems->count(); ++i)
            entries << w.InfoItems->item(i)->text();
        QCOMPARE(entries, (QStringList{"Copyright", "Artist", "Subject", "Product", "Source", "Comments"}));
        QCOMPARE(w.InfoItems->currentRow(), 0);
        QCOMPARE(w.TextItems->text(), QStringLiteral("(c) Ann"));
        QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("TextItems")), w.TextItems);
        QCOMPARE(w.findChild<QListWidget*>(QStringLiteral("InfoItems")), w.InfoItems);
    }

    // Typing into each entry stores at that entry's index; index 6 is not touched.
    void eachEntryStoresItsOwnText() {
        MSVIDEO::OtherInfo[6] = QStringLiteral("kept");
        wOtherInfo w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (int row = 0; row < 6; ++row) {
            click(w, row);
            QCOMPARE(w.InfoItems->currentRow(), row);
            w.TextItems->selectAll();
            QTest::keyClicks(w.TextItems, QStringLiteral("t%1").arg(row));
        }
        const std::array<QString, 7> expected{"t0", "t1", "t2", "t3", "t4", "t5", "kept"};
        QCOMPARE(MSVIDEO::OtherInfo, expected);
    }

    void changedCommentShowsAgain() {
        wOtherInfo w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        click(w, 5);
        QTest::keyClicks(w.TextItems, QStringLiteral("Garden"));
        click(w, 1);
        QCOMPARE(w.TextItems->text(), QString());
        click(w, 5);
        QCOMPARE(w.TextItems->text(), QStringLiteral("Garden"));
        QCOMPARE(MSVIDEO::OtherInfo[5], QStringLiteral("Garden"));
        QCOMPARE(MSVIDEO::OtherInfo[1], QString());
    }
};

QTEST_MAIN(tst_OtherInfo)
#include "tst_otherinfo.moc"
