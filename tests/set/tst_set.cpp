// The general settings window: the device block, the folder rules when the
// folder is chosen and when the window closes, and the naming window's round trip.
#include "nameformat.h"
#include "set.h"
#include "settingswindows.h"
#include "titlebar.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>

Q_DECLARE_METATYPE(SETPARAM)

using settingswindows::ModalWatch;

namespace {
const char kModels[] = "[deviceName]\nname=PageLux 高拍仪\n"
                       "[deviceInfo0]\npid=0A1B\nvid=1209\ndevType=PL-A1\n"
                       "[deviceInfo1]\npid=ca00\nvid=1209\ndevType=PL-V100\n";
}

class TestSet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<SETPARAM>("SETPARAM");
        settingswindows::installTheme();
        m_theme.SettingAllSets();
        QVERIFY(m_tmp.isValid());
    }
    void cleanupTestCase()
    {
        QFile::remove(m_models);
        settingswindows::removeTheme();
    }
    void init()
    {
        settingswindows::clearLog();
        writeModels(kModels);
    }

    // Name, resolution with its megapixels and the model of a known camera; no block
    // without a camera or a readable model table.
    void deviceBlock_data()
    {
        QTest::addColumn<int>("pid");
        QTest::addColumn<QString>("resolution");
        QTest::addColumn<QByteArray>("models");
        QTest::addColumn<QString>("shown"); // name|resolution|model, empty: the block hidden
        const QByteArray models(kModels);
        const QString name = "PageLux 高拍仪|";
        QTest::newRow("no camera") << 0 << "1920x1080" << models << "";
        QTest::newRow("640x480") << 0xca00 << "640x480" << models << name + "640x480(1MP)|PL-V100";
        QTest::newRow("1920x1080") << 0xca00 << "1920x1080" << models << name + "1920x1080(2MP)|PL-V100";
        QTest::newRow("upper-case pid") << 0x0a1b << "3264x2448" << models << name + "3264x2448(8MP)|PL-A1";
        QTest::newRow("unknown ids") << 0x1234 << "640x480" << models << name + "640x480(1MP)|";
        QTest::newRow("no model file") << 0xca00 << "640x480" << QByteArray() << "";
        QTest::newRow("no product name")
            << 0xca00 << "640x480" << QByteArray("[deviceInfo0]\npid=ca00\n") << "";
        QTest::newRow("garbage table")
            << 0xca00 << "640x480" << QByteArray("[deviceName]\nname=P\n\x01\xff=[[\n") << "";
    }
    void deviceBlock()
    {
        QFETCH(int, pid);
        QFETCH(QString, resolution);
        QFETCH(QByteArray, models);
        QFETCH(QString, shown);
        writeModels(models);
        QScopedPointer<Set> w(open(m_tmp.path(), false, pid, 0x1209, resolution));
        QCOMPARE(child<QWidget>(w.data(), "bottomwidget")->isVisible(), !shown.isEmpty());
        QStringList texts;
        for (const char *label : {"devName", "devResolution", "camNum"})
            texts << child<QLabel>(w.data(), label)->text();
        QCOMPARE(texts.join('|'), shown.isEmpty() ? "||" : shown);
        // Only error tips show; the scan sound stays hidden.
        QVERIFY(!child<QCheckBox>(w.data(), "scanvoice")->isVisible());
        QVERIFY(child<QCheckBox>(w.data(), "error")->isVisible());
    }

    // A chosen folder must be at most 70 characters and writable; the one taken
    // reaches the home window on closing, flagged as changed.
    void choosingAFolder_data()
    {
        QTest::addColumn<int>("length"); // 0 cancels the dialog, -1 is a folder nobody may write
        QTest::addColumn<bool>("tips");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("warning");
        QTest::newRow("70 characters") << 70 << true << true << QString();
        QTest::newRow("71 characters, tips on") << 71 << true << false << m_theme.saveImagePathIsOverFlow;
        QTest::newRow("71 characters, tips off") << 71 << false << false << QString();
        QTest::newRow("not writable") << -1 << true << false << m_theme.saveIamgePathIsNoWrite;
        QTest::newRow("cancelled") << 0 << true << false << QString();
    }
    void choosingAFolder()
    {
        QFETCH(int, length);
        QFETCH(bool, tips);
        QFETCH(bool, taken);
        QFETCH(QString, warning);
        const QString start = folderOfLength(40);
        const QString chosen = length > 0 ? folderOfLength(length) : length < 0 ? "/proc/sys" : "";
        if (length < 0 && QFileInfo(chosen).isWritable())
            QSKIP("no folder here refuses writing");
        QPointer<Set> w = open(start, tips);
        QSignalSpy update(w.data(), SIGNAL(updateSetParam(SETPARAM, bool)));
        {
            ModalWatch watch(chosen);
            child<QPushButton>(w, "selectbtn")->click();
            QCOMPARE(watch.dialogs, 1);
            QCOMPARE(watch.boxes, warning.isEmpty() ? QStringList() : QStringList{warning});
        }
        QCOMPARE(child<QLineEdit>(w, "pathline")->text(), taken ? chosen : start);
        if (length == 71 && !tips)
            QVERIFY(settingswindows::log().contains("路径选择过长，无错误提示，需重新选择路径"));
        child<TitleBar>(w, nullptr)->m_pButtonClose->click();
        QCOMPARE(update.count(), 1);
        QCOMPARE(update.at(0).at(0).value<SETPARAM>().savepath, taken ? chosen : start);
        QCOMPARE(update.at(0).at(1).toBool(), taken);
        QTRY_VERIFY(w.isNull());
    }

    // Closing re-checks the folder: a refused one keeps the window open and sends nothing.
    void closingChecksTheFolder_data()
    {
        QTest::addColumn<QString>("problem");
        QTest::addColumn<bool>("tips");
        QTest::addColumn<QString>("said");
        QTest::newRow("removed, tips on") << "removed" << true << m_theme.saveImagePathIsNotExist;
        QTest::newRow("removed, tips off")
            << "removed" << false << "该存储路径不存在，无错误提示，请重新选择路径";
        QTest::newRow("too long") << "long" << true << m_theme.saveImagePathIsOverFlow;
        QTest::newRow("not writable") << "readonly" << false << "用户权限不够，无错误提示，需重新选择路径";
    }
    void closingChecksTheFolder()
    {
        QFETCH(QString, problem);
        QFETCH(bool, tips);
        QFETCH(QString, said);
        const QString gone = m_tmp.path() + "/gone";
        const QString path = problem == "long"       ? folderOfLength(71)
                             : problem == "readonly" ? "/proc/sys"
                                                     : gone;
        if (problem == "readonly" && QFileInfo(path).isWritable())
            QSKIP("no folder here refuses writing");
        QDir().mkpath(gone);
        QPointer<Set> w = open(path, tips);
        QSignalSpy update(w.data(), SIGNAL(updateSetParam(SETPARAM, bool)));
        QSignalSpy enable(w.data(), SIGNAL(singleEnableSetBtnUI()));
        QDir(gone).removeRecursively();
        ModalWatch watch;
        child<TitleBar>(w, nullptr)->m_pButtonClose->click();
        QVERIFY(w->isVisible());
        QCOMPARE(update.count() + enable.count(), 0);
        QVERIFY(tips ? watch.boxes.contains(said) : settingswindows::log().contains(said));
        delete w;
    }

    void namingWindowRoundTrip()
    {
        QPointer<Set> w = open(m_tmp.path(), false);
        QSignalSpy update(w.data(), SIGNAL(updateSetParam(SETPARAM, bool)));
        QCOMPARE(child<QLineEdit>(w, "fileNameEdit")->text(), QString("scan_3"));
        auto *naming = child<QPushButton>(w, "setFileNamebtn");
        naming->click();
        QVERIFY(!w->isVisible());
        QPointer<NameFormat> nf = w->nameformatui;
        QVERIFY(nf && nf->isVisible());
        naming->click(); // a second naming window is refused
        QCOMPARE(w->nameformatui.data(), nf.data());

        nf->findChild<QLineEdit *>("nameBaseLine")->setText("合同");
        nf->findChild<QPushButton *>("makesureButton")->click();
        QVERIFY(w->isVisible() && !w->m_bIsNameFormatUI);
        QCOMPARE(child<QLineEdit>(w, "fileNameEdit")->text(), QString("合同_3"));

        // Error tips switched off take effect in the record sent on closing.
        child<QCheckBox>(w, "error")->setChecked(false);
        child<TitleBar>(w, nullptr)->m_pButtonClose->click();
        QCOMPARE(update.count(), 1);
        const SETPARAM sent = update.at(0).at(0).value<SETPARAM>();
        QCOMPARE(sent.nameFormat.nameBase, QString("合同"));
        QCOMPARE(sent.nameformatType, 1);
        QVERIFY(!sent.IsErrorTip);
        QCOMPARE(update.at(0).at(1).toBool(), false);
        QTRY_VERIFY(w.isNull() && nf.isNull());
    }

private:
    Set *open(const QString &path, bool tips, int pid = 0, int vid = 0, const QString &resolution = "NULL")
    {
        SETPARAM p;
        p.savepath = path;
        p.nameformatType = 1;
        p.saveType = 0;
        p.nameFormat = {"_", "scan", 3};
        p.IsScanVoice = false;
        p.IsErrorTip = tips;
        DEVPARAM dev;
        dev.nType = 0;
        dev.nCurrentIndex = 0;
        dev.cameraParam.cameraName = "camera";
        dev.cameraParam.cameraRelease = QStringList{resolution, "640x480"};
        auto *w = new Set(p, dev, pid, vid);
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->show();
        return w;
    }
    void writeModels(const QByteArray &content)
    {
        QFile::remove(m_models);
        QFile f(m_models);
        if (!content.isNull())
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
    }
    // A folder whose path has exactly `length` characters.
    QString folderOfLength(int length)
    {
        const QString path = m_tmp.path() + "/" + QString(length - m_tmp.path().length() - 1, 'd');
        QDir().mkpath(path);
        return path;
    }
    template <class T> static T *child(Set *w, const char *name) { return w->findChild<T *>(name); }

    QTemporaryDir m_tmp{"/tmp/plxset"};
    QString m_models = QCoreApplication::applicationDirPath() + "/CamModel.ini";
    CToolHelper m_theme;
};

QTEST_MAIN(TestSet)
#include "tst_set.moc"
