// The settings windows: the general one (device block, folder rules) with the
// file-naming window it opens, and the image settings window (watermark and book
// export); their field rules and what each sends back.
#include "imageset.h"
#include "nameformat.h"
#include "set.h"
#include "settingswindows.h"
#include "titlebar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>

Q_DECLARE_METATYPE(SETPARAM)
Q_DECLARE_METATYPE(SAVENAMEPARAM)
Q_DECLARE_METATYPE(WATERPARAM)

using settingswindows::ModalWatch;

namespace {
const char kModels[] = "[deviceName]\nname=PageLux 高拍仪\n"
                       "[deviceInfo0]\npid=0A1B\nvid=1209\ndevType=PL-A1\n"
                       "[deviceInfo1]\npid=ca00\nvid=1209\ndevType=PL-V100\n";

// A naming window opened on the record "_", "scan", 7, and what it sends.
struct Opened {
    Opened(int nameSetType, int saveType, bool tips, const QString &base = "scan")
        : w(SAVENAMEPARAM{"_", base, 7}, nameSetType, saveType, tips),
          record(&w, SIGNAL(signalUpdateSaveParam(SAVENAMEPARAM, int, int))),
          label(&w, SIGNAL(signalUpdateSetUINameLabel(QString))),
          status(&w, SIGNAL(signalChangedNameFormatStatus()))
    {
        w.show();
    }
    template <class T> T *child(const char *name) { return w.findChild<T *>(name); }
    QString example() { return child<QLabel>("expLabel")->text(); }
    bool checked(const char *radio) { return child<QRadioButton>(radio)->isChecked(); }
    NameFormat w;
    QSignalSpy record, label, status;
};
char g_font[] = "/fonts/simhei.ttf";

// What a window sends, its texts copied while the signal is delivered.
struct Received {
    explicit Received(ImageSet *w)
    {
        QObject::connect(w, &ImageSet::signalIsWaterMark, w, [this](bool on, bool image) {
            order << "flags";
            flags = {on, image};
        });
        QObject::connect(w, &ImageSet::signalUpdateWaterMarkParam, w, [this](WATERPARAM p) {
            order << "record";
            param = p;
            imagePath = QString::fromUtf8(p.szWaterImagePath);
            content = QString::fromUtf8(p.szWaterContent);
            color = QString::fromUtf8(p.nColor);
            font = p.szWaterFont;
        });
        QObject::connect(w, &ImageSet::signalUpdateBookExportParam, w, [this](int b) {
            order << "book";
            book = b;
        });
        QObject::connect(w, &ImageSet::signalChangeStatus, w, [this] { order << "closed"; });
    }
    QList<int> rgb() const { return {param.nFontR, param.nFontG, param.nFontB}; }
    WATERPARAM param{};
    QString imagePath, content, color;
    const char *font = nullptr;
    QStringList order; // signals in the order they came
    QList<bool> flags;
    int book = -1;
};
} // namespace

class TestSet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<SETPARAM>("SETPARAM");
        qRegisterMetaType<SAVENAMEPARAM>("SAVENAMEPARAM");
        qRegisterMetaType<WATERPARAM>("WATERPARAM");
        settingswindows::installTheme();
        m_theme.SettingAllSets();
        QVERIFY(m_theme.bIsSupportOtherColors);
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
        QCOMPARE(child<QLineEdit>(w.data(), "fileNameEdit")->text(), QString("scan_3"));
        // Only error tips show; the scan sound stays hidden.
        QVERIFY(!child<QCheckBox>(w.data(), "scanvoice")->isVisible());
        QVERIFY(child<QCheckBox>(w.data(), "error")->isVisible());
    }

    // A folder must be at most 70 characters long and writable, both when chosen and
    // when the window closes, and still exist on closing. A refusal is shown with
    // error tips on and logged otherwise; a refused chosen folder is not taken, a
    // refused stored one keeps the window open. The folder taken reaches the home
    // window on closing, flagged as changed.
    void folderRules_data()
    {
        QTest::addColumn<QString>("folder"); // empty: the dialog cancelled
        QTest::addColumn<bool>("chosen");    // or the one the window opens with
        QTest::addColumn<bool>("tips");
        QTest::addColumn<QString>("said"); // the warning shown, or the line logged
        const QString ok = "70", tooLong = "71", gone = "gone", readOnly = "/proc/sys";
        QTest::newRow("70 characters") << ok << true << true << "";
        QTest::newRow("71 characters, tips on") << tooLong << true << true << m_theme.saveImagePathIsOverFlow;
        QTest::newRow("71 characters, tips off")
            << tooLong << true << false << "路径选择过长，无错误提示，需重新选择路径";
        QTest::newRow("not writable") << readOnly << true << true << m_theme.saveIamgePathIsNoWrite;
        QTest::newRow("cancelled") << "" << true << true << "";
        QTest::newRow("removed, tips on") << gone << false << true << m_theme.saveImagePathIsNotExist;
        QTest::newRow("removed, tips off")
            << gone << false << false << "该存储路径不存在，无错误提示，请重新选择路径";
        QTest::newRow("too long on closing") << tooLong << false << true << m_theme.saveImagePathIsOverFlow;
        QTest::newRow("not writable on closing")
            << readOnly << false << false << "用户权限不够，无错误提示，需重新选择路径";
    }
    void folderRules()
    {
        QFETCH(QString, folder);
        QFETCH(bool, chosen);
        QFETCH(bool, tips);
        QFETCH(QString, said);
        if (folder == "/proc/sys" && QFileInfo(folder).isWritable())
            QSKIP("no folder here refuses writing");
        const QString path = folder == "gone" ? m_tmp.path() + "/gone"
                             : folder.toInt() ? folderOfLength(folder.toInt())
                                              : folder;
        QDir().mkpath(m_tmp.path() + "/gone");
        const QString start = chosen ? folderOfLength(40) : path;
        QPointer<Set> w = open(start, tips);
        QSignalSpy update(w.data(), SIGNAL(updateSetParam(SETPARAM, bool)));
        QSignalSpy enable(w.data(), SIGNAL(singleEnableSetBtnUI()));
        QDir(m_tmp.path() + "/gone").removeRecursively();
        ModalWatch watch(chosen ? path : QString());
        if (chosen)
            child<QPushButton>(w, "selectbtn")->click();
        QCOMPARE(watch.dialogs, chosen ? 1 : 0);
        const bool taken = chosen && !path.isEmpty() && said.isEmpty();
        if (chosen)
            QCOMPARE(child<QLineEdit>(w, "pathline")->text(), taken ? path : start);
        child<TitleBar>(w, nullptr)->m_pButtonClose->click();
        QCOMPARE(watch.boxes, tips && !said.isEmpty() ? QStringList{said} : QStringList());
        QVERIFY(tips || said.isEmpty() || settingswindows::log().contains(said));
        if (chosen) {
            QCOMPARE(update.count(), 1);
            QCOMPARE(update.at(0).at(0).value<SETPARAM>().savepath, taken ? path : start);
            QCOMPARE(update.at(0).at(1).toBool(), taken);
            QTRY_VERIFY(w.isNull());
        } else {
            QVERIFY(w->isVisible());
            QCOMPARE(update.count() + enable.count(), 0);
            delete w;
        }
    }

    // Typed numbers stay within their range: the naming window's start number 1..10000
    // (and the example follows it), the image watermark's position 0..65535.
    void numbersAreClamped_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        const QStringList rows = {
            "startNum  1",          "startNum 0 1",         "startNum abc 1",    "startNum 9999 9999",
            "startNum 10000 10000", "startNum 12345 10000", "Xline -5 0",        "Xline  0",
            "Xline 123 123",        "Xline 65535 65535",    "Xline 70000 65535", "Yline -5 0",
            "Yline 70000 65535"};
        for (const QString &row : rows)
            QTest::newRow(qPrintable(row))
                << row.section(' ', 0, 0) << row.section(' ', 1, 1) << row.section(' ', 2);
    }
    void numbersAreClamped()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        Opened naming(1, 0, false);
        QScopedPointer<ImageSet> image(openImageSet(1, false));
        QWidget *w = field == "startNum" ? static_cast<QWidget *>(&naming.w) : image.data();
        child<QLineEdit>(w, qPrintable(field))->setText(typed);
        QCOMPARE(child<QLineEdit>(w, qPrintable(field))->text(), shown);
        QCOMPARE(naming.example(), "例:scan_" + (field == "startNum" ? shown : "7"));
    }

    // A name prefix or a watermark text stops at 30 characters; reaching it is logged,
    // and shown with tips on.
    void textsStopAtThirty_data()
    {
        QTest::addColumn<bool>("prefix"); // else the watermark text
        QTest::addColumn<int>("typed");
        QTest::addColumn<bool>("tips");
        QTest::newRow("prefix 29") << true << 29 << true;
        QTest::newRow("prefix 33, tips on") << true << 33 << true;
        QTest::newRow("prefix 30, tips off") << true << 30 << false;
        QTest::newRow("watermark 29") << false << 29 << true;
        QTest::newRow("watermark 32") << false << 32 << true;
    }
    void textsStopAtThirty()
    {
        QFETCH(bool, prefix);
        QFETCH(int, typed);
        QFETCH(bool, tips);
        Opened naming(1, 0, tips);
        QScopedPointer<ImageSet> image(openImageSet(2, tips));
        auto *line =
            prefix ? naming.child<QLineEdit>("nameBaseLine") : child<QLineEdit>(image.data(), "textLineEdit");
        line->clear();
        ModalWatch watch;
        QTest::keyClicks(line, QString(typed, 'p'));
        QCOMPARE(line->text(), QString(qMin(typed, 30), 'p'));
        const QString logged =
            prefix ? "命名前缀输入长度将超出30,请注意检验!" : "文字水印输入长度将超出30,请注意检验!";
        QCOMPARE(settingswindows::log().contains(logged), typed >= 30);
        const QString box = prefix ? m_theme.nameLengthOverFlow : m_theme.waterMarkLengthOverFlow;
        QCOMPARE(watch.boxes, typed >= 30 && tips ? QStringList{box} : QStringList());
    }

    // An empty prefix refuses OK in either mode: nothing is sent, the window stays.
    void emptyPrefixRefusesOk()
    {
        for (bool tips : {true, false}) {
            Opened o(tips ? 0 : 1, 0, tips, "");
            ModalWatch watch;
            o.child<QPushButton>("makesureButton")->click();
            QVERIFY(o.w.isVisible());
            QCOMPARE(o.record.count() + o.label.count() + o.status.count(), 0);
            QCOMPARE(watch.boxes.size(), tips ? 1 : 0);
        }
    }

    // The naming window opens from the record; Cancel restores it, the title bar keeps
    // the radio as switched. Neither sends a record.
    void namingCancelAndClose()
    {
        for (int custom : {0, 1})
            for (bool cancel : {true, false}) {
                Opened o(custom, custom, false);
                QVERIFY(QRegularExpression(custom ? "^例:scan_7$" : "^例:\\d{14}$")
                            .match(o.example())
                            .hasMatch());
                QVERIFY(o.checked("customRadio") == bool(custom) && o.checked("coverRadio") == bool(custom));
                for (const char *field : {"nameBaseLine", "startNum"})
                    QCOMPARE(o.child<QLineEdit>(field)->isEnabled(), bool(custom));
                o.child<QRadioButton>("customRadio")->click();
                o.child<QLineEdit>("nameBaseLine")->setText("other");
                o.child<QLineEdit>("startNum")->setText("99");
                o.child<QRadioButton>("coverRadio")->click();
                if (cancel)
                    o.child<QPushButton>("cancelButton")->click();
                else
                    o.w.findChild<TitleBar *>()->m_pButtonClose->click();
                QVERIFY(o.record.isEmpty() && o.status.count() == 1 && o.label.count() == 1 &&
                        !o.w.isVisible());
                const QString label = o.label.at(0).at(0).toString();
                QVERIFY2(
                    QRegularExpression(cancel && !custom ? "^\\d{14}$" : "^scan_7$").match(label).hasMatch(),
                    qPrintable(label));
                if (cancel) {
                    QVERIFY(o.checked("timeNameRadio") != bool(custom) &&
                            o.checked("addRadio") != bool(custom));
                    QCOMPARE(o.child<QLineEdit>("nameBaseLine")->text() +
                                 o.child<QLineEdit>("startNum")->text(),
                             QString("scan7"));
                    QVERIFY(settingswindows::log().contains(
                        "NameFormat::onButtonCancelSlot() __ 还原至初始设置."));
                }
            }
    }

    // The naming window opens from the settings window, one at a time; OK sends the
    // edited record, which the settings window shows and sends on closing.
    void namingWindowRoundTrip()
    {
        QPointer<Set> w = open(m_tmp.path(), false, 0, 0, "NULL", 0);
        QSignalSpy update(w.data(), SIGNAL(updateSetParam(SETPARAM, bool)));
        auto *naming = child<QPushButton>(w, "setFileNamebtn");
        naming->click();
        QVERIFY(!w->isVisible());
        QPointer<NameFormat> nf = w->nameformatui;
        QVERIFY(nf && nf->isVisible());
        naming->click(); // a second naming window is refused
        QCOMPARE(w->nameformatui.data(), nf.data());
        QSignalSpy record(nf.data(), SIGNAL(signalUpdateSaveParam(SAVENAMEPARAM, int, int)));
        QSignalSpy label(nf.data(), SIGNAL(signalUpdateSetUINameLabel(QString)));
        QSignalSpy status(nf.data(), SIGNAL(signalChangedNameFormatStatus()));
        nf->findChild<QRadioButton *>("customRadio")->click();
        // Switching shows the stored record, not what was typed before.
        QCOMPARE(nf->findChild<QLabel *>("expLabel")->text(), QString("例:scan_3"));
        nf->findChild<QLineEdit *>("nameBaseLine")->setText("合同");
        nf->findChild<QLineEdit *>("startNum")->setText("12");
        QCOMPARE(nf->findChild<QLabel *>("expLabel")->text(), QString("例:合同_12"));
        nf->findChild<QRadioButton *>("coverRadio")->click();
        nf->findChild<QPushButton *>("makesureButton")->click();
        QCOMPARE(record.count(), 1);
        const auto p = record.at(0).at(0).value<SAVENAMEPARAM>();
        QCOMPARE(QStringList({p.nameBase, QString::number(p.startNum), p.strSeparator}),
                 QStringList({"合同", "12", "_"}));
        QCOMPARE(record.at(0).mid(1), (QVariantList{1, 1}));
        QCOMPARE(label, QList<QVariantList>{{"合同_12"}});
        QCOMPARE(status.count(), 1);
        QVERIFY(!nf->isVisible() && w->isVisible() && !w->m_bIsNameFormatUI);
        QCOMPARE(child<QLineEdit>(w, "fileNameEdit")->text(), QString("合同_12"));

        // Error tips switched off take effect in the record sent on closing.
        child<QCheckBox>(w, "error")->setChecked(false);
        child<TitleBar>(w, nullptr)->m_pButtonClose->click();
        QCOMPARE(update.count(), 1);
        const SETPARAM sent = update.at(0).at(0).value<SETPARAM>();
        QCOMPARE(QStringList({sent.nameFormat.nameBase, QString::number(sent.nameFormat.startNum)}),
                 QStringList({"合同", "12"}));
        QCOMPARE(QList<int>({sent.nameformatType, sent.saveType}), QList<int>({1, 1}));
        QVERIFY(!sent.IsErrorTip);
        QCOMPARE(update.at(0).at(1).toBool(), false);
        QTRY_VERIFY(w.isNull() && nf.isNull());
    }

    void imageSetOpensFromTheRecord_data()
    {
        QTest::addColumn<int>("mode"); // 0 none, 1 image, 2 text
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("fontSize");
        QTest::addColumn<QString>("color");
        QTest::addColumn<int>("book");
        QTest::addColumn<QStringList>("checked"); // the watermark radio and the book radio
        QTest::addColumn<QList<int>>("indexes");  // size, colour, transparency
        QTest::newRow("none") << 0 << 0 << 24 << "红色" << 3
                              << QStringList{"withoutwatermarkbtn", "onlyleftbtn"} << QList<int>{4, 2, 1};
        QTest::newRow("image") << 1 << 0 << 54 << "自定义" << 2
                               << QStringList{"Imagewatermarkbtn", "merginbtn"} << QList<int>{9, 5, 1};
        QTest::newRow("text, oblique, size not listed, colour unknown")
            << 2 << 2 << 18 << "紫色" << 9 << QStringList{"watermarkbtn", "lefttorightbtn"}
            << QList<int>{0, 0, 1};
    }
    void imageSetOpensFromTheRecord()
    {
        QFETCH(int, mode);
        QFETCH(int, position);
        QFETCH(int, fontSize);
        QFETCH(QString, color);
        QFETCH(int, book);
        QFETCH(QStringList, checked);
        QScopedPointer<ImageSet> w(openImageSet(mode, false, position, fontSize, color.toUtf8(), book));
        for (const QString &radio : checked)
            QVERIFY2(child<QRadioButton>(w.data(), qPrintable(radio))->isChecked(), qPrintable(radio));
        for (const char *field : {"ImageWaterPath", "Xline", "Yline"})
            QCOMPARE(child<QWidget>(w.data(), field)->isEnabled(), mode == 1);
        for (const char *field : {"textLineEdit", "totalformat", "sizecomboBox"})
            QCOMPARE(child<QWidget>(w.data(), field)->isEnabled(), mode == 2);
        if (mode == 2)
            QVERIFY(child<QPushButton>(w.data(), "totalformat")
                        ->styleSheet()
                        .startsWith("QPushButton{border-image: url(" + m_theme.watermarkObliqueSelectpath));
        QCOMPARE(child<QLineEdit>(w.data(), "Xline")->text() + child<QLineEdit>(w.data(), "Yline")->text(),
                 QString("1020"));
        QCOMPARE(child<QLineEdit>(w.data(), "textLineEdit")->text(), QString("机密"));
        QList<int> indexes;
        for (const char *box : {"sizecomboBox", "watermarkcolorcomboBox", "transparentcomboBox"})
            indexes << child<QComboBox>(w.data(), box)->currentIndex();
        QTEST(indexes, "indexes");
    }

    // OK needs an image watermark's picture to exist, its path at most 100 characters;
    // an empty text becomes "WATERMARK", after asking when tips are on. A refused OK
    // keeps the window open, and Cancel then reports the flags it opened with.
    void imageSetOkRules_data()
    {
        QTest::addColumn<int>(
            "length"); // of the chosen picture's path; 0: a missing one; -1: the text cleared
        QTest::addColumn<bool>("tips");
        QTest::addColumn<int>("reply");
        QTest::addColumn<QString>("said");
        QTest::addColumn<bool>("taken");
        const int yes = QMessageBox::Yes, no = QMessageBox::No;
        QTest::newRow("missing picture, tips on")
            << 0 << true << yes << m_theme.waterImagePathIsNotExist << false;
        QTest::newRow("missing picture, tips off") << 0 << false << 0 << "" << false;
        QTest::newRow("100 characters") << 100 << true << 0 << "" << true;
        QTest::newRow("101 characters") << 101 << true << yes << m_theme.waterImagePathOverFlow << false;
        QTest::newRow("empty text, tips off") << -1 << false << 0 << "" << true;
        QTest::newRow("empty text, yes") << -1 << true << yes << m_theme.waterMarkLengthIsNull << true;
        QTest::newRow("empty text, no") << -1 << true << no << m_theme.waterMarkLengthIsNull << false;
    }
    void imageSetOkRules()
    {
        QFETCH(int, length);
        QFETCH(bool, tips);
        QFETCH(int, reply);
        QFETCH(QString, said);
        QFETCH(bool, taken);
        QPointer<ImageSet> w = openImageSet(2, tips);
        Received r(w);
        auto *path = child<QLineEdit>(w, "ImageWaterPath");
        if (length < 0) {
            child<QLineEdit>(w, "textLineEdit")->clear();
        } else {
            child<QRadioButton>(w, "Imagewatermarkbtn")->click();
            path->setText("/nowhere.png");
        }
        if (length > 0) {
            const QString dir = m_tmp.path() + "/";
            const QString picture = dir + QString(length - dir.length() - 4, 'p') + ".png";
            QVERIFY(QImage(8, 8, QImage::Format_RGB32).save(picture));
            ModalWatch watch(picture);
            child<QPushButton>(w, "pathChoose")->click();
            QCOMPARE(watch.dialogs, 1);
            QCOMPARE(path->text(), picture);
        }
        {
            ModalWatch watch{QString(), QMessageBox::StandardButton(reply)};
            child<QPushButton>(w, "okButton")->click();
            QCOMPARE(watch.boxes, said.isEmpty() ? QStringList() : QStringList{said});
        }
        QCOMPARE(settingswindows::log().contains("图片水印路径过长,设置失败"), length == 101);
        QCOMPARE(r.order.contains("record"), taken);
        if (taken) {
            QCOMPARE(length < 0 ? r.content : r.imagePath, length < 0 ? QString("WATERMARK") : path->text());
            QVERIFY(r.param.bIsWater && r.param.bIsWaterImage == (length >= 0));
        } else {
            QVERIFY(w->isVisible());
            child<QPushButton>(w, "cancelButton")->click();
            QCOMPARE(r.order, (QStringList{"flags", "closed"}));
            QCOMPARE(r.flags, (QList<bool>{true, false}));
        }
        QTRY_VERIFY(w.isNull());
    }

    void imageSetOkSendsTheRecord()
    {
        QPointer<ImageSet> w = openImageSet(0, false, 0, 18);
        QScopedPointer<Received> r(new Received(w));
        child<QRadioButton>(w, "watermarkbtn")->click();
        QVERIFY(child<QLineEdit>(w, "textLineEdit")->isEnabled() &&
                !child<QLineEdit>(w, "Xline")->isEnabled());
        child<QComboBox>(w, "watermarkcolorcomboBox")->setCurrentIndex(2);
        child<QComboBox>(w, "transparentcomboBox")->setCurrentIndex(0);
        child<QPushButton>(w, "bottomformat")->click();
        child<QRadioButton>(w, "righttoleftbtn")->click();
        child<QPushButton>(w, "okButton")->click();

        QCOMPARE(r->order, (QStringList{"flags", "record", "book", "closed"}));
        const WATERPARAM &p = r->param;
        QVERIFY(p.bIsWater && !p.bIsWaterImage);
        QCOMPARE(QStringList({r->content, r->color, r->imagePath}),
                 QStringList({"机密", "红色", "/pics/logo.png"})); // fields of other modes go along
        QCOMPARE(r->font, static_cast<const char *>(g_font));
        QCOMPARE(p.nFontSize, 0); // 18 is not offered: automatic
        QCOMPARE(r->rgb(), (QList<int>{255, 0, 0}));
        QCOMPARE((QList<int>{p.nOpacity, p.nPositionCode, p.nWaterPointX, p.nWaterPointY, r->book}),
                 (QList<int>{0, 3, 10, 20, 1}));
        QTRY_VERIFY(w.isNull());

        // The sixth colour is the user's own: the dialog picks it, Cancel keeps the old one.
        w = openImageSet(2, false, 0, 18, "自定义");
        r.reset(new Received(w));
        auto *colors = child<QComboBox>(w, "watermarkcolorcomboBox");
        QCOMPARE(colors->itemData(5).value<QColor>(), QColor(1, 2, 3));
        {
            ModalWatch cancel;
            emit colors->activated(5);
            QCOMPARE(cancel.dialogs, 1);
        }
        QVERIFY(settingswindows::log().contains("QColor Not  valid !!!!!!!!"));
        QCOMPARE(colors->itemData(5).value<QColor>(), QColor(1, 2, 3));
        {
            ModalWatch pick(QString(), QMessageBox::NoButton, QColor(10, 200, 30));
            emit colors->activated(5);
        }
        child<QComboBox>(w, "sizecomboBox")->setCurrentIndex(4);
        child<QPushButton>(w, "okButton")->click();
        QCOMPARE(r->param.nFontSize, 24);
        QCOMPARE(r->rgb(), (QList<int>{10, 200, 30}));
        QCOMPARE(r->color, QString("自定义"));
    }

    // The watermark and book-export pages show only when the camera offers them.
    void pagesFollowTheCamera()
    {
        for (int offered = 0; offered < 4; ++offered) {
            QScopedPointer<ImageSet> w(openImageSet(0, false));
            w->UpdateBook(offered & 1);
            w->UpdateWaterMark(offered & 2);
            auto *tabs = child<QTabWidget>(w.data(), "maintabwidget");
            QStringList shown, expected;
            for (int i = 0; i < tabs->count(); ++i)
                shown << tabs->tabText(i);
            if (offered & 2)
                expected << "水印设置";
            if (offered & 1)
                expected << "拍书导出设置";
            QCOMPARE(shown, expected);
            // The title bar closes without a word about the watermark.
            Received r(w.data());
            w->findChild<TitleBar *>()->m_pButtonClose->click();
            QCOMPARE(r.order, QStringList{"closed"});
        }
    }

private:
    Set *open(const QString &path, bool tips, int pid = 0, int vid = 0, const QString &resolution = "NULL",
              int nameformatType = 1)
    {
        const SETPARAM p{path, {"_", "scan", 3}, nameformatType, 0, false, tips};
        const DEVPARAM dev{0, 0, {"camera", {resolution, "640x480"}}, {}};
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
    ImageSet *openImageSet(int mode, bool tips, int position = 0, int fontSize = 0,
                           const QByteArray &color = "黑色", int book = 0)
    {
        m_path = "/pics/logo.png";
        m_content = "机密";
        m_color = color;
        const WATERPARAM p{
            mode != 0, mode == 1, m_path.data(), 10, 20, m_content.data(), g_font, fontSize, 1, 2, 3,
            position,  1,         m_color.data()};
        const SETPARAM set{{}, {}, 0, 0, false, tips};
        auto *w = new ImageSet(p, set, book);
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->show();
        return w;
    }
    template <class T> static T *child(QWidget *w, const char *name) { return w->findChild<T *>(name); }

    QTemporaryDir m_tmp{"/tmp/plxset"};
    QString m_models = QCoreApplication::applicationDirPath() + "/CamModel.ini";
    CToolHelper m_theme;
    QByteArray m_path, m_content, m_color;
};

QTEST_MAIN(TestSet)
#include "tst_set.moc"
