// The document list of the home window, on temporary working folders.
#include "adfmain.h"
#include "mylistwidget.h"
#include "settingswindows.h"
#include "testpictures.h"
#include "threadadditem.h"
#include "titlebar.h"

using settingswindows::log;

namespace {
const char *kButtons[] = {"leftbtn", "rightbtn", "deletebtn", "mergepdf",
                          "txtbtn",  "nwdbtn",   "ofdbtn",    "npdfbtn"};

// A picture that any turn changes.
void writePicture(const QString &path, const QSize &size)
{
    QVERIFY(testpictures::scene(size.width(), size.height(), 1).save(path));
}

QSize pictureSize(QListWidgetItem *item)
{
    return item->data(Qt::DecorationRole).value<QPixmap>().size();
}

// Last read and last changed `seconds` ago.
void age(const QString &path, int seconds)
{
    QFile file(path);
    const QDateTime when = QDateTime::currentDateTime().addSecs(-seconds);
    QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(when, QFileDevice::FileAccessTime) &&
            file.setFileTime(when, QFileDevice::FileModificationTime));
}

void selectRows(QAbstractItemView *view, const QList<int> &rows)
{
    view->clearSelection();
    for (int row : rows)
        view->selectionModel()->select(view->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
}
} // namespace

class TestDocList : public QObject
{
    Q_OBJECT

    settingswindows::TestUser m_user{"plxdoclist"};
    std::unique_ptr<QTemporaryDir> m_folder;

    MyListWidget *list(ADFmain &w) { return w.findChild<MyListWidget *>("centerwidget"); }
    QTableView *table(ADFmain &w) { return w.findChild<QTableView *>("fileTableWidget"); }
    void click(ADFmain &w, const char *name) { w.findChild<QPushButton *>(name)->click(); }
    QString path(const QString &name) const { return m_folder->path() + "/" + name; }
    void write(const QString &name, const QByteArray &b) { QVERIFY(testpictures::writeAll(path(name), b)); }

    // A home window on the folder with this many cells (any when -1), on the table if asked.
    std::unique_ptr<ADFmain> openHome(int cells, bool onTable = false)
    {
        std::unique_ptr<ADFmain> w(new ADFmain);
        w->show();
        auto ready = [&] { return cells < 0 ? list(*w)->count() > 0 : list(*w)->count() == cells; };
        if (!QTest::qWaitForWindowExposed(w.get()) || !QTest::qWaitFor(ready))
            return nullptr;
        if (onTable)
            w->findChild<TitleBar *>()->m_list->click();
        return w;
    }

    QAbstractItemView *page(ADFmain &w)
    {
        return list(w)->isVisible() ? static_cast<QAbstractItemView *>(list(w)) : table(w);
    }

    int enabledButtons(ADFmain &w)
    {
        return int(std::count_if(std::begin(kButtons), std::end(kButtons), [&](const char *name) {
            return w.findChild<QPushButton *>(name)->isEnabled();
        }));
    }

    // The names of the page shown, in its order, or only the selected ones, sorted.
    QStringList shown(ADFmain &w, bool selectedOnly = false)
    {
        QStringList result;
        QAbstractItemView *view = page(w);
        for (int r = 0; r < view->model()->rowCount(); ++r) {
            const QModelIndex index = view->model()->index(r, 0);
            if (!selectedOnly || view->selectionModel()->isSelected(index))
                result << index.data().toString();
        }
        if (selectedOnly)
            result.sort();
        return result;
    }

private slots:
    void initTestCase()
    {
        qunsetenv("XDG_CACHE_HOME"); // the thumbnail store goes under the home
        settingswindows::installTheme();
    }

    void init()
    {
        settingswindows::clearLog();
        m_folder.reset(new QTemporaryDir);
        QSettings ini(m_user.settingsFile(), QSettings::IniFormat);
        ini.clear();
        ini.setValue("MainSettings/FilePath", m_folder->path());
        ini.setValue("MainSettings/ErrorTips", "0");
    }

    void cleanupTestCase() { settingswindows::removeTheme(); }

    // Oldest read first; no hidden files, folders, other endings. Pictures are read to fit the box
    // (4:3 at 88x66, 3:4 at 60x80) and framed, the unreadable keep their icon; the pass stops once.
    void listingOrderAndTwoPasses()
    {
        const QStringList order = {"c oldest.PNG", "b.jpg",     "a's \"page\".tiff",
                                   "corrupt.jpg",  "empty.bmp", "huge.bmp"};
        writePicture(path(order[0]), QSize(400, 300));
        writePicture(path(order[1]), QSize(300, 400));
        writePicture(path(order[2]), QSize(50, 50));
        write(order[3], QByteArray(3000, 'x'));
        write(order[4], QByteArray());
        write(order[5], testpictures::hugeBmp());
        write(".hidden.jpg", testpictures::readAll(path(order[1])));
        write("notes.jpg.txt", "text");
        QVERIFY(QDir().mkdir(path("folder.jpg")));
        for (int i = 0; i < order.count(); ++i)
            age(path(order[i]), 300 - 50 * i);
        // Large pictures go through the thumbnail store: a current thumbnail is used, a stale one made anew.
        auto seed = [&](const QString &name, qint64 mtime) {
            QImage thumbnail(128, 64, QImage::Format_RGB32);
            thumbnail.setText("Thumb::URI", QUrl::fromLocalFile(path(name)).toEncoded());
            thumbnail.setText("Thumb::MTime", QString::number(mtime));
            QVERIFY(QDir().mkpath(m_user.home + "/.cache/thumbnails/normal"));
            QVERIFY(thumbnail.save(ThreadAddItem::thumbnailPath(path(name))));
        };
        const qint64 mtime = QFileInfo(path(order[0])).lastModified().toSecsSinceEpoch();
        seed(order[0], mtime - 1);
        seed(order[1], QFileInfo(path(order[1])).lastModified().toSecsSinceEpoch());
        auto w = openHome(order.count());
        QVERIFY(w);
        QCOMPARE(shown(*w), order);
        const QString stopped = "***************计时器关闭****************\n";
        QTRY_COMPARE(log().count(stopped), 1);
        QTest::qWait(100);
        QCOMPARE(log().count(stopped), 1);
        QCOMPARE(QImage(ThreadAddItem::thumbnailPath(path(order[0]))).text("Thumb::MTime").toLongLong(),
                 mtime);
        const QSize pictures[] = {{90, 68}, {90, 46}, {90, 82}, {64, 64}, {64, 64}, {64, 64}};
        for (int i = 0; i < order.count(); ++i) {
            QCOMPARE(list(*w)->item(i)->data(ItemReplacedRole).toString(), QString("1"));
            QCOMPARE(pictureSize(list(*w)->item(i)), pictures[i]);
        }
    }

    // Turns are lossless and redraw the cell; a PDF stops the whole turn; an unturnable file stays
    // and is reported; one removed behind the program's back is reported and the list read anew.
    void rotation()
    {
        writePicture(path("page.jpg"), QSize(320, 240));
        write("doc.pdf", "%PDF-1.4");
        write("bad.jpg", "not a picture");
        auto w = openHome(3);
        QVERIFY(w);
        auto select = [&](const QStringList &names) {
            QList<int> rows;
            for (const QString &name : names)
                rows << shown(*w).indexOf(name);
            selectRows(page(*w), rows);
        };
        const QImage before(path("page.jpg"));
        select({"page.jpg"});
        click(*w, "leftbtn");
        QCOMPARE(QImage(path("page.jpg")).size(), QSize(240, 320));
        QCOMPARE(pictureSize(list(*w)->item(shown(*w).indexOf("page.jpg"))), QSize(62, 82));
        QCOMPARE(shown(*w, true), QStringList{"page.jpg"});
        click(*w, "rightbtn"); // within the second of the first turn, as a rule
        QCOMPARE(QImage(path("page.jpg")), before);
        QCOMPARE(pictureSize(list(*w)->item(shown(*w).indexOf("page.jpg"))), QSize(90, 68));

        const QByteArray jpeg = testpictures::readAll(path("page.jpg"));
        select({"page.jpg", "doc.pdf"});
        click(*w, "rightbtn");
        QCOMPARE(testpictures::readAll(path("page.jpg")), jpeg);
        QVERIFY(log().contains("旋转时选中了pdf文件，无错误提示已自动返回"));

        select({"bad.jpg"});
        click(*w, "leftbtn");
        QCOMPARE(testpictures::readAll(path("bad.jpg")), QByteArray("not a picture"));
        QCOMPARE(log().filter("未能旋转").filter("bad.jpg").count(), 1);

        select({"page.jpg", "bad.jpg"});
        QVERIFY(QFile::remove(path("bad.jpg")));
        click(*w, "leftbtn"); // before the folder watcher has settled
        QCOMPARE(log().filter("bad.jpg").filter("文件列表将重新加载").count(), 1);
        QCOMPARE(QImage(path("page.jpg")).size(), QSize(240, 320));
        QTRY_VERIFY(shown(*w).count() == 2 && !shown(*w).contains("bad.jpg"));

        // On the table page the turned file is selected again after the table is read anew.
        w->findChild<TitleBar *>()->m_list->click();
        select({"page.jpg"});
        click(*w, "rightbtn");
        QCOMPARE(QImage(path("page.jpg")), before);
        QCOMPARE(shown(*w, true), QStringList{"page.jpg"});
    }

    void deletionReselectsByPosition_data()
    {
        QTest::addColumn<bool>("onTable");
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QStringList>("selectedAfter");
        QTest::newRow("thumbnails, first two") << false << QList<int>{0, 1} << QStringList{"3.png", "4.png"};
        QTest::newRow("thumbnails, the last") << false << QList<int>{4} << QStringList{};
        QTest::newRow("table, middle one") << true << QList<int>{2} << QStringList{"4.png"};
    }

    // The documents that moved up are selected; the eight buttons follow the selection.
    void deletionReselectsByPosition()
    {
        QFETCH(bool, onTable);
        QFETCH(QList<int>, rows);
        QFETCH(QStringList, selectedAfter);
        for (int i = 1; i <= 5; ++i) {
            writePicture(path(QString("%1.png").arg(i)), QSize(20, 20));
            age(path(QString("%1.png").arg(i)), 10 - i);
        }
        auto w = openHome(5, onTable);
        QVERIFY(w);
        QCOMPARE(enabledButtons(*w), 8); // each page opens with its first document selected
        selectRows(page(*w), rows);
        click(*w, "deletebtn");
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files).count(), 5 - rows.count());
        QCOMPARE(shown(*w).count(), 5 - rows.count());
        QCOMPARE(shown(*w, true), selectedAfter);
        QCOMPARE(enabledButtons(*w), selectedAfter.isEmpty() ? 0 : 8);
    }

    void otherProgramsChangesAppear_data()
    {
        QTest::addColumn<bool>("onTable");
        QTest::newRow("thumbnails") << false;
        QTest::newRow("table") << true;
    }

    // Files added and removed by another program appear and go; the selection stays.
    void otherProgramsChangesAppear()
    {
        QFETCH(bool, onTable);
        writePicture(path("a.png"), QSize(20, 20));
        writePicture(path("b.png"), QSize(20, 20));
        auto w = openHome(2, onTable);
        QVERIFY(w);
        const QStringList selected = shown(*w, true);
        QCOMPARE(selected.count(), 1);
        writePicture(path("new one.png"), QSize(20, 20));
        QVERIFY(QFile::remove(path(selected.first() == "a.png" ? "b.png" : "a.png")));
        QTRY_VERIFY_WITH_TIMEOUT(shown(*w).count() == 2 && shown(*w).contains("new one.png"), 1000);
        QCOMPARE(shown(*w, true), selected);

        // A captured file is listed at once, and once (a selected picture cell among the thumbnails).
        writePicture(path("CameraImage_0001.jpg"), QSize(40, 30));
        w->appendCapturedFiles({"CameraImage_0001.jpg"});
        QCOMPARE(shown(*w).last(), QString("CameraImage_0001.jpg"));
        if (!onTable) {
            QCOMPARE(shown(*w, true), QStringList{"CameraImage_0001.jpg"});
            QCOMPARE(pictureSize(list(*w)->item(2)), QSize(90, 68));
        }
        QTest::qWait(400);
        QCOMPARE(shown(*w).count(), 3);
    }

    // A folder far larger than a screen is browsed to its end by scrolling, in read order all the
    // way (pairs read at the same moment by name, without case).
    void scrollingReachesTheEndOfALargeFolder()
    {
        const int total = 300;
        const QDateTime start = QDateTime::currentDateTime().addSecs(-total);
        QStringList order;
        for (int i = 0; i < total; ++i) {
            order << QString(i % 2 ? "B%1.png" : "a%1.png").arg(i, 4, 10, QChar('0'));
            writePicture(path(order.last()), QSize(8, 8));
            QFile file(path(order.last()));
            QVERIFY(file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(start.addSecs(i / 2), QFileDevice::FileAccessTime));
        }
        auto w = openHome(-1);
        QVERIFY(w && list(*w)->count() < total);
        QScrollBar *bar = list(*w)->verticalScrollBar();
        for (int round = 0; round < total && list(*w)->count() < total; ++round) {
            bar->setValue(bar->maximum());
            QTRY_VERIFY(bar->value() < bar->maximum() || list(*w)->count() == total);
        }
        QCOMPARE(shown(*w), order);
    }
};

QTEST_MAIN(TestDocList)
#include "tst_doclist.moc"
