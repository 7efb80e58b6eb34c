// The settings windows (general, file naming, image): their field rules and what each
// sends back.
#include "imageset.h"
#include "nameformat.h"
#include "set.h"
#include "settingswindows.h"
#include "titlebar.h"

Q_DECLARE_METATYPE(SETPARAM)
Q_DECLARE_METATYPE(SAVENAMEPARAM)
Q_DECLARE_METATYPE(WATERPARAM)

using settingswindows::child;
using settingswindows::ModalWatch;

namespace {
const char kModels[] = "[deviceName]\nname=PageLux 高拍仪\n"
                       "[deviceInfo0]\npid=0A1B\nvid=1209\ndevType=PL-A1\n"
                       "[deviceInfo1]\npid=ca00\nvid=1209\ndevType=PL-V100\n";

// A naming window opened on the record "_", `base`, 7, and what it sends.
struct Opened {
    Opened(int nameSetType, int saveType, bool tips, const QString &base = "scan")
        : w(SAVENAMEPARAM{"_", base, 7}, nameSetType, saveType, tips),
          record(&w, SIGNAL(signalUpdateSaveParam(SAVENAMEPARAM, int, int))),
          label(&w, SIGNAL(signalUpdateSetUINameLabel(QString))),
          status(&w, SIGNAL(signalChangedNameFormatStatus()))
    {
        w.show();
    }
    template <class T> T *get(const char *name) { return child<T>(&w, name); }
    QString example() { return get<QLabel>("expLabel")->text(); }
    bool checked(const char *radio) { return get<QRadioButton>(radio)->isChecked(); }
    NameFormat w;
    QSignalSpy record, label, status;
};
char g_font[] = "/fonts/simhei.ttf";

// What the image window sends, its texts copied while the signal is delivered.
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
            texts = QStringList{p.szWaterImagePath, p.szWaterContent, p.nColor};
            font = p.szWaterFont;
        });
        QObject::connect(w, &ImageSet::signalUpdateBookExportParam, w,
                         [this](int book) { order << QString("book %1").arg(book); });
        QObject::connect(w, &ImageSet::signalChangeStatus, w, [this] { order << "closed"; });
    }
    WATERPARAM param{};
    QStringList texts, order; // picture path, text, colour; the signals in the order they came
    const char *font = nullptr;
    QList<bool> flags;
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
        QVERIFY(m_theme.bIsSupportOtherColors && QImage(8, 8, QImage::Format_RGB32).save(m_picture));
    }
    void cleanupTestCase()
    {
        QFile::remove(m_models);
        settingswindows::removeTheme();
    }
    void init()
    {
        settingswindows::clearLog();
        settingswindows::writeFile(m_models, kModels);
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
        // clang-format off
        QTest::newRow("no camera") << 0 << "1920x1080" << models << "";
        QTest::newRow("1920x1080") << 0xca00 << "1920x1080" << models << name + "1920x1080(2MP)|PL-V100";
        QTest::newRow("upper-case pid") << 0x0a1b << "3264x2448" << models << name + "3264x2448(8MP)|PL-A1";
        QTest::newRow("unknown ids") << 0x1234 << "640x480" << models << name + "640x480(1MP)|";
        QTest::newRow("no model file") << 0xca00 << "640x480" << QByteArray() << "";
        QTest::newRow("garbage table")
            << 0xca00 << "640x480" << QByteArray("[deviceName]\nname=P\n\x01\xff=[[\n") << "";
        // clang-format on
    }
    void deviceBlock()
    {
        QFETCH(int, pid);
        QFETCH(QString, resolution);
        QFETCH(QByteArray, models);
        QFETCH(QString, shown);
        settingswindows::writeFile(m_models, models);
        QScopedPointer<Set> w(open(m_tmp.path(), false, pid, 0x1209, resolution));
        QCOMPARE(child<QWidget>(w.data(), "bottomwidget")->isVisible(), !shown.isEmpty());
        QStringList texts;
        for (const char *label : {"devName", "devResolution", "camNum"})
            texts << child<QLabel>(w.data(), label)->text();
        QCOMPARE(texts.join('|'), shown.isEmpty() ? "||" : shown);
    }

    // A folder (chosen, or checked on closing) must exist, be writable and have at most 70
    // characters; a refusal is shown (tips on) or logged, a refused choice not taken, a refused
    // stored one keeps the window open. The folder taken is sent on closing, flagged as changed.
    void folderRules_data()
    {
        QTest::addColumn<QString>("folder"); // empty: the dialog cancelled
        QTest::addColumn<bool>("chosen");    // or the one the window opens with
        QTest::addColumn<bool>("tips");
        QTest::addColumn<QString>("said"); // the warning shown, or the line logged
        const QString tooLong = "71", gone = "gone", readOnly = "/proc/sys";
        QTest::newRow("70 characters") << "70" << true << true << "";
        QTest::newRow("71 characters, tips on") << tooLong << true << true << m_theme.saveImagePathIsOverFlow;
        QTest::newRow("not writable") << readOnly << true << true << m_theme.saveIamgePathIsNoWrite;
        QTest::newRow("cancelled") << "" << true << true << "";
        QTest::newRow("removed, tips on") << gone << false << true << m_theme.saveImagePathIsNotExist;
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
        child<TitleBar>(w)->m_pButtonClose->click();
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

    // Start number 1..10000 (the example follows), watermark position 0..65535; a prefix or a
    // watermark text stops at 30 characters, reaching it logged, and shown with tips on.
    void fieldRules_data()
    {
        QTest::addColumn<QString>("row"); // field, what is typed (letters typed one by one), shown, tips
        for (const char *row :
             {"startNum  1", "startNum 0 1", "startNum abc 1", "startNum 10000 10000", "startNum 12345 10000",
              "Xline -5 0", "Xline  0", "Xline 65535 65535", "Xline 70000 65535", "Yline 70000 65535"})
            QTest::newRow(row) << QString(row) + " 1";
        for (QString row : {"nameBaseLine 29 29 1", "nameBaseLine 33 30 1", "nameBaseLine 30 30 0",
                            "textLineEdit 29 29 1", "textLineEdit 32 30 1"})
            QTest::newRow(qPrintable(row))
                << row.section(' ', 0, 0) + " " + QString(row.section(' ', 1, 1).toInt(), 'p') + " " +
                       QString(row.section(' ', 2, 2).toInt(), 'p') + " " + row.section(' ', 3);
    }
    void fieldRules()
    {
        QFETCH(QString, row);
        const QString field = row.section(' ', 0, 0), typed = row.section(' ', 1, 1),
                      shown = row.section(' ', 2, 2);
        const bool tips = row.endsWith('1');
        Opened naming(1, 0, tips);
        QScopedPointer<ImageSet> image(openImageSet(2, tips));
        const bool named = field == "startNum" || field == "nameBaseLine";
        auto *line =
            child<QLineEdit>(named ? static_cast<QWidget *>(&naming.w) : image.data(), qPrintable(field));
        ModalWatch watch;
        if (typed.startsWith('p')) {
            line->clear();
            QTest::keyClicks(line, typed);
        } else {
            line->setText(typed);
        }
        QCOMPARE(line->text(), shown);
        QCOMPARE(naming.example(), "例:" + (field == "nameBaseLine" ? shown : "scan") + "_" +
                                       (field == "startNum" ? shown : "7"));
        const bool full = typed.startsWith('p') && typed.size() >= 30;
        const QString logged = field == "nameBaseLine" ? "命名前缀输入长度将超出30,请注意检验!"
                                                       : "文字水印输入长度将超出30,请注意检验!";
        QCOMPARE(settingswindows::log().contains(logged), full);
        const QString box =
            field == "nameBaseLine" ? m_theme.nameLengthOverFlow : m_theme.waterMarkLengthOverFlow;
        QCOMPARE(watch.boxes, full && tips ? QStringList{box} : QStringList());
    }

    // Cancel restores the record, the title bar keeps the radios as switched; neither sends a
    // record. OK with an empty prefix is refused in either mode: nothing sent, the window stays.
    void namingWindowExits_data()
    {
        QTest::addColumn<QString>("row"); // custom, prefix, tips, button; label sent ("-": refused)
        for (const char *row : {"0 scan 0 cancel \\d{14}", "1 scan 0 cancel scan_7", "0 scan 0 close scan_7",
                                "1 scan 0 close scan_7", "0 - 1 makesure -", "1 - 0 makesure -"})
            QTest::newRow(row) << row;
    }
    void namingWindowExits()
    {
        QFETCH(QString, row);
        const QStringList r = row.split(' ');
        const bool custom = r[0] == "1", cancel = r[3] == "cancel", refused = r[4] == "-";
        Opened o(custom, custom, r[2] == "1", refused ? "" : r[1]);
        QVERIFY(refused ||
                QRegularExpression(custom ? "^例:scan_7$" : "^例:\\d{14}$").match(o.example()).hasMatch());
        QVERIFY(o.checked("customRadio") == custom && o.checked("coverRadio") == custom);
        for (const char *field : {"nameBaseLine", "startNum"})
            QCOMPARE(o.get<QLineEdit>(field)->isEnabled(), custom);
        if (!refused) {
            o.get<QRadioButton>("customRadio")->click();
            o.get<QLineEdit>("nameBaseLine")->setText("other");
            o.get<QLineEdit>("startNum")->setText("99");
            o.get<QRadioButton>("coverRadio")->click();
        }
        ModalWatch watch;
        if (r[3] == "close")
            o.get<TitleBar>(nullptr)->m_pButtonClose->click();
        else
            o.get<QPushButton>(qPrintable(r[3] + "Button"))->click();
        QCOMPARE(watch.boxes.size(), int(refused && r[2] == "1"));
        QVERIFY(o.record.isEmpty() && o.w.isVisible() == refused);
        QCOMPARE(o.status.count() + o.label.count(), refused ? 0 : 2);
        if (refused)
            return;
        const QString label = o.label.at(0).at(0).toString();
        QVERIFY2(QRegularExpression("^" + r[4] + "$").match(label).hasMatch(), qPrintable(label));
        if (cancel) {
            QVERIFY(o.checked("timeNameRadio") != custom && o.checked("addRadio") != custom);
            QCOMPARE(o.get<QLineEdit>("nameBaseLine")->text() + o.get<QLineEdit>("startNum")->text(),
                     QString("scan7"));
            QVERIFY(settingswindows::log().contains("NameFormat::onButtonCancelSlot() __ 还原至初始设置."));
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
        child<QRadioButton>(nf, "customRadio")->click();
        // Switching shows the stored record, not what was typed before.
        QCOMPARE(child<QLabel>(nf, "expLabel")->text(), QString("例:scan_3"));
        child<QLineEdit>(nf, "nameBaseLine")->setText("合同");
        child<QLineEdit>(nf, "startNum")->setText("12");
        QCOMPARE(child<QLabel>(nf, "expLabel")->text(), QString("例:合同_12"));
        child<QRadioButton>(nf, "coverRadio")->click();
        child<QPushButton>(nf, "makesureButton")->click();
        const auto p = record.value(0).value(0).value<SAVENAMEPARAM>();
        QCOMPARE(QString::asprintf("%d %s %d %s %d%d %s %d", int(record.count()), qPrintable(p.nameBase),
                                   p.startNum, qPrintable(p.strSeparator), record.value(0).value(1).toInt(),
                                   record.value(0).value(2).toInt(),
                                   qPrintable(label.value(0).value(0).toString()), int(status.count())),
                 QString("1 合同 12 _ 11 合同_12 1"));
        QVERIFY(!nf->isVisible() && w->isVisible() && !w->m_bIsNameFormatUI);
        QCOMPARE(child<QLineEdit>(w, "fileNameEdit")->text(), QString("合同_12"));
        // Error tips switched off take effect in the record sent on closing.
        child<QCheckBox>(w, "error")->setChecked(false);
        child<TitleBar>(w)->m_pButtonClose->click();
        const SETPARAM sent = update.value(0).value(0).value<SETPARAM>();
        QCOMPARE(QString::asprintf("%d %s %d %d%d%d%d", int(update.count()),
                                   qPrintable(sent.nameFormat.nameBase), sent.nameFormat.startNum,
                                   sent.nameformatType, sent.saveType, sent.IsErrorTip,
                                   update.value(0).value(1).toBool()),
                 QString("1 合同 12 1100"));
        QTRY_VERIFY(w.isNull() && nf.isNull());
    }

    // The window shows its record, the mode's fields enabled; OK sends flags, record (a size
    // not listed goes automatic, an unknown colour black) and book export, and closes. The
    // sixth colour is the user's own, picked in the dialog.
    void imageSetRoundTrip_data()
    {
        QTest::addColumn<QString>("row");   // mode position size colour book, radios, indexes
        QTest::addColumn<QString>("edits"); // a button clicked, list=index, list=#rgb picked
        QTest::addColumn<QString>("sent");  // flags position size colour R,G,B opacity, the signals
        const QString order = " flags,record,book %1,closed";
        // clang-format off
        QTest::newRow("none") << "0 0 24 红色 3 withoutwatermarkbtn onlyleftbtn 4 2 1" << "" << "00 0 24 红色 255,0,0 1" + order.arg(3);
        QTest::newRow("image") << "1 0 54 自定义 2 Imagewatermarkbtn merginbtn 9 5 1" << "" << "11 0 54 自定义 1,2,3 1" + order.arg(2);
        QTest::newRow("text, oblique, size not listed, colour unknown")
            << "2 2 18 紫色 9 watermarkbtn lefttorightbtn 0 0 1" << "" << "10 2 0 黑色 0,0,0 1" + order.arg(0);
        QTest::newRow("edited") << "0 0 18 黑色 0 withoutwatermarkbtn lefttorightbtn 0 0 1"
            << "watermarkbtn watermarkcolorcomboBox=2 transparentcomboBox=0 bottomformat righttoleftbtn"
            << "10 3 0 红色 255,0,0 0" + order.arg(1);
        QTest::newRow("own colour") << "2 0 18 自定义 0 watermarkbtn lefttorightbtn 0 5 1"
            << "watermarkcolorcomboBox=#0ac81e sizecomboBox=4" << "10 0 24 自定义 10,200,30 1" + order.arg(0);
        // clang-format on
    }
    void imageSetRoundTrip()
    {
        QFETCH(QString, row);
        QFETCH(QString, edits);
        const QStringList r = row.split(' ');
        QPointer<ImageSet> w =
            openImageSet(r[0].toInt(), false, r[1].toInt(), r[2].toInt(), r[3].toUtf8(), r[4].toInt());
        Received sent(w);
        for (const QString &radio : r.mid(5, 2))
            QVERIFY2(child<QRadioButton>(w, qPrintable(radio))->isChecked(), qPrintable(radio));
        QStringList indexes;
        for (const char *box : {"sizecomboBox", "watermarkcolorcomboBox", "transparentcomboBox"})
            indexes << QString::number(child<QComboBox>(w, box)->currentIndex());
        QCOMPARE(indexes, r.mid(7));
        for (const QString &edit : edits.split(' ', Qt::SkipEmptyParts)) {
            const QString name = edit.section('=', 0, 0), value = edit.section('=', 1);
            if (value.isEmpty()) {
                child<QAbstractButton>(w, qPrintable(name))->click();
            } else if (value.startsWith('#')) {
                ModalWatch pick(QString(), QMessageBox::NoButton, QColor(value));
                emit child<QComboBox>(w, qPrintable(name))->activated(5);
            } else {
                child<QComboBox>(w, qPrintable(name))->setCurrentIndex(value.toInt());
            }
        }
        child<QPushButton>(w, "okButton")->click();
        const WATERPARAM &p = sent.param;
        QTEST(QString::asprintf("%d%d %d %d %s %d,%d,%d %d ", p.bIsWater, p.bIsWaterImage, p.nPositionCode,
                                p.nFontSize, qPrintable(sent.texts.value(2)), p.nFontR, p.nFontG, p.nFontB,
                                p.nOpacity) +
                  sent.order.join(','),
              "sent");
        QCOMPARE(sent.texts.mid(0, 2), QStringList({m_picture, "机密"}));
        QVERIFY(p.nWaterPointX == 10 && p.nWaterPointY == 20 && sent.font == g_font);
        const int mode = p.bIsWater ? 2 - p.bIsWaterImage : 0; // the fields of the mode sent stay enabled
        for (const char *field : {"ImageWaterPath", "Xline", "Yline"})
            QCOMPARE(child<QWidget>(w, field)->isEnabled(), mode == 1);
        for (const char *field : {"textLineEdit", "totalformat", "sizecomboBox"})
            QCOMPARE(child<QWidget>(w, field)->isEnabled(), mode == 2);
        QTRY_VERIFY(w.isNull());
    }

    // OK needs an existing picture, its path at most 100 characters; an empty text becomes
    // "WATERMARK" (asked with tips on). After a refused OK, Cancel reports the opening flags.
    void imageSetOkRules_data()
    {
        // The chosen picture's path length (0: a missing picture; -1: the text cleared), tips,
        // the answer to the box, the record taken.
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("said");
        // clang-format off
        QTest::newRow("missing picture, tips on") << "0 1 Y 0" << m_theme.waterImagePathIsNotExist;
        QTest::newRow("100 characters") << "100 1 - 1" << "";
        QTest::newRow("101 characters") << "101 1 Y 0" << m_theme.waterImagePathOverFlow;
        QTest::newRow("empty text, yes") << "-1 1 Y 1" << m_theme.waterMarkLengthIsNull;
        QTest::newRow("empty text, no") << "-1 1 N 0" << m_theme.waterMarkLengthIsNull;
        // clang-format on
    }
    void imageSetOkRules()
    {
        QFETCH(QString, row);
        QFETCH(QString, said);
        const QStringList in = row.split(' ');
        const int length = in[0].toInt();
        const bool tips = in[1] == "1", taken = in[3] == "1";
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
            QVERIFY(watch.dialogs == 1 && path->text() == picture);
        }
        {
            const QMap<QString, QMessageBox::StandardButton> answers = {{"Y", QMessageBox::Yes},
                                                                        {"N", QMessageBox::No}};
            ModalWatch watch(QString(), answers.value(in[2], QMessageBox::NoButton));
            child<QPushButton>(w, "okButton")->click();
            QCOMPARE(watch.boxes, said.isEmpty() ? QStringList() : QStringList{said});
        }
        QCOMPARE(settingswindows::log().contains("图片水印路径过长,设置失败"), length == 101);
        QCOMPARE(r.order.contains("record"), taken);
        if (taken) {
            QCOMPARE(r.texts.value(length < 0 ? 1 : 0), length < 0 ? QString("WATERMARK") : path->text());
            QVERIFY(r.param.bIsWater && r.param.bIsWaterImage == (length >= 0));
        } else {
            QVERIFY(w->isVisible());
            child<QPushButton>(w, "cancelButton")->click();
            QCOMPARE(r.order, (QStringList{"flags", "closed"}));
            QCOMPARE(r.flags, (QList<bool>{true, false}));
        }
        QTRY_VERIFY(w.isNull());
    }

private:
    Set *open(const QString &path, bool tips, int pid = 0, int vid = 0, const QString &resolution = "NULL",
              int nameformatType = 1)
    {
        auto *w = new Set({path, {"_", "scan", 3}, nameformatType, 0, false, tips},
                          {0, 0, {"camera", {resolution, "640x480"}}, {}}, pid, vid);
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->show();
        return w;
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
        m_path = m_picture.toUtf8();
        m_content = "机密";
        m_color = color;
        const WATERPARAM p{
            mode != 0, mode == 1, m_path.data(), 10, 20, m_content.data(), g_font, fontSize, 1, 2, 3,
            position,  1,         m_color.data()};
        auto *w = new ImageSet(p, SETPARAM{{}, {}, 0, 0, false, tips}, book);
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->show();
        return w;
    }

    QTemporaryDir m_tmp{"/tmp/plxset"};
    QString m_models = settingswindows::appFile("CamModel.ini");
    CToolHelper m_theme;
    QByteArray m_path, m_content, m_color;
    const QString m_picture = m_tmp.path() + "/logo.png";
};

QTEST_MAIN(TestSet)
#include "tst_set.moc"
