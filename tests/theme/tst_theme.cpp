// The theme: every key of icon.ini reaches its member, a bad theme leaves defined values, the
// shipped theme is complete. Then the title bar's buttons and dragging.
#include "ctoolhelper.h"
#include "settingswindows.h"
#include "titlebar.h"

using settingswindows::appFile;
using settingswindows::writeFile;

namespace {
using H = CToolHelper;
// A member the theme fills; a colour takes three keys (R, G, B).
struct Member {
    Member() = default;
    Member(QString H::*m) : text(m) {}
    Member(int H::*m) : number(m) {}
    Member(bool H::*m) : flag(m) {}
    Member(QColor H::*m) : colour(m) {}
    int keys() const { return colour ? 3 : 1; }
    QString H::*text = nullptr;
    int H::*number = nullptr;
    bool H::*flag = nullptr;
    QColor H::*colour = nullptr;
};
const Member kUnread;
// The members in the order of the keys of the shipped icon.ini; kUnread is a key the theme does not read.
// clang-format off
const Member kMembers[] = {
    &H::IsCameraType, &H::IsScannerType, &H::IsScanVoice, &H::IsErrorTip, kUnread, &H::titlename, kUnread,
    kUnread, &H::savePath, &H::ocrpdfpboutpath, &H::ocrofdpboutpath,

    &H::uiiconpath, &H::pdficonpath, &H::pdfenablepath, &H::pdfhovorpath, &H::pdfdisablepath, &H::camdevpath,
    &H::adfdevpath, &H::seticonpath, &H::setpressiconpath, &H::miniconpath, &H::minpressiconpath,
    &H::maxiconpath, &H::maxpressiconpath, &H::restoreiconpath, &H::restorepressiconpath, &H::closeiconpath,
    &H::closepressiconpath, &H::lefticonpath, &H::leftpressiconpath, &H::righticonpath, &H::rightpressiconpath,
    &H::enlargeiconpath, &H::enlargepressiconpath, &H::narrowiconpath, &H::narrowpressiconpath,
    &H::uirestoreiconpath, &H::uirestorepressiconpath, &H::captureiconpath, &H::capturepressiconpath,
    &H::coloriconpath, &H::uileftpath, &H::uileftpresspath, &H::uirightpath, &H::uirightpresspath,
    &H::uideletepath, &H::uideletepresspath, &H::uilistpath, &H::uilistpresspath, &H::titlescanpath,
    &H::titlecapturepath, &H::titlescanpresspath, &H::titlecapturepresspath, &H::scanimage, &H::previewiconpath,
    &H::imagebmp, &H::imagepdf, &H::imagepng, &H::imagetif, &H::imagepath, &H::imagejpg, &H::imageofd,
    &H::watermarkTopNormalpath, &H::watermarkTopDisablepath, &H::watermarkTopSelectpath,
    &H::watermarkCenterNormalpath, &H::watermarkCenterDisablepath, &H::watermarkCenterSelectpath,
    &H::watermarkObliqueNormalpath, &H::watermarkObliqueDisablepath, &H::watermarkObliqueSelectpath,
    &H::watermarkBottomNormalpath, &H::watermarkBottomDisablepath, &H::watermarkBottomSelectpath,
    &H::camcapturenormalpath, &H::camcapturehovorpath, &H::camcapturepresspath, &H::camimagenormalpath,
    &H::camimagehovorpath, &H::camimagepresspath, &H::comboBoxdownarrowpath, &H::ocrnormalpath,
    &H::ocrpresspath, &H::ofdnormalpath, &H::ofdpresspath, &H::nwdnormalpath, &H::nwdpresspath,
    &H::npdfnormalpath, &H::npdfpresspath, &H::bookLefttoRightpath, &H::bookRighttoLeftpath, &H::bookMergepath,
    &H::bookOnlyLeftpath, &H::bookOnlyRightpath,

    &H::uibackcolor, &H::camerauicolor, &H::setuicolor, &H::imageuicolor, &H::nameformatuicolor,
    &H::mainitemselectcolor, &H::cameraitemselectcolor, &H::cameraitemcolor, &H::camerabackgroundcolor,
    &H::menubackgroundcolor, &H::menuitemcolor, &H::menuitemhovercolor, &H::menuitemselectcolor,
    &H::drawlinecolor, &H::drawrectcolor, &H::drawCropcolor, &H::drawPagingLinecolor, &H::drawPagingRectcolor,
    &H::selectCropcolor, &H::mainlistviewcolor, &H::cameralistviewcolor, &H::cameracomboxcolor,
    &H::titlewarningcolor, &H::tabBackgroundcolor, &H::tabBordercolor, &H::tabSelectioncolor,
    &H::comboBoxBackcolor, &H::comboBoxbordercolor, &H::comboBoxSelectcolor, &H::comboBoxfontcolor,
    &H::comboBoxSelectfontcolor, &H::comboBackcolor, &H::combohovercolor, &H::lineeditBordercolor,
    &H::radiobuttonbackcolor, &H::radiobuttonbordercolor,

    &H::title_background_R, &H::title_background_G, &H::title_background_B,
    &H::title_normal_R, &H::title_normal_G, &H::title_normal_B, &H::title_hovor_R, &H::title_hovor_G,
    &H::title_hovor_B, &H::title_pressed_R, &H::title_pressed_G, &H::title_pressed_B, &H::close_hovor_R,
    &H::close_hovor_G, &H::close_hovor_B, &H::close_pressed_R, &H::close_pressed_G, &H::close_pressed_B,
    &H::ui_normal_R, &H::ui_normal_G, &H::ui_normal_B, &H::ui_hovor_R, &H::ui_hovor_G, &H::ui_hovor_B,
    &H::ui_pressed_R, &H::ui_pressed_G, &H::ui_pressed_B,

    &H::cropWidth, &H::lineWidth, &H::rectwidth, &H::rectalpha, &H::pagingLineWidth, &H::pagingRectWidth,
    &H::titlewarningstr, &H::titlenodevstr, &H::minwidth, &H::maxwidth,

    &H::warningTitle, &H::tipTitle, &H::mksrtipTitle, &H::pdfNotSupported, &H::ocrpdfNotSupported,
    &H::fileNotFound, &H::ocrMergeQuestion, &H::pdfMergeFileIsNull, &H::pdfMergeQuestion,
    &H::cropNotSupportRotation, &H::cropNotSupportEnlarge, &H::cropNotSupportNarrow, &H::restoreOver,
    &H::waterMarkLengthOverFlow, &H::captureWaterMarkLengthOverFlow, &H::waterMarkLengthIsNull,
    &H::captureWaterMarkLengthIsNull, &H::waterImagePathIsNotExist, &H::captureWaterImagePathIsNotExist,
    &H::waterImagePathOverFlow, &H::captureWaterImagePathOverFlow, &H::saveImagePathIsNotExist,
    &H::captureSaveImagePathIsNotExist, &H::saveImagePathIsOverFlow, &H::captureSaveImagePathIsOverFlow,
    &H::newfolderfailed, &H::captureFailedPath, &H::nameLengthOverFlow, &H::saveIamgePathIsNoWrite,
    &H::nameformatnulltip, &H::idcardCannotCapture, &H::softwareName, &H::versionNumber, &H::aboutTip,
    &H::nameformatTimeTip, &H::imagesetWaterTip,

    &H::dialogHasParent, &H::bIsManualCut, &H::bIsImageSet, &H::bIsRemoveHole, &H::bIsPaging, &H::bIsSupportOCR,
    &H::bIsReturnKey, &H::bIsIDCard, &H::bIsSupportOtherColors, &H::bIsSupportContinuousShooting,

    &H::settip, &H::mintip, &H::maxtip, &H::restoretip, &H::closetip, &H::turnlefttip, &H::turnrighttip,
    &H::mergepdftip, &H::deletetip, &H::displaytip, &H::camrestoretip, &H::camenlargetip, &H::camnarrowtip,
    &H::camturnlefttip, &H::camturnrighttip, &H::capturetip, &H::scantip, &H::ocrpdftip, &H::ocrofdtip,
    &H::ocrnwdtip, &H::ocrnpdftip};
// clang-format on

QString shippedTheme()
{
    return qEnvironmentVariable("PAGELUX_SOURCE_DIR") + "/deploy/icon.ini";
}

// "group/key" of every key of the shipped theme, in the file's order.
QStringList shippedKeys()
{
    QFile f(shippedTheme());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList keys;
    QString group;
    for (QString line : QString::fromUtf8(f.readAll()).split('\n')) {
        line = line.trimmed();
        if (line.startsWith('['))
            group = line.mid(1, line.indexOf(']') - 1);
        else if (!line.startsWith(';') && line.contains('='))
            keys << group + '/' + line.section('=', 0, 0).trimmed();
    }
    return keys;
}

// A shown frameless window with a bar across its top.
struct Window {
    explicit Window(TitleButtonType type)
    {
        widget.setWindowFlags(Qt::FramelessWindowHint);
        widget.setGeometry(100, 100, 600, 400);
        bar = new TitleBar(&widget);
        bar->setButtonType(type);
        widget.show();
    }
    // Press on the bar, move by delta in `steps` moves, release, move on; how far the window went.
    QPoint drag(QPoint delta, int steps = 1)
    {
        const QPoint before = widget.pos(), start = bar->mapToGlobal(QPoint(300, 20));
        auto send = [this](QEvent::Type type, QPoint at) {
            settingswindows::sendMouse(bar, type, bar->mapFromGlobal(at));
        };
        send(QEvent::MouseButtonPress, start);
        for (int i = 1; i <= steps; ++i)
            send(QEvent::MouseMove, start + delta * i / steps);
        send(QEvent::MouseButtonRelease, start + delta);
        send(QEvent::MouseMove, start + delta * 2);
        return widget.pos() - before;
    }
    QWidget widget;
    TitleBar *bar;
};

} // namespace

class ThemeTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { cleanup(); }
    void cleanup()
    {
        QDir().rmdir(appFile("icon.ini"));
        QFile::remove(appFile("icon.ini"));
    }

    // Every value differs: a text names its key, numbers count up, and switch j is on in
    // pass b when bit b of j + 1 is set, so each switch has its own on/off pattern. Then
    // the helper cannot read its theme (missing, binary, a folder) and keeps nothing of it.
    void everyKeyReachesItsMember()
    {
        const QStringList keys = shippedKeys();
        int used = 0;
        for (const Member &m : kMembers)
            used += m.keys();
        QCOMPARE(used, keys.size());
        QByteArray junk;
        for (int i = 0; i < 4096; ++i)
            junk.append(char((i * 7919) % 251));
        H h;
        for (int pass = 0; pass < 8; ++pass) {
            const bool damaged = pass >= 5;
            cleanup();
            if (pass == 6)
                writeFile(appFile("icon.ini"), junk);
            else if (pass == 7)
                QVERIFY(QDir().mkdir(appFile("icon.ini")));
            int k = 0, n = 0, s = 0;
            if (!damaged) {
                QSettings ini(appFile("icon.ini"), QSettings::IniFormat);
                ini.setIniCodec("UTF-8");
                for (const Member &m : kMembers)
                    for (int c = 0; c < m.keys(); ++c, ++k)
                        if (m.text)
                            ini.setValue(keys[k], "值 " + keys[k]);
                        else if (m.flag)
                            ini.setValue(keys[k], (++s >> pass) & 1 ? "2" : "0");
                        else if (m.number || m.colour)
                            ini.setValue(keys[k], ++n);
                QVERIFY(n < 256);
            }
            h.SettingAllSets();
            k = n = s = 0;
            for (const Member &m : kMembers) {
                const QString key = keys[k];
                k += m.keys();
                if (m.text) {
                    QCOMPARE(h.*m.text, damaged ? QString() : "值 " + key);
                } else if (m.flag) {
                    QVERIFY2(h.*m.flag == (!damaged && ((++s >> pass) & 1)), qPrintable(key));
                } else if (m.number) {
                    QVERIFY2(h.*m.number == (damaged ? 0 : ++n), qPrintable(key));
                } else if (m.colour) {
                    QVERIFY2(h.*m.colour == (damaged ? QColor(0, 0, 0) : QColor(n + 1, n + 2, n + 3)),
                             qPrintable(key));
                    n += 3;
                }
            }
        }
    }

    // Garbage numbers and switches read as 0; colour channels stay inside 0-255.
    void garbageValues()
    {
        writeFile(appFile("icon.ini"), "[widthDrawCrop]\nwidth=abc\n[IsSupportOCR]\nisSupport=yes\n"
                                       "[colorMainUI]\nR=300\nG=-4\nB=12.5\n[ColorTitle]\nR=999\n");
        H h;
        h.SettingAllSets();
        QVERIFY(h.cropWidth == 0 && !h.bIsSupportOCR && h.title_background_R == 255);
        QCOMPARE(h.uibackcolor, QColor(255, 0, 0));
    }

    // The shipped theme: every text has a value, every switch but the scanner is on
    // (dialog parents are a choice), every image is compiled in.
    void shippedFiles()
    {
        QVERIFY(QFile::copy(shippedTheme(), appFile("icon.ini")));
        QSettings ini(appFile("icon.ini"), QSettings::IniFormat);
        ini.setIniCodec("UTF-8");
        H h;
        h.SettingAllSets();
        const QStringList keys = shippedKeys();
        int k = 0;
        for (const Member &m : kMembers) {
            QVERIFY2(!m.text || !(h.*m.text).trimmed().isEmpty(), qPrintable(keys[k]));
            QVERIFY2(!m.flag || m.flag == &H::dialogHasParent || h.*m.flag == (m.flag != &H::IsScannerType),
                     qPrintable(keys[k]));
            k += m.keys();
        }

        ini.beginGroup("iconPath");
        for (const QString &key : ini.childKeys()) {
            const QString path = ini.value(key).toString();
            QVERIFY2(path.startsWith(":/") && !QImage(path).isNull(), qPrintable(key + " " + path));
        }
    }

    // The buttons each type shows (never again what an earlier type hid), each sending its own
    // signal only; max and restore swap places. The bar drags its window; a double click
    // maximises only with a maximise button, and a maximised window is not dragged.
    void titleBarButtonsAndDragging_data()
    {
        QTest::addColumn<QList<int>>("types");
        QTest::addColumn<QString>("hidden");
        const QString allButClose = "min restore max set function select list capture scan";
        QTest::newRow("min") << QList<int>{MIN_BUTTON} << "restore max";
        QTest::newRow("min-max") << QList<int>{MIN_MAX_BUTTON} << "restore";
        QTest::newRow("only-close") << QList<int>{ONLY_CLOSE_BUTTON} << allButClose;
        QTest::newRow("only-close, then min-max")
            << QList<int>{ONLY_CLOSE_BUTTON, MIN_MAX_BUTTON} << allButClose;
    }
    void titleBarButtonsAndDragging()
    {
        QFETCH(QList<int>, types);
        QFETCH(QString, hidden);
        Window w{TitleButtonType(types.first())};
        TitleBar *bar = w.bar;
        for (int type : types.mid(1))
            bar->setButtonType(TitleButtonType(type));
        // A button's signal is signalButton<Name>Clicked(); the others (lower case) send none.
        const QList<QPair<QString, QWidget *>> children = {
            {"Min", bar->m_pButtonMin},     {"Close", bar->m_pButtonClose},
            {"Set", bar->m_pButtonSet},     {"Function", bar->m_pButtonfunction},
            {"Max", bar->m_pButtonMax},     {"Restore", bar->m_pButtonRestore},
            {"select", bar->m_comboSelect}, {"list", bar->m_list},
            {"capture", bar->m_capture},    {"scan", bar->m_scan},
            {"label", bar->m_label},        {"title", bar->m_pTitleContent}};
        std::vector<std::unique_ptr<QSignalSpy>> spies;
        for (const auto &c : children) {
            QVERIFY2(c.second->isHidden() == hidden.split(' ').contains(c.first.toLower()),
                     qPrintable(c.first));
            if (c.first[0].isUpper())
                spies.emplace_back(new QSignalSpy(bar, qPrintable("2signalButton" + c.first + "Clicked()")));
        }
        QString expected(int(spies.size()), '0'); // the count of each signal
        for (int i = 0; i < expected.size(); ++i) {
            if (children[i].second->isHidden())
                continue;
            QTest::mouseClick(children[i].second, Qt::LeftButton);
            expected[i] = '1';
            QString counts;
            for (const auto &spy : spies)
                counts += QString::number(spy->count());
            QCOMPARE(counts, expected);
            QCOMPARE(bar->m_pButtonRestore->isHidden(), children[i].first != "Max");
            QVERIFY(w.widget.isVisible());
        }
        if (types.size() > 1)
            return; // the later type only matters for the buttons shown
        const bool maximises = types.first() == MIN_MAX_BUTTON, maxHidden = bar->m_pButtonMax->isHidden();
        // Moves after the release do nothing; several steps of one drag add up.
        QCOMPARE(w.drag(QPoint(15, -10), 5), QPoint(15, -10));
        for (bool first : {true, false}) {
            settingswindows::sendMouse(bar, QEvent::MouseButtonDblClick, QPoint(250, 20));
            QCOMPARE(bar->m_pButtonMax->isHidden(), maxHidden || (maximises && first));
            QCOMPARE(w.drag(QPoint(40, 15)), maximises && first ? QPoint() : QPoint(40, 15));
        }
        // The max/restore state of another type does not matter.
        bar->onButtonMaxClicked();
        QCOMPARE(w.drag(QPoint(5, 5)), maximises ? QPoint() : QPoint(5, 5));
    }
};

QTEST_MAIN(ThemeTest)
#include "tst_theme.moc"
