// Scraping the category tree out of the gallery administration page.

#include "core/site/categories.h"
#include "support/tree.h"

#include <QStandardItemModel>
#include <QTest>

namespace {

// One category cell as the site writes it.
QByteArray cell(int depth, int id, const QByteArray& name, const QByteArray& unit = "&nbsp;&nbsp;")
{
    return "<tr><td>" + unit.repeated(depth) + "<a href=\"?gallery-S" + QByteArray::number(id) +
           "\">" + name + "</a></td><td>3 Bilder</td></tr>\n";
}

} // namespace

class CategoriesTest : public QObject
{
    Q_OBJECT

private slots:
    void tree_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QString>("expected");

        // Depths are counted in characters of the indentation: "&nbsp;&nbsp;" is 12.
        QTest::newRow("two children, then top level again")
            << cell(0, 1, "a") + cell(1, 2, "b") + cell(1, 3, "c") + cell(0, 4, "d")
            << "a:1(b:2,c:3),d:4";
        QTest::newRow("24 is one level down, then 12 climbs to the top")
            << cell(0, 1, "a") + cell(2, 2, "b") + cell(1, 3, "c") << "a:1(b:2),c:3";
        QTest::newRow("first cell indented stays top level, its equal becomes its child")
            << cell(1, 1, "a") + cell(1, 2, "b") << "a:1(b:2)";
        QTest::newRow("three levels and back")
            << cell(0, 7, "x") + cell(1, 12, "y") + cell(2, 45, "z") + cell(1, 13, "w") +
                   cell(0, 250, "v")
            << "x:7(y:12(z:45),w:13),v:250";
        QTest::newRow("empty name skipped")
            << cell(0, 1, "a") + cell(1, 2, "") + cell(1, 3, "c") << "a:1(c:3)";
        QTest::newRow("dashes and blanks count as indentation")
            << cell(0, 1, "a") + cell(1, 2, "b", "&nbsp;- ") << "a:1(b:2)";
        QTest::newRow("entities and markup are shown as text")
            << cell(0, 1, "Tom &amp; Jerry") + cell(0, 2, "<b>Bold</b> &lt;x&gt;")
            << "Tom & Jerry:1,Bold <x>:2";
        QTest::newRow("Latin-1 bytes") << cell(0, 1, "Fr\xe4nkische") << "Fr\u00e4nkische:1";
        QTest::newRow("a name runs on to the first </a></td>")
            << QByteArray("<td><a href=\"?gallery-S5\">one</a> two</a></td>") + cell(0, 6, "six")
            << "one two:5,six:6";
        QTest::newRow("nothing after a zero byte is read")
            << cell(0, 1, "a") + QByteArray(1, '\0') + cell(0, 2, "b") << "a:1";
        QTest::newRow("other links and cells are not categories")
            << QByteArray(
                   "<td><a href=\"?gallery-new\">new</a></td><td><a "
                   "href=\"?gallery-S3-edit\">edit</a></td><td>x<a href=\"?gallery-S4\">y</a></td>")
            << "";
    }

    // The tree replaces whatever the model held; the raw HTML of each name is kept.
    void tree()
    {
        QFETCH(QByteArray, page);
        QFETCH(QString, expected);
        QStandardItemModel model(0, 2);
        categories::fillTree(model.invisibleRootItem(), cell(0, 99, "old") + cell(1, 98, "older"));
        const int added =
            categories::fillTree(model.invisibleRootItem(), "<html><table>" + page + "</table>");
        QCOMPARE(renderTree(&model), expected);
        QCOMPARE(added, expected.count(':'));
        if (page.contains("Tom &amp;"))
            QCOMPARE(model.item(0)->data(Qt::UserRole).toString(), QString("Tom &amp; Jerry"));
    }

    // A page of ever deeper cells builds no deeper than MaxDepth: the deeper
    // ones hang, as siblings, under the deepest parent allowed.
    void hostileDepth()
    {
        const int cells = 15000;
        QByteArray page;
        for (int i = 0; i < cells; ++i)
            page += cell(i, i, "n", " ");
        QStandardItemModel model(0, 2);
        QCOMPARE(categories::fillTree(model.invisibleRootItem(), page), cells);
        QStandardItem* item = model.invisibleRootItem();
        int depth = 0;
        for (; item->rowCount() == 1; ++depth)
            item = item->child(0);
        QCOMPARE(depth + 1, categories::MaxDepth);
        QCOMPARE(item->rowCount(), cells - categories::MaxDepth + 1);
    }
};

QTEST_MAIN(CategoriesTest)
#include "tst_categories.moc"
