// The home window: its stored settings, the camera selector, the settings windows it
// opens, and PDF merge and OCR export on temporary working folders.
#include "CamCaptureSDK.h"
#include "adfmain.h"
#include "mergepdfthread.h"
#include "mylistwidget.h"
#include "nameformat.h"
#include "ocrtruth.h"
#include "set.h"
#include "settingswindows.h"
#include "threadadditem.h"
#include "titlebar.h"
#include "twocameras.h"
#include "unwritablefolder.h"

#include <functional>
#include <memory>

using namespace settingswindows;
using twocameras::setPresent;

namespace {
// Waits without running the event loop, so that nothing queued is delivered.
bool waitWithoutEvents(const std::function<bool()> &done)
{
    QDeadlineTimer deadline(20000);
    while (!done() && !deadline.hasExpired())
        QThread::msleep(10);
    return done();
}
void replug(ADFmain &w, bool first, bool second)
{
    setPresent(first, second);
    QMetaObject::invokeMethod(&w, "slotGetDeviceChanged", Q_ARG(QString, "/dev"));
}
} // namespace

class TestADFmain : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Error tips off, so that no message box can block a test.
        installTheme({{"Set/IsErrorTips", "0"}});
        twocameras::configure();
        QCOMPARE(Cam_Init(), long(ERROR_GOOD));
    }
    void init()
    {
        m_home.reset();
        m_folder.reset(new QTemporaryDir);
        QVERIFY(m_folder->isValid());
        g_nMergeIndex = 1; // as after a restart
        setPresent(true, true);
        clearLog();
        QDir(m_user.settingsDir).removeRecursively();
        QDir(m_user.home).removeRecursively();
        QVERIFY(QDir().mkpath(m_user.home + "/Documents"));
    }
    void cleanupTestCase()
    {
        m_home.reset();
        m_folder.reset();
        removeTheme();
    }

    // A first start writes the defaults and makes the folder with its parents (a new account
    // may have no Documents), or writes them anyway. The next start reads them, repairs values
    // out of range and writes them on closing over whatever changed on disk meanwhile.
    void storedValues_data()
    {
        QTest::addColumn<bool>("blocked"); // Documents is a file
        QTest::addColumn<Values>("stored");
        QTest::addColumn<Values>("written"); // the values that differ from the stored ones
        QTest::newRow("every value kept")
            << false
            << values(
                   "MainSettings/NameBase=扫描_合同;MainSettings/StartNum=42;MainSettings/NameFormatType=0;"
                   "CamSettings/XResolution=1920;CamSettings/YResolution=1080;CamSettings/WaterMarkType=2;"
                   "CamSettings/WaterTextContent=机密 Confidential;CamSettings/WaterColorR=200;"
                   "CamSettings/BookExportIndex=3;CamSettings/TakeModleFormat=定时(5秒);"
                   "CamSettings/WaterImagePath=/pics/logo.png")
            << Values();
        QTest::newRow("image watermark, Documents a file")
            << true << values("CamSettings/WaterMarkType=1") << Values();
        // A type other than 0 and 1 is text.
        const QString base = "MainSettings/NameBase=", type = ";CamSettings/WaterMarkType=";
        for (const char *start : {"0", "abc"})
            QTest::newRow(start) << false
                                 << values(base + QString(31, 'B') + type +
                                           "5;MainSettings/StartNum=" + start)
                                 << values(base + QString(30, 'B') + type + "2;MainSettings/StartNum=1");
    }
    void storedValues()
    {
        QFETCH(bool, blocked);
        QFETCH(Values, stored);
        QFETCH(Values, written);
        QVERIFY(QDir(m_user.home + "/Documents").removeRecursively());
        QFile blocker(m_user.home + "/Documents");
        QVERIFY(!blocked || blocker.open(QIODevice::WriteOnly));
        {
            ADFmain first;
            QCOMPARE(QDir(m_user.home + "/Documents/PageLux").exists(), !blocked);
        }
        QVERIFY(
            log().contains(QString("ADFmain::ADFmain() __ 文件夹") + (blocked ? "创建失败" : "已成功创建")));
        Values expected = readAll();
        QCOMPARE(expected.size(), 7 + 22);
        const Values defaults = values("MainSettings/FilePath=" + m_user.home +
                                       "/Documents/PageLux;MainSettings/StartNum=1;MainSettings/ErrorTips=0;"
                                       "CamSettings/TakeModleFormat=手动;CamSettings/WaterMarkType=0");
        for (auto it = defaults.begin(); it != defaults.end(); ++it)
            QCOMPARE(expected[it.key()], it.value());
        setValues(stored);
        expected.insert(stored);
        expected.insert(written);
        clearLog();
        ADFmain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(log().contains("adfmain::adfmain() -- SetInfo.nameFormat.nameBase 长度超过30 "),
                 !written.isEmpty());
        setValues({{"MainSettings/NameBase", "changed-on-disk"}});
        child<TitleBar>(&w)->m_pButtonClose->click();
        QVERIFY(!w.isVisible());
        QCOMPARE(readAll(), expected);
    }

    // Without a camera a warning takes the selector's place; the selector lists the
    // cameras as they come and go, keeping the user's choice while their number stays.
    void selectorFollowsTheCameras()
    {
        setPresent(false, false);
        ADFmain w;
        TitleBar *bar = child<TitleBar>(&w);
        // Warning, capture button and selector shown; the cameras listed and the one chosen.
        auto state = [bar] {
            return QString("%1%2%3 %4 %5")
                .arg(!bar->m_label->isHidden())
                .arg(!bar->m_capture->isHidden())
                .arg(!bar->m_comboSelect->isHidden())
                .arg(bar->m_comboSelect->count())
                .arg(bar->m_comboSelect->currentIndex());
        };
        QTRY_VERIFY_WITH_TIMEOUT(log().contains("ADFmain::updateInitDevUI() __ end\n"), 20000);
        QCOMPARE(state(), QString("100 0 -1"));
        replug(w, true, true);
        QCOMPARE(state(), QString("011 2 0"));
        char name[CAM_NAME_SIZE] = {};
        QCOMPARE(Cam_GetDevName(0, name), long(ERROR_GOOD));
        QCOMPARE(bar->m_comboSelect->itemText(0), QString::fromUtf8(name));
        QVERIFY(bar->m_capture->isEnabled() && bar->m_scan->isHidden());
        replug(w, true, false);
        QCOMPARE(state(), QString("011 1 0"));
        replug(w, true, true);
        bar->m_comboSelect->setCurrentIndex(1);
        replug(w, true, true);
        QCOMPARE(state(), QString("011 2 1"));
        replug(w, false, false);
        QVERIFY(state().startsWith("100"));
        replug(w, false, true);
        QCOMPARE(state(), QString("011 1 0"));
    }

    void hotPlugDuringDiscoveryWaitsForIt()
    {
        ADFmain w;
        // The start-up discovery has listed both cameras, its result not yet taken in,
        // when one is unplugged and the /dev change arrives.
        QVERIFY(waitWithoutEvents([] { return log().contains("初始化高拍仪线程结束信号已发送\n"); }));
        QFile control(twocameras::controlPath());
        QVERIFY(control.open(QIODevice::WriteOnly | QIODevice::Truncate));
        control.write("device 2 absent\n");
        control.close();
        QVERIFY(waitWithoutEvents([] {
            long count = -1;
            return Cam_GetDevCount(&count) == ERROR_GOOD && count == 1;
        }));
        QMetaObject::invokeMethod(&w, "slotGetDeviceChanged", Q_ARG(QString, "/dev"));
        // The scan runs after the older result, not overwritten by it.
        QTRY_VERIFY_WITH_TIMEOUT(
            log().contains("ADFmain::slotInitCamDevThreadOver() __ 初始化设备完成,开始更新设备结构体参数."),
            20000);
        QCOMPARE(child<TitleBar>(&w)->m_comboSelect->count(), 1);
    }

    // The settings window is modal and single; a new folder is written at once and listed;
    // closing the home window takes the settings windows along.
    void settingsWindows()
    {
        ADFmain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        TitleBar *bar = child<TitleBar>(&w);
        QTRY_COMPARE_WITH_TIMEOUT(bar->m_comboSelect->count(), 2, 20000);
        QSignalSpy mins(bar, SIGNAL(signalButtonMinClicked()));
        const QPoint minButton = bar->m_pButtonMin->mapTo(&w, bar->m_pButtonMin->rect().center());
        bar->m_pButtonSet->click();
        QPointer<Set> set = w.findChild<Set *>();
        QVERIFY(set && set->isVisible());
        QTest::mouseClick(w.windowHandle(), Qt::LeftButton, Qt::NoModifier, minButton);
        QCOMPARE(mins.count(), 0);
        bar->m_pButtonSet->click();
        QCOMPARE(w.findChildren<Set *>().size(), 1);

        const QString folder = m_user.home + "/新文件夹";
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QImage(40, 30, QImage::Format_RGB32).save(folder + "/page.jpg"));
        auto *list = w.findChild<QListWidget *>("centerwidget");
        QTRY_COMPARE(list->count(), 0);
        {
            ModalWatch watch(folder);
            set->findChild<QPushButton *>("selectbtn")->click();
        }
        set->findChild<TitleBar *>()->m_pButtonClose->click();
        QTRY_VERIFY(set.isNull());
        QCOMPARE(readAll()["MainSettings/FilePath"], folder);
        QTRY_COMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->data(ItemNameRole).toString(), QString("page.jpg"));
        QTest::mouseClick(w.windowHandle(), Qt::LeftButton, Qt::NoModifier, minButton);
        QCOMPARE(mins.count(), 1);

        bar->m_pButtonSet->click();
        set = w.findChild<Set *>();
        set->findChild<QPushButton *>("setFileNamebtn")->click();
        QPointer<NameFormat> naming = set->nameformatui;
        QVERIFY(naming && naming->isVisible());
        QMetaObject::invokeMethod(&w, "onButtonCloseClicked");
        QTRY_VERIFY(set.isNull() && naming.isNull());
    }

    // The PDF is named after the first picture and never replaces a file that exists;
    // PDFs are never merged, missing files stop the job, a failure names its cause.
    void merge_data()
    {
        // The pictures selected; what is done once the list shows them: kept files written
        // ("+name"), a picture removed ("-name") or made garbage ("~name"), the folder made
        // unwritable ("!"), or nothing ("."); the answer to the one box shown (Y, N; "-":
        // tips off, no box); the new PDF ("-": none) and its pages. Then part of the box's text.
        QTest::addColumn<QString>("merge");
        QTest::addColumn<QString>("message");
        const QString unreadable = MergePDFThread::statusText(3), unwritable = MergePDFThread::statusText(4);
        // clang-format off
        QTest::newRow("plain")                               << "a.jpg,c.png . - a.pdf 2"                   << "";
        QTest::newRow("name taken")                          << "a.jpg,c.png +a.pdf - a(1).pdf 2"           << "";
        QTest::newRow("numbered name taken after a restart") << "a.jpg,c.png +a.pdf,+a(1).pdf - a(2).pdf 2" << "";
        QTest::newRow("tiff")                                << "scan.tiff . - scan.pdf 1"                  << "";
        QTest::newRow("only PDFs")                           << "x.pdf . Y - 0"                             << "";
        QTest::newRow("PDF dropped, tips off")               << "a.jpg,x.pdf . - a.pdf 1"                   << "";
        QTest::newRow("PDF dropped, user declines")          << "a.jpg,x.pdf . N - 0"                       << "";
        QTest::newRow("PDF dropped, user agrees")            << "a.jpg,x.pdf,b.jpg . Y a.pdf 2"             << "";
        QTest::newRow("missing file")                        << "a.jpg,b.jpg -b.jpg Y - 0"                  << "/b.jpg";
        QTest::newRow("one unreadable picture")              << "a.jpg,b.jpg ~b.jpg Y a.pdf 1"              << unreadable;
        QTest::newRow("only unreadable pictures")            << "b.jpg ~b.jpg Y - 0"                        << unreadable;
        QTest::newRow("unwritable folder")                   << "a.jpg ! Y - 0"                             << unwritable;
        // clang-format on
    }
    void merge()
    {
        QFETCH(QString, merge);
        QFETCH(QString, message);
        const QStringList m = merge.split(' ');
        const QString prepare = m[1], reply = m[2], expected = m[3] == "-" ? QString() : m[3];
        for (const char *name : {"a.jpg", "b.jpg", "c.png", "scan.tiff"})
            writePicture(name);
        const QStringList kept = prepare.split(',').filter(QRegularExpression("^\\+"));
        for (const QString &name : QStringList{"+x.pdf"} + kept)
            writeFile(path(name.mid(1)), "kept");
        openHome(reply != "-", 5 + kept.size());
        const QStringList before = QDir(m_folder->path()).entryList(QDir::Files);
        select(m[0].split(','));
        if (prepare == "!") {
            if (!unwritablefolder::lock(m_folder->path())) {
                unwritablefolder::restore(m_folder->path());
                QSKIP("no way to make a folder unwritable for this user");
            }
        } else if (prepare.startsWith('-')) {
            QVERIFY(QFile::remove(path(prepare.mid(1))));
        } else if (prepare.startsWith('~')) {
            writeFile(path(prepare.mid(1)), "not a picture");
        }
        {
            ModalWatch watch({}, reply == "Y"   ? QMessageBox::Yes
                                 : reply == "N" ? QMessageBox::No
                                                : QMessageBox::NoButton);
            runJob("mergepdf");
            unwritablefolder::restore(m_folder->path());
            QCOMPARE(watch.boxes.size(), reply != "-" ? 1 : 0);
            if (!message.isEmpty())
                QVERIFY2(watch.boxes.first().contains(message), qPrintable(watch.boxes.first()));
        }
        QStringList produced = QDir(m_folder->path()).entryList(QDir::Files);
        for (const QString &name : before)
            produced.removeOne(name);
        // One new PDF or none: no half or temporary file either.
        QCOMPARE(produced, expected.isEmpty() ? QStringList() : QStringList{expected});
        for (const QString &name : QStringList{"+x.pdf"} + kept) {
            QFile file(path(name.mid(1)));
            QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == "kept");
        }
        if (!expected.isEmpty()) {
            QCOMPARE(pdfPages(expected), m[4].toInt());
            QTRY_COMPARE_WITH_TIMEOUT(selectedNames(), produced, 20000);
        }
    }
    // A searchable PDF joins the list, selected.
    void ocrExports_data()
    {
        QTest::addColumn<QString>("row"); // the button, pictures, the file's suffix, language data there
        QTest::newRow("searchable PDF") << "npdfbtn 3 pdf 1";
        QTest::newRow("text") << "txtbtn 1 txt 1";
        QTest::newRow("no language data") << "npdfbtn 1 pdf 0";
    }
    void ocrExports()
    {
        QFETCH(QString, row);
        const QStringList r = row.split(' ');
        const QString suffix = r[2];
        const int pictures = r[1].toInt();
        const bool languageData = r[3] == "1";
        QTemporaryDir noLanguages;
        if (!languageData)
            qputenv("TESSDATA_PREFIX", noLanguages.path().toUtf8());
        for (int i = 0; i < pictures; ++i)
            QVERIFY(ocrtruth::renderPage(path(QString("page%1.png").arg(i)),
                                         {QString("Lighthouse %1").arg(i)}, 150));
        openHome(false, pictures);
        select(QDir(m_folder->path()).entryList(QDir::Files));
        runJob(qPrintable(r[0]));
        qunsetenv("TESSDATA_PREFIX");
        const QStringList produced = QDir(m_folder->path()).entryList({"*." + suffix});
        if (!languageData) {
            QCOMPARE(produced, QStringList());
            QVERIFY(!log().filter(MergePDFThread::statusText(5)).isEmpty());
            QCOMPARE(list()->count(), pictures);
            return;
        }
        QCOMPARE(produced.size(), 1);
        const QString text = suffix == "pdf" ? ocrtruth::run("pdftotext", {path(produced.first()), "-"})
                                             : ocrtruth::run("cat", {path(produced.first())});
        QVERIFY2(text.contains("Lighthouse"), qPrintable(text));
        if (suffix == "pdf") {
            QCOMPARE(pdfPages(produced.first()), pictures);
            QTRY_COMPARE_WITH_TIMEOUT(list()->count(), pictures + 1, 20000);
            QCOMPARE(selectedNames(), produced);
        }
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
    // The job's button is pressed again while the job runs: one job at a time.
    void runJob(const char *button)
    {
        auto *press = m_home->findChild<QPushButton *>(button);
        press->click();
        const bool started = m_home->documentJobRunning();
        if (started)
            press->click();
        QTRY_VERIFY_WITH_TIMEOUT(!m_home->documentJobRunning(), 120000);
        QCOMPARE(log().filter("本次操作被拒绝").size(), int(started));
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

    Values readAll() const { return readIni(m_user.settingsFile()); }
    void setValues(const Values &v) const { setIni(m_user.settingsFile(), v); }

    settingswindows::TestUser m_user{"plxtest"};
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<ADFmain> m_home;
};

QTEST_MAIN(TestADFmain)
#include "tst_adfmain.moc"
