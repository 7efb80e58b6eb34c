// The document list of the home window, on temporary working folders.
#include "adfmain.h"
#include "mylistwidget.h"
#include "testpictures.h"
#include "threadadditem.h"
#include "titlebar.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
QStringList g_log;
void captureLog(QtMsgType, const QMessageLogContext &, const QString &msg)
{
    g_log << msg;
}

const char *kButtons[] = {"leftbtn", "rightbtn", "deletebtn", "mergepdf",
                          "txtbtn",  "nwdbtn",   "ofdbtn",    "npdfbtn"};

void writePicture(const QString &path, const QSize &size, QColor color = Qt::darkCyan)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    // A corner mark, so that a turn changes the pixels.
    for (int y = 0; y < size.height() / 4; ++y)
        for (int x = 0; x < size.width() / 4; ++x)
            image.setPixel(x, y, qRgb(x * 7 % 256, y * 13 % 256, 200));
    QVERIFY(image.save(path));
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class TestDocList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void readableFilesize_data();
    void readableFilesize();
    void cellText_data();
    void cellText();
    void listingOrderAndTwoPasses();
    void buttonsFollowSelection();
    void rotation();
    void deletionReselectsByPosition_data();
    void deletionReselectsByPosition();
    void fileRemovedBehindTheProgramsBack();
    void otherProgramsChangesAppear_data();
    void otherProgramsChangesAppear();
    void capturedFilesAreAppendedAndSelected();
    void scrollingReachesTheEndOfALargeFolder();

private:
    // A home window on the working folder, shown, with its first pass done.
    std::unique_ptr<ADFmain> openHome(int expectedCells);
    MyListWidget *list(ADFmain &w) { return w.findChild<MyListWidget *>("centerwidget"); }
    QTableView *table(ADFmain &w) { return w.findChild<QTableView *>("fileTableWidget"); }
    QPushButton *button(ADFmain &w, const char *name) { return w.findChild<QPushButton *>(name); }
    QStringList names(ADFmain &w);
    QStringList selectedNames(ADFmain &w);
    QString path(const QString &name) const { return m_folder->path() + "/" + name; }
    void showTable(ADFmain &w) { w.findChild<TitleBar *>()->m_list->click(); }

    QString m_appDir, m_home, m_user;
    std::unique_ptr<QTemporaryDir> m_folder;
};

void TestDocList::initTestCase()
{
    m_appDir = QCoreApplication::applicationDirPath();
    m_user = QString("plxdoclist%1").arg(QCoreApplication::applicationPid());
    m_home = "/home/" + m_user;
    QVERIFY(QDir().mkpath(m_home + "/Documents"));
    qputenv("HOME", m_home.toUtf8());
    const QString icon = m_appDir + "/icon.ini";
    QFile::remove(icon);
    QVERIFY(QFile::copy(qEnvironmentVariable("PAGELUX_SOURCE_DIR") + "/deploy/icon.ini", icon));
    QFile::setPermissions(icon, QFile::ReadOwner | QFile::WriteOwner);
    QSettings theme(icon, QSettings::IniFormat);
    theme.setIniCodec("UTF-8");
    theme.setValue("Set/IsErrorTips", "0");
    qInstallMessageHandler(captureLog);
}

void TestDocList::init()
{
    g_log.clear();
    m_folder.reset(new QTemporaryDir);
    QVERIFY(m_folder->isValid());
    QDir(m_appDir + "/" + m_user).removeRecursively();
    QVERIFY(QDir().mkpath(m_appDir + "/" + m_user));
    QSettings ini(m_appDir + "/" + m_user + "/UILastSetting.ini", QSettings::IniFormat);
    ini.setValue("MainSettings/FilePath", m_folder->path());
    ini.setValue("MainSettings/ErrorTips", "0");
}

void TestDocList::cleanupTestCase()
{
    qInstallMessageHandler(nullptr);
    m_folder.reset();
    QDir(m_appDir + "/" + m_user).removeRecursively();
    QFile::remove(m_appDir + "/icon.ini");
    QDir(m_home).removeRecursively();
}

std::unique_ptr<ADFmain> TestDocList::openHome(int expectedCells)
{
    std::unique_ptr<ADFmain> w(new ADFmain);
    w->show();
    const bool ready = QTest::qWaitForWindowExposed(w.get()) &&
                       QTest::qWaitFor([&] { return list(*w)->count() == expectedCells; }, 10000);
    if (!ready)
        return nullptr;
    return w;
}

QStringList TestDocList::names(ADFmain &w)
{
    QStringList result;
    for (int i = 0; i < list(w)->count(); ++i)
        result << list(w)->item(i)->data(ItemNameRole).toString();
    return result;
}

QStringList TestDocList::selectedNames(ADFmain &w)
{
    QStringList result;
    if (list(w)->isVisible()) {
        for (QListWidgetItem *item : list(w)->selectedItems())
            result << item->data(ItemNameRole).toString();
    } else {
        for (const QModelIndex &index : table(w)->selectionModel()->selectedRows(0))
            result << index.data().toString();
    }
    result.sort();
    return result;
}

void TestDocList::readableFilesize_data()
{
    QTest::addColumn<quint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing") << quint64(0) << "0B";
    QTest::newRow("under a kilobyte") << quint64(1000) << "1000B";
    QTest::newRow("whole kilobytes") << quint64(2048) << "2KB";
    QTest::newRow("half a kilobyte more") << quint64(1536) << "1.51KB";
    QTest::newRow("one byte more") << quint64(1025) << "1.1KB";
    QTest::newRow("megabytes") << quint64(1572864) << "1.51MB";
}

void TestDocList::readableFilesize()
{
    QFETCH(quint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(ADFmain::readableFilesize(bytes), text);
}

void TestDocList::cellText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("read");
    QTest::newRow("long name, landscape") << "CameraImage_20240101_0001.jpg"
                                          << "Came...1.jpg" << QSize(4000, 3000) << QSize(88, 66);
    QTest::newRow("short name, portrait") << "a.jpg"
                                          << "a.jpg" << QSize(3000, 4000) << QSize(60, 80);
    QTest::newRow("Chinese name, square") << "合同扫描件第一页的照片.png"
                                          << "合同扫描...片.png" << QSize(500, 500) << QSize(88, 80);
}

void TestDocList::cellText()
{
    QFETCH(QString, name);
    QFETCH(QString, shown);
    QFETCH(QSize, picture);
    QFETCH(QSize, read);
    QCOMPARE(ThreadAddItem::elidedName(name), shown);
    QCOMPARE(ThreadAddItem::readingSize(picture), read);
}

// Oldest read first; every readable picture gets its picture cell and the pass
// stops once; what cannot be read keeps its type icon.
void TestDocList::listingOrderAndTwoPasses()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QStringList order = {"c oldest.PNG", "b.jpg",     "a's \"page\".tiff",
                               "corrupt.jpg",  "empty.bmp", "huge.bmp"};
    writePicture(path(order[0]), QSize(40, 30));
    writePicture(path(order[1]), QSize(30, 40));
    writePicture(path(order[2]), QSize(50, 50));
    QFile corrupt(path(order[3]));
    QVERIFY(corrupt.open(QIODevice::WriteOnly) && corrupt.write(QByteArray(3000, 'x')) > 0);
    corrupt.close();
    QFile(path(order[4])).open(QIODevice::WriteOnly);
    QVERIFY(testpictures::writeAll(path(order[5]), testpictures::hugeBmp()));
    const int age[] = {300, 200, 100, 50, 10, 5};
    for (int i = 0; i < order.count(); ++i) {
        QFile file(path(order[i]));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(now.addSecs(-age[i]), QFileDevice::FileAccessTime));
    }
    auto w = openHome(order.count());
    QVERIFY(w);
    QCOMPARE(names(*w), order);
    QTRY_COMPARE(g_log.count("***************计时器关闭****************\n"), 1);
    QTest::qWait(100);
    QCOMPARE(g_log.count("***************计时器关闭****************\n"), 1);
    const QSize pictures[] = {QSize(88, 66), QSize(60, 80), QSize(88, 80),
                              QSize(64, 64), QSize(64, 64), QSize(64, 64)};
    for (int i = 0; i < order.count(); ++i) {
        QListWidgetItem *item = list(*w)->item(i);
        QCOMPARE(item->data(ItemReplacedRole).toString(), QString("1"));
        QLabel *image = list(*w)->itemWidget(item)->findChildren<QLabel *>().first();
        QCOMPARE(image->pixmap(Qt::ReturnByValue).size(), pictures[i]);
    }
}

void TestDocList::buttonsFollowSelection()
{
    writePicture(path("one.jpg"), QSize(32, 32));
    writePicture(path("two.jpg"), QSize(32, 32));
    auto w = openHome(2);
    QVERIFY(w);
    auto enabled = [&](bool state) {
        for (const char *name : kButtons) {
            if (button(*w, name)->isEnabled() != state)
                return false;
        }
        return true;
    };
    QVERIFY(enabled(true)); // the first document is selected
    list(*w)->clearSelection();
    QVERIFY(enabled(false));
    list(*w)->item(1)->setSelected(true);
    QVERIFY(enabled(true));
    showTable(*w);
    QCOMPARE(table(*w)->model()->rowCount(), 2);
    QVERIFY(enabled(true)); // the table page opens on its first row
    table(*w)->clearSelection();
    QVERIFY(enabled(false));
    table(*w)->selectRow(1);
    QVERIFY(enabled(true));
}

// Left then right gives back the very pixels; a PDF in the selection stops the
// whole turn; a file that cannot be turned stays as it was and is reported.
void TestDocList::rotation()
{
    writePicture(path("page.jpg"), QSize(64, 48));
    QFile(path("doc.pdf")).open(QIODevice::WriteOnly);
    QFile bad(path("bad.jpg"));
    QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write("not a picture") > 0);
    bad.close();
    auto w = openHome(3);
    QVERIFY(w);
    const int page = names(*w).indexOf("page.jpg");
    const QImage before(path("page.jpg"));
    list(*w)->clearSelection();
    list(*w)->item(page)->setSelected(true);
    button(*w, "leftbtn")->click();
    QCOMPARE(QImage(path("page.jpg")).size(), QSize(48, 64));
    QLabel *image = list(*w)->itemWidget(list(*w)->item(page))->findChildren<QLabel *>().first();
    QCOMPARE(image->pixmap(Qt::ReturnByValue).size(), QSize(60, 80));
    QVERIFY(list(*w)->item(page)->isSelected());
    button(*w, "rightbtn")->click();
    QCOMPARE(QImage(path("page.jpg")), before);

    const QByteArray jpeg = contents(path("page.jpg"));
    list(*w)->item(names(*w).indexOf("doc.pdf"))->setSelected(true);
    button(*w, "rightbtn")->click();
    QCOMPARE(contents(path("page.jpg")), jpeg);
    QVERIFY(g_log.contains("旋转时选中了pdf文件，无错误提示已自动返回"));

    list(*w)->clearSelection();
    list(*w)->item(names(*w).indexOf("bad.jpg"))->setSelected(true);
    button(*w, "leftbtn")->click();
    QCOMPARE(contents(path("bad.jpg")), QByteArray("not a picture"));
    QVERIFY(g_log.filter("未能旋转").filter("bad.jpg").count() == 1);

    // On the table page the turned file is selected again after the table is read anew.
    showTable(*w);
    table(*w)->clearSelection();
    const int row =
        table(*w)->model()->match(table(*w)->model()->index(0, 0), Qt::DisplayRole, "page.jpg").first().row();
    table(*w)->selectRow(row);
    button(*w, "leftbtn")->click();
    QCOMPARE(QImage(path("page.jpg")).size(), QSize(48, 64));
    QCOMPARE(selectedNames(*w), QStringList{"page.jpg"});
}

void TestDocList::deletionReselectsByPosition_data()
{
    QTest::addColumn<bool>("onTable");
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<QStringList>("selectedAfter");
    QTest::newRow("thumbnails, first two") << false << QList<int>{0, 1} << QStringList{"3.png", "4.png"};
    QTest::newRow("thumbnails, the last") << false << QList<int>{4} << QStringList{};
    QTest::newRow("table, middle one") << true << QList<int>{2} << QStringList{"4.png"};
}

void TestDocList::deletionReselectsByPosition()
{
    QFETCH(bool, onTable);
    QFETCH(QList<int>, rows);
    QFETCH(QStringList, selectedAfter);
    const QDateTime now = QDateTime::currentDateTime();
    for (int i = 1; i <= 5; ++i) {
        writePicture(path(QString("%1.png").arg(i)), QSize(20, 20));
        QFile file(path(QString("%1.png").arg(i)));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(now.addSecs(i - 10), QFileDevice::FileAccessTime));
        QVERIFY(file.setFileTime(now.addSecs(i - 10), QFileDevice::FileModificationTime));
    }
    auto w = openHome(5);
    QVERIFY(w);
    if (onTable) {
        showTable(*w);
        table(*w)->clearSelection();
        for (int row : rows)
            table(*w)->selectionModel()->select(table(*w)->model()->index(row, 0),
                                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
    } else {
        list(*w)->clearSelection();
        for (int row : rows)
            list(*w)->item(row)->setSelected(true);
    }
    button(*w, "deletebtn")->click();
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files).count(), 5 - rows.count());
    for (int row : rows)
        QVERIFY(!QFile::exists(path(QString("%1.png").arg(row + 1))));
    QCOMPARE(selectedNames(*w), selectedAfter);
    if (!onTable)
        QCOMPARE(list(*w)->count(), 5 - rows.count());
}

void TestDocList::fileRemovedBehindTheProgramsBack()
{
    writePicture(path("kept.png"), QSize(20, 20));
    writePicture(path("gone.png"), QSize(20, 20));
    auto w = openHome(2);
    QVERIFY(w);
    list(*w)->selectAll();
    QVERIFY(QFile::remove(path("gone.png")));
    button(*w, "rightbtn")->click(); // before the folder watcher has settled
    QVERIFY(g_log.filter("gone.png").filter("文件列表将重新加载").count() == 1);
    QTRY_COMPARE(names(*w), QStringList{"kept.png"});
    QCOMPARE(QImage(path("kept.png")).size(), QSize(20, 20));
}

void TestDocList::otherProgramsChangesAppear_data()
{
    QTest::addColumn<bool>("onTable");
    QTest::newRow("thumbnails") << false;
    QTest::newRow("table") << true;
}

void TestDocList::otherProgramsChangesAppear()
{
    QFETCH(bool, onTable);
    writePicture(path("a.png"), QSize(20, 20));
    writePicture(path("b.png"), QSize(20, 20));
    auto w = openHome(2);
    QVERIFY(w);
    if (onTable)
        showTable(*w);
    const QStringList selected = selectedNames(*w);
    QVERIFY(!selected.isEmpty());
    const QString other = selected.first() == "a.png" ? "b.png" : "a.png";
    writePicture(path("new one.png"), QSize(20, 20));
    QVERIFY(QFile::remove(path(other)));
    auto shown = [&] {
        if (!onTable)
            return names(*w);
        QStringList rows;
        for (int r = 0; r < table(*w)->model()->rowCount(); ++r)
            rows << table(*w)->model()->index(r, 0).data().toString();
        return rows;
    };
    QTRY_COMPARE_WITH_TIMEOUT(shown().count(), 2, 1000);
    QTRY_VERIFY_WITH_TIMEOUT(shown().contains("new one.png") && !shown().contains(other), 1000);
    QCOMPARE(selectedNames(*w), selected);
}

void TestDocList::capturedFilesAreAppendedAndSelected()
{
    writePicture(path("old.jpg"), QSize(20, 20));
    auto w = openHome(1);
    QVERIFY(w);
    writePicture(path("CameraImage_0001.jpg"), QSize(40, 30));
    w->appendCapturedFiles({"CameraImage_0001.jpg"});
    QCOMPARE(names(*w), QStringList({"old.jpg", "CameraImage_0001.jpg"}));
    QCOMPARE(selectedNames(*w), QStringList{"CameraImage_0001.jpg"});
    QTest::qWait(400); // the folder watcher settles: no second cell
    QCOMPARE(list(*w)->count(), 2);
}

// A folder far larger than a screen is browsed to its end by scrolling.
void TestDocList::scrollingReachesTheEndOfALargeFolder()
{
    const int total = 300;
    writePicture(path("0000.png"), QSize(8, 8));
    for (int i = 1; i < total; ++i)
        QVERIFY(QFile::copy(path("0000.png"), path(QString("%1.png").arg(i, 4, 10, QChar('0')))));
    std::unique_ptr<ADFmain> w(new ADFmain);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QTRY_VERIFY(list(*w)->count() > 0);
    const int firstScreen = list(*w)->count();
    QVERIFY(firstScreen < total);
    QScrollBar *bar = list(*w)->verticalScrollBar();
    for (int round = 0; round < total && list(*w)->count() < total; ++round) {
        bar->setValue(bar->maximum());
        QTRY_VERIFY(bar->value() < bar->maximum() || list(*w)->count() == total);
    }
    QCOMPARE(list(*w)->count(), total);
    const QStringList all = names(*w);
    QCOMPARE(QSet<QString>(all.begin(), all.end()).count(), total);
}

QTEST_MAIN(TestDocList)
#include "tst_doclist.moc"
