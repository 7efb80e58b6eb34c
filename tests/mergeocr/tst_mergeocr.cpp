// PDF merge and OCR export from the home window, on temporary working folders.
#include "../common/settingswindows.h"
#include "../common/unwritablefolder.h"
#include "adfmain.h"
#include "mergepdfthread.h"
#include "mylistwidget.h"
#include "ocrtruth.h"
#include "threadadditem.h"

#include <QPushButton>
#include <QTemporaryDir>

#include <memory>

using settingswindows::log;
using settingswindows::ModalWatch;

class TestMergeOcr : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { settingswindows::installTheme(); }
    void init()
    {
        m_home.reset();
        settingswindows::clearLog();
        m_folder.reset(new QTemporaryDir);
        QVERIFY(m_folder->isValid());
        g_nMergeIndex = 1; // as after a restart
    }
    void cleanupTestCase()
    {
        m_home.reset();
        m_folder.reset();
        settingswindows::removeTheme();
    }
    void mergeNames_data();
    void mergeNames();
    void selectionRules_data();
    void selectionRules();
    void ocrExports_data();
    void ocrExports();
    void oneJobAtATime();

private:
    void openHome(bool errorTips, int cells);
    void select(const QStringList &names);
    // Presses a button and waits for the job to end; the window is idle again after it.
    void runJob(const char *button);
    QStringList selectedNames() const;
    QString path(const QString &name) const { return m_folder->path() + "/" + name; }
    void writePicture(const QString &name);
    int pdfPages(const QString &name) const;

    // The window keeps its settings per user, the user being named by the home folder.
    settingswindows::TestUser m_user{"plxmergeocr"};
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<ADFmain> m_home;
};

void TestMergeOcr::openHome(bool errorTips, int cells)
{
    QSettings ini(m_user.settingsFile(), QSettings::IniFormat);
    ini.setValue("MainSettings/FilePath", m_folder->path());
    ini.setValue("MainSettings/ErrorTips", errorTips ? "1" : "0");
    ini.sync();
    m_home.reset(new ADFmain);
    m_home->show();
    auto *list = m_home->findChild<MyListWidget *>("centerwidget");
    QVERIFY(QTest::qWaitForWindowExposed(m_home.get()));
    QTRY_COMPARE_WITH_TIMEOUT(list->count(), cells, 20000);
}

void TestMergeOcr::select(const QStringList &names)
{
    auto *list = m_home->findChild<MyListWidget *>("centerwidget");
    list->clearSelection();
    for (int i = 0; i < list->count(); ++i)
        if (names.contains(list->item(i)->data(ItemNameRole).toString()))
            list->item(i)->setSelected(true);
}

void TestMergeOcr::runJob(const char *button)
{
    m_home->findChild<QPushButton *>(button)->click();
    QTRY_VERIFY_WITH_TIMEOUT(!m_home->documentJobRunning(), 120000);
    QVERIFY(!m_home->findChild<QWidget *>("maskWidget")->isVisible());
}

QStringList TestMergeOcr::selectedNames() const
{
    QStringList names;
    for (QListWidgetItem *item : m_home->findChild<MyListWidget *>("centerwidget")->selectedItems())
        names << item->data(ItemNameRole).toString();
    return names;
}

void TestMergeOcr::writePicture(const QString &name)
{
    QImage image(60, 40, QImage::Format_RGB32);
    image.fill(QColor(20 * name.size(), 120, 200));
    QVERIFY(image.save(path(name)));
}

int TestMergeOcr::pdfPages(const QString &name) const
{
    const QByteArray info = ocrtruth::run("pdfinfo", {path(name)});
    const int at = info.indexOf("Pages:");
    return at < 0 ? 0 : info.mid(at + 6, info.indexOf('\n', at) - at - 6).trimmed().toInt();
}

// The PDF is named after the first picture and never replaces a file that exists.
void TestMergeOcr::mergeNames_data()
{
    QTest::addColumn<QStringList>("pictures");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QStringList{"a.jpg", "b.png"} << QStringList{} << "a.pdf";
    QTest::newRow("name taken") << QStringList{"a.jpg", "b.png"} << QStringList{"a.pdf"} << "a(1).pdf";
    QTest::newRow("numbered name taken after a restart")
        << QStringList{"a.jpg", "b.png"} << QStringList{"a.pdf", "a(1).pdf"} << "a(2).pdf";
    QTest::newRow("tiff") << QStringList{"scan.tiff", "b.png"} << QStringList{} << "scan.pdf";
}

void TestMergeOcr::mergeNames()
{
    QFETCH(QStringList, pictures);
    QFETCH(QStringList, existing);
    QFETCH(QString, expected);
    for (const QString &name : pictures)
        writePicture(name);
    for (const QString &name : existing) {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("kept");
    }
    openHome(false, pictures.size() + existing.size());
    select(pictures);
    runJob("mergepdf");
    QCOMPARE(pdfPages(expected), pictures.size());
    for (const QString &name : existing) {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("kept"));
    }
    QTRY_COMPARE_WITH_TIMEOUT(selectedNames(), QStringList{expected}, 20000);
}

// PDFs are never merged, missing files stop the job, a failure names its cause.
void TestMergeOcr::selectionRules_data()
{
    QTest::addColumn<bool>("errorTips");
    QTest::addColumn<QStringList>("selection");
    // A picture whose content is garbage, or removed if "-" prefixed; "!" the folder made unwritable.
    QTest::addColumn<QString>("corrupt");
    QTest::addColumn<int>("reply");
    QTest::addColumn<QString>("message"); // part of the one box shown; empty: no box
    QTest::addColumn<int>("pages");       // of the new PDF; 0: none written
    QTest::newRow("only PDFs") << true << QStringList{"x.pdf"} << "" << int(QMessageBox::Yes) << "" << 0;
    QTest::newRow("PDF dropped, tips off") << false << QStringList{"a.jpg", "x.pdf"} << "" << 0 << "" << 1;
    QTest::newRow("PDF dropped, user declines")
        << true << QStringList{"a.jpg", "x.pdf"} << "" << int(QMessageBox::No) << "" << 0;
    QTest::newRow("PDF dropped, user agrees")
        << true << QStringList{"a.jpg", "x.pdf", "b.jpg"} << "" << int(QMessageBox::Yes) << "" << 2;
    QTest::newRow("missing file") << true << QStringList{"a.jpg", "b.jpg"} << "-b.jpg"
                                  << int(QMessageBox::Yes) << "/b.jpg" << 0;
    QTest::newRow("one unreadable picture") << true << QStringList{"a.jpg", "b.jpg"} << "b.jpg"
                                            << int(QMessageBox::Yes) << MergePDFThread::statusText(3) << 1;
    QTest::newRow("only unreadable pictures") << true << QStringList{"b.jpg"} << "b.jpg"
                                              << int(QMessageBox::Yes) << MergePDFThread::statusText(3) << 0;
    QTest::newRow("unwritable folder")
        << true << QStringList{"a.jpg"} << "!" << int(QMessageBox::Yes) << MergePDFThread::statusText(4) << 0;
}

void TestMergeOcr::selectionRules()
{
    QFETCH(bool, errorTips);
    QFETCH(QStringList, selection);
    QFETCH(QString, corrupt);
    QFETCH(int, reply);
    QFETCH(QString, message);
    QFETCH(int, pages);
    writePicture("a.jpg");
    writePicture("b.jpg");
    QFile pdf(path("x.pdf"));
    QVERIFY(pdf.open(QIODevice::WriteOnly));
    pdf.close();
    openHome(errorTips, 3);
    select(selection);
    if (corrupt == "!") {
        if (!unwritablefolder::lock(m_folder->path())) {
            unwritablefolder::restore(m_folder->path());
            QSKIP("no way to make a folder unwritable for this user");
        }
    } else if (corrupt.startsWith('-')) {
        QVERIFY(QFile::remove(path(corrupt.mid(1))));
    } else if (!corrupt.isEmpty()) {
        QFile file(path(corrupt));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a picture");
    }
    {
        ModalWatch watch({}, QMessageBox::StandardButton(reply));
        runJob("mergepdf");
        unwritablefolder::restore(m_folder->path());
        QCOMPARE(watch.boxes.size(), errorTips ? 1 : 0);
        if (!message.isEmpty())
            QVERIFY2(watch.boxes.first().contains(message), qPrintable(watch.boxes.first()));
    }
    QStringList produced = QDir(m_folder->path()).entryList(QDir::Files);
    for (const char *name : {"a.jpg", "b.jpg", "x.pdf"})
        produced.removeOne(name);
    QCOMPARE(produced.size(), pages > 0 ? 1 : 0); // no half or temporary file either
    if (pages > 0)
        QCOMPARE(pdfPages(produced.first()), pages);
}

// A searchable PDF joins the list, selected; the other kinds are written but not listed.
void TestMergeOcr::ocrExports_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("pictures");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("languageData");
    QTest::newRow("searchable PDF") << "npdfbtn" << 3 << "pdf" << true;
    QTest::newRow("text") << "txtbtn" << 1 << "txt" << true;
    QTest::newRow("no language data") << "npdfbtn" << 1 << "pdf" << false;
}

void TestMergeOcr::ocrExports()
{
    QFETCH(QString, button);
    QFETCH(int, pictures);
    QFETCH(QString, suffix);
    QFETCH(bool, languageData);
    QTemporaryDir noLanguages;
    if (!languageData)
        qputenv("TESSDATA_PREFIX", noLanguages.path().toUtf8());
    for (int i = 0; i < pictures; ++i)
        QVERIFY(
            ocrtruth::renderPage(path(QString("page%1.png").arg(i)), {QString("Lighthouse %1").arg(i)}, 150));
    openHome(false, pictures);
    select(QDir(m_folder->path()).entryList(QDir::Files));
    runJob(button.toUtf8().constData());
    qunsetenv("TESSDATA_PREFIX");
    const QStringList produced = QDir(m_folder->path()).entryList({"*." + suffix});
    auto *list = m_home->findChild<MyListWidget *>("centerwidget");
    if (!languageData) {
        QCOMPARE(produced, QStringList());
        QVERIFY(!log().filter(MergePDFThread::statusText(5)).isEmpty());
        QCOMPARE(list->count(), pictures);
        return;
    }
    QCOMPARE(produced.size(), 1);
    const QString text =
        suffix == "pdf" ? ocrtruth::run("pdftotext", {path(produced.first()), "-"}) : QString::fromUtf8([&] {
            QFile f(path(produced.first()));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }());
    QVERIFY2(text.contains("Lighthouse"), qPrintable(text));
    if (suffix == "pdf") {
        QCOMPARE(pdfPages(produced.first()), pictures);
        QCOMPARE(log().filter("ADFmain::slotOCRProgress").size(), pictures); // page k of n on the mask
        QVERIFY(log().contains(QString("ADFmain::slotOCRProgress %1/%1").arg(pictures)));
        QTRY_COMPARE_WITH_TIMEOUT(list->count(), pictures + 1, 20000);
        QCOMPARE(selectedNames(), produced);
    } else {
        QTest::qWait(400); // the folder watcher settles: still no new cell
        QCOMPARE(list->count(), pictures);
    }
}

// A second job started while one runs is refused; the first one finishes alone.
void TestMergeOcr::oneJobAtATime()
{
    writePicture("a.jpg");
    openHome(false, 1);
    select({"a.jpg"});
    QMetaObject::invokeMethod(m_home.get(), "onButtonMergepdfClicked");
    QVERIFY(m_home->documentJobRunning());
    QMetaObject::invokeMethod(m_home.get(), "onButtonTXTClicked");
    QMetaObject::invokeMethod(m_home.get(), "onButtonMergepdfClicked");
    QTRY_VERIFY_WITH_TIMEOUT(!m_home->documentJobRunning(), 60000);
    QCOMPARE(log().filter("本次操作被拒绝").size(), 2);
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files), QStringList({"a.jpg", "a.pdf"}));
}

QTEST_MAIN(TestMergeOcr)
#include "tst_mergeocr.moc"
