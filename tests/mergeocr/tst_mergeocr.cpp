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

namespace {
struct Merge {
    QStringList selection;
    // A kept file written ("+name"), a picture removed ("-name") or made garbage
    // ("~name") once the list shows it, or the folder made unwritable ("!").
    QString prepare;
    bool tips;
    int reply;
    QString message;  // part of the one box shown
    QString expected; // the new PDF; empty: none written
    int pages;
};
} // namespace
Q_DECLARE_METATYPE(Merge)
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
    // The PDF is named after the first picture and never replaces a file that exists;
    // PDFs are never merged, missing files stop the job, a failure names its cause.
    void merge_data()
    {
        QTest::addColumn<Merge>("merge");
        const int yes = QMessageBox::Yes, no = QMessageBox::No;
        const QStringList ac = {"a.jpg", "c.png"};
        QTest::newRow("plain") << Merge{ac, "", false, 0, "", "a.pdf", 2};
        QTest::newRow("name taken") << Merge{ac, "+a.pdf", false, 0, "", "a(1).pdf", 2};
        QTest::newRow("numbered name taken after a restart")
            << Merge{ac, "+a.pdf +a(1).pdf", false, 0, "", "a(2).pdf", 2};
        QTest::newRow("tiff") << Merge{{"scan.tiff"}, "", false, 0, "", "scan.pdf", 1};
        QTest::newRow("only PDFs") << Merge{{"x.pdf"}, "", true, yes, "", "", 0};
        QTest::newRow("PDF dropped, tips off") << Merge{{"a.jpg", "x.pdf"}, "", false, 0, "", "a.pdf", 1};
        QTest::newRow("PDF dropped, user declines") << Merge{{"a.jpg", "x.pdf"}, "", true, no, "", "", 0};
        QTest::newRow("PDF dropped, user agrees")
            << Merge{{"a.jpg", "x.pdf", "b.jpg"}, "", true, yes, "", "a.pdf", 2};
        QTest::newRow("missing file") << Merge{{"a.jpg", "b.jpg"}, "-b.jpg", true, yes, "/b.jpg", "", 0};
        QTest::newRow("one unreadable picture")
            << Merge{{"a.jpg", "b.jpg"}, "~b.jpg", true, yes, MergePDFThread::statusText(3), "a.pdf", 1};
        QTest::newRow("only unreadable pictures")
            << Merge{{"b.jpg"}, "~b.jpg", true, yes, MergePDFThread::statusText(3), "", 0};
        QTest::newRow("unwritable folder")
            << Merge{{"a.jpg"}, "!", true, yes, MergePDFThread::statusText(4), "", 0};
    }
    void merge()
    {
        QFETCH(Merge, merge);
        for (const char *name : {"a.jpg", "b.jpg", "c.png", "scan.tiff"})
            writePicture(name);
        const QStringList kept =
            merge.prepare.split(' ', Qt::SkipEmptyParts).filter(QRegularExpression("^\\+"));
        for (const QString &name : QStringList{"+x.pdf"} + kept) {
            QFile file(path(name.mid(1)));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("kept") == 4);
        }
        openHome(merge.tips, 5 + kept.size());
        const QStringList before = QDir(m_folder->path()).entryList(QDir::Files);
        select(merge.selection);
        if (merge.prepare == "!") {
            if (!unwritablefolder::lock(m_folder->path())) {
                unwritablefolder::restore(m_folder->path());
                QSKIP("no way to make a folder unwritable for this user");
            }
        } else if (merge.prepare.startsWith('-')) {
            QVERIFY(QFile::remove(path(merge.prepare.mid(1))));
        } else if (merge.prepare.startsWith('~')) {
            QFile file(path(merge.prepare.mid(1)));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a picture") > 0);
        }
        {
            ModalWatch watch({}, QMessageBox::StandardButton(merge.reply));
            runJob("mergepdf");
            unwritablefolder::restore(m_folder->path());
            QCOMPARE(watch.boxes.size(), merge.tips ? 1 : 0);
            if (!merge.message.isEmpty())
                QVERIFY2(watch.boxes.first().contains(merge.message), qPrintable(watch.boxes.first()));
        }
        QStringList produced = QDir(m_folder->path()).entryList(QDir::Files);
        for (const QString &name : before)
            produced.removeOne(name);
        // One new PDF or none: no half or temporary file either.
        QCOMPARE(produced, merge.expected.isEmpty() ? QStringList() : QStringList{merge.expected});
        for (const QString &name : QStringList{"+x.pdf"} + kept) {
            QFile file(path(name.mid(1)));
            QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == "kept");
        }
        if (!merge.expected.isEmpty()) {
            QCOMPARE(pdfPages(merge.expected), merge.pages);
            QTRY_COMPARE_WITH_TIMEOUT(selectedNames(), produced, 20000);
        }
    }
    // A searchable PDF joins the list, selected; the other kinds are written but not listed.
    void ocrExports_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("pictures");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<bool>("languageData");
        QTest::newRow("searchable PDF") << "npdfbtn" << 3 << "pdf" << true;
        QTest::newRow("text") << "txtbtn" << 1 << "txt" << true;
        QTest::newRow("no language data") << "npdfbtn" << 1 << "pdf" << false;
    }
    void ocrExports()
    {
        QFETCH(QString, button);
        QFETCH(int, pictures);
        QFETCH(QString, suffix);
        QFETCH(bool, languageData);
        QTemporaryDir noLanguages;
        if (!languageData)
            qputenv("TESSDATA_PREFIX", noLanguages.path().toUtf8());
        for (int i = 0; i < pictures; ++i)
            QVERIFY(ocrtruth::renderPage(path(QString("page%1.png").arg(i)),
                                         {QString("Lighthouse %1").arg(i)}, 150));
        openHome(false, pictures);
        select(QDir(m_folder->path()).entryList(QDir::Files));
        runJob(button.toUtf8().constData());
        qunsetenv("TESSDATA_PREFIX");
        const QStringList produced = QDir(m_folder->path()).entryList({"*." + suffix});
        if (!languageData) {
            QCOMPARE(produced, QStringList());
            QVERIFY(!log().filter(MergePDFThread::statusText(5)).isEmpty());
            QCOMPARE(list()->count(), pictures);
            return;
        }
        QCOMPARE(produced.size(), 1);
        const QString text = suffix == "pdf"
                                 ? ocrtruth::run("pdftotext", {path(produced.first()), "-"})
                                 : QString::fromUtf8([&] {
                                       QFile f(path(produced.first()));
                                       return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
                                   }());
        QVERIFY2(text.contains("Lighthouse"), qPrintable(text));
        if (suffix == "pdf") {
            QCOMPARE(pdfPages(produced.first()), pictures);
            QCOMPARE(log().filter("ADFmain::slotOCRProgress").size(), pictures); // page k of n on the mask
            QVERIFY(log().contains(QString("ADFmain::slotOCRProgress %1/%1").arg(pictures)));
            QTRY_COMPARE_WITH_TIMEOUT(list()->count(), pictures + 1, 20000);
            QCOMPARE(selectedNames(), produced);
        } else {
            QTest::qWait(400); // the folder watcher settles: still no new cell
            QCOMPARE(list()->count(), pictures);
        }
    }
    // A second job started while one runs is refused; the first one finishes alone.
    void oneJobAtATime()
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

private:
    void openHome(bool errorTips, int cells)
    {
        QSettings ini(m_user.settingsFile(), QSettings::IniFormat);
        ini.setValue("MainSettings/FilePath", m_folder->path());
        ini.setValue("MainSettings/ErrorTips", errorTips ? "1" : "0");
        ini.sync();
        m_home.reset(new ADFmain);
        m_home->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_home.get()));
        QTRY_COMPARE_WITH_TIMEOUT(list()->count(), cells, 20000);
    }
    void select(const QStringList &names)
    {
        list()->clearSelection();
        for (int i = 0; i < list()->count(); ++i)
            if (names.contains(list()->item(i)->data(ItemNameRole).toString()))
                list()->item(i)->setSelected(true);
    }
    void runJob(const char *button)
    {
        m_home->findChild<QPushButton *>(button)->click();
        QTRY_VERIFY_WITH_TIMEOUT(!m_home->documentJobRunning(), 120000);
        QVERIFY(!m_home->findChild<QWidget *>("maskWidget")->isVisible());
    }
    QStringList selectedNames() const
    {
        QStringList names;
        for (QListWidgetItem *item : list()->selectedItems())
            names << item->data(ItemNameRole).toString();
        return names;
    }
    void writePicture(const QString &name)
    {
        QImage image(60, 40, QImage::Format_RGB32);
        image.fill(QColor(20 * name.size(), 120, 200));
        QVERIFY(image.save(path(name)));
    }
    int pdfPages(const QString &name) const
    {
        const QByteArray info = ocrtruth::run("pdfinfo", {path(name)});
        const int at = info.indexOf("Pages:");
        return at < 0 ? 0 : info.mid(at + 6, info.indexOf('\n', at) - at - 6).trimmed().toInt();
    }
    QString path(const QString &name) const { return m_folder->path() + "/" + name; }
    MyListWidget *list() const { return m_home->findChild<MyListWidget *>("centerwidget"); }

    // The window keeps its settings per user, the user being named by the home folder.
    settingswindows::TestUser m_user{"plxmergeocr"};
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<ADFmain> m_home;
};

QTEST_MAIN(TestMergeOcr)
#include "tst_mergeocr.moc"
