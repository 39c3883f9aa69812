// What outlives a run: the working list file, written whole or not at all,
// and read back without opening a picture.

#include "core/history/listfile.h"
#include "support/pictures.h"

#include <QTemporaryDir>
#include <QTest>

class HistoryTest : public QObject
{
    Q_OBJECT

private slots:
    void listFile_data()
    {
        QTest::addColumn<QString>("damage"); // done to the saved file before it is read
        QTest::addColumn<QString>("rows");   // name:comment:result:missing, or "set aside"
        const QString saved = "a.png:Grüße\nam Meer:sent:0|b.png::failed:0|clip.jpg:c::0";
        QTest::newRow("saved") << "" << saved;
        QTest::newRow("missing picture")
            << "gone" << QString(saved).replace("failed:0", "failed:1");
        QTest::newRow("torn write") << "truncated"
                                    << "set aside";
        QTest::newRow("damaged") << "garbage"
                                 << "set aside";
        QTest::newRow("foreign") << "foreign"
                                 << "set aside";
    }

    // Rows come back with their comments, results and clipboard pictures; a
    // file whose picture has gone keeps its row; a file that cannot be read is
    // moved aside, never deleted, and said so.
    void listFile()
    {
        QFETCH(QString, damage);
        QFETCH(QString, rows);
        QTemporaryDir dir;
        const QString path = dir.filePath("vemo-list.json");
        QList<history::ListRow> list(3);
        list[0] = {"a.png", "Grüße\nam Meer", dir.filePath("a.png"), {}, "sent", "sent", ""};
        list[1] = {"b.png", "", dir.filePath("b.png"), {}, "failed", "failed", "curl: oops"};
        list[2] = {"clip.jpg", "c", "", pictures::pattern(30, 20), "", "", ""};
        for (const char* name : {"a.png", "b.png"})
            QVERIFY(pictures::write(pictures::pattern(8, 8), dir.filePath(name)));
        // A new list is written beside the old one and then takes its place:
        // the old one is never written over, so a crash leaves one or the other.
        list[0].comment = "draft";
        QVERIFY(history::ListFile(path).save(list));
        QFile draft(path);
        QVERIFY(draft.open(QIODevice::ReadOnly));
        list[0].comment = "Grüße\nam Meer";
        QVERIFY(history::ListFile(path).save(list));
        QVERIFY(draft.readAll().contains("\"draft\""));
        const auto others = QFileDevice::ReadGroup | QFileDevice::ReadOther;
        QCOMPARE(QFile::permissions(path) & others, 0);

        QFile file(path);
        const qint64 size = file.size();
        if (damage == "gone")
            QVERIFY(QFile::remove(dir.filePath("b.png")));
        if (damage == "truncated")
            QVERIFY(file.resize(size / 2));
        if (damage == "garbage" || damage == "foreign")
            QVERIFY(file.open(QIODevice::WriteOnly) &&
                    file.write(damage == "foreign" ? "{\"rows\": []}" : "\x01\x02 PNG") > 0);
        file.close();

        const history::ListFile::Loaded loaded = history::ListFile(path).load();
        if (rows == "set aside") {
            QVERIFY(loaded.rows.isEmpty() && loaded.problem.contains("vemo-list.json.damaged"));
            QVERIFY(!QFile::exists(path) && QFile::exists(path + ".damaged"));
            QVERIFY(history::ListFile(path).load().problem.isEmpty()); // told once
            return;
        }
        QVERIFY2(loaded.problem.isEmpty(), qPrintable(loaded.problem));
        QStringList shown;
        for (const history::ListRow& row : loaded.rows)
            shown << QStringList{row.name, row.comment, row.result, QString::number(row.missing)}
                         .join(':');
        QCOMPARE(shown.join('|'), rows);
        QCOMPARE(loaded.rows[1].reason, QString("curl: oops"));
        QCOMPARE(loaded.rows[2].image.convertToFormat(QImage::Format_RGB32),
                 list[2].image.convertToFormat(QImage::Format_RGB32));
    }
};

QTEST_GUILESS_MAIN(HistoryTest)
#include "tst_history.moc"
