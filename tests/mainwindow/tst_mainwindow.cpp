#include "CamCaptureSDK.h"
#include "adfmain.h"
#include "mainwindow.h"
#include "titlebar.h"
#include "twocameras.h"
#include "../common/unwritablefolder.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QtTest>

#include <cstring>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {
const QStringList kResolutions = {"3264x2448", "2592x1944", "1920x1080", "1280x720", "640x480"};

DEVPARAM camera(int index)
{
    DEVPARAM dev;
    dev.nType = 0;
    dev.nCurrentIndex = index;
    dev.cameraParam.cameraName = "cam";
    dev.cameraParam.cameraRelease = kResolutions;
    return dev;
}

CAMIMAGESET stored(int cropIndex, const QString &resolution = "640x480", const QString &format = "jpg")
{
    CAMIMAGESET set;
    set.fileformat = format;
    set.resolution = resolution;
    set.takemodleformat = "手动";
    set.cropIndex = cropIndex;
    set.imageIndex = set.edgeMendingIndex = set.foreignMatterIndex = set.idCardModeIndex = 0;
    return set;
}

QSize frameSize()
{
    QMutexLocker lock(&MutexCamDataBuffLock);
    return g_Camimage ? g_Camimage->size() : QSize();
}

QStringList items(QComboBox *box)
{
    QStringList list;
    for (int i = 0; i < box->count(); ++i)
        list << box->itemText(i);
    return list;
}

void sendMouse(QWidget *w, QEvent::Type type, QPoint pos)
{
    QMouseEvent event(type, pos, w->mapToGlobal(pos), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void construction_data();
    void construction();
    void rotation_data();
    void rotation();
    void resolutionChange_data();
    void resolutionChange();
    void zoom_data();
    void zoom();
    void previewGeometry_data();
    void previewGeometry();
    void manualCropMouse_data();
    void manualCropMouse();
    void cutMethodRules_data();
    void cutMethodRules();
    void openedFromHomeWindow_data();
    void openedFromHomeWindow();
    void captureNames_data();
    void captureNames();
    void captureRefusals_data();
    void captureRefusals();
    void idCardTakesTwoPresses();
    void closeWaitsForCapture();
    void stripRules();
    void continuousShooting_data();
    void continuousShooting();

private:
    MainWindow *window(const CAMIMAGESET &set, int rotateIndex = 4, bool show = false)
    {
        m_window.reset(); // one camera window at a time, as in the program
        m_window.reset(new MainWindow(camera(0), m_set, m_water, set, show, 0, rotateIndex));
        m_window->UpdateCutting(true, true, true);
        return m_window.get();
    }
    // A window showing a still 640x480 frame, without a camera.
    MainWindow *paintedWindow(const QString &method, QSize frame = QSize(640, 480));

    // A streaming window saving into a fresh folder under the test's home.
    MainWindow *capturingWindow(SETPARAM set, const WATERPARAM &water);
    static bool capture(MainWindow *w)
    {
        w->onButtonCaptureClicked();
        return QTest::qWaitFor([w] { return !w->m_bIsCapturing; }, 20000);
    }
    QString m_folder;

    SETPARAM m_set;
    WATERPARAM m_water;
    std::unique_ptr<MainWindow> m_window;
    QString m_appDir, m_home;
};

void TestMainWindow::initTestCase()
{
    m_appDir = QCoreApplication::applicationDirPath();
    m_home = QString("/home/plxcam%1").arg(QCoreApplication::applicationPid());
    QVERIFY(QDir().mkpath(m_home + "/Documents"));
    qputenv("HOME", m_home.toUtf8());
    // The shipped theme with error tips off, so that no message box blocks a test.
    const QString icon = m_appDir + "/icon.ini";
    QFile::remove(icon);
    QVERIFY(QFile::copy(qEnvironmentVariable("PAGELUX_SOURCE_DIR") + "/deploy/icon.ini", icon));
    QFile::setPermissions(icon, QFile::ReadOwner | QFile::WriteOwner);
    QSettings(icon, QSettings::IniFormat).setValue("Set/IsErrorTips", "0");
    // The second camera carries the ids of a plain camera without image algorithms.
    twocameras::configure("1209:ca00,0ac8:3420");
    qputenv("CAMSDK_VIRTUAL_FPS", "30");
    QCOMPARE(Cam_Init(), long(ERROR_GOOD));
    twocameras::setPresent(true, true);
    m_set.savepath = m_home;
    m_set.nameformatType = 1;
    m_set.saveType = 0;
    m_set.IsScanVoice = m_set.IsErrorTip = false;
    m_set.nameFormat = {"_", "Image", 1};
    std::memset(&m_water, 0, sizeof(m_water));
}

void TestMainWindow::cleanupTestCase()
{
    m_window.reset();
    QFile::remove(m_appDir + "/icon.ini");
    QDir(m_home).removeRecursively();
    QDir(m_appDir + "/" + m_home.section('/', 2)).removeRecursively();
}

void TestMainWindow::construction_data()
{
    QTest::addColumn<int>("cropIndex");
    QTest::addColumn<bool>("book");
    QTest::addColumn<int>("rotateIndex");
    QTest::addColumn<QString>("resolution");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("cut");
    QTest::addColumn<int>("rotation");
    QTest::addColumn<QString>("selectedResolution");
    QTest::addColumn<QString>("selectedFormat");
    QTest::newRow("stored values") << 2 << true << 5 << "1280x720"
                                   << "png"
                                   << "多图裁切" << 90 << "1280x720"
                                   << "png";
    QTest::newRow("index past the shorter list") << 4 << false << 3 << "12x34"
                                                 << "gif"
                                                 << "不裁切" << 270 << "3264x2448"
                                                 << "jpg";
    QTest::newRow("negative values") << -1 << true << -2 << ""
                                     << ""
                                     << "不裁切" << 180 << "3264x2448"
                                     << "jpg";
}

void TestMainWindow::construction()
{
    QFETCH(int, cropIndex);
    QFETCH(bool, book);
    QFETCH(int, rotateIndex);
    QFETCH(QString, resolution);
    QFETCH(QString, format);
    m_window.reset();
    m_window.reset(new MainWindow(camera(0), m_set, m_water, stored(cropIndex, resolution, format), false, 0,
                                  rotateIndex));
    MainWindow *w = m_window.get();
    w->UpdateCutting(book, book, book);
    QTEST(w->cutmethodcombo->currentText(), "cut");
    QTEST(w->rotation, "rotation");
    QTEST(w->resolvingcombo->currentText(), "selectedResolution");
    QTEST(w->fileformatcombo->currentText(), "selectedFormat");
    QCOMPARE(g_Camself, w);
}

void TestMainWindow::rotation_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("presses");
    QTest::addColumn<QString>("cut");
    QTest::addColumn<QList<int>>("rotations");
    QTest::addColumn<int>("counter");
    QTest::newRow("left round") << 4 << "LLLL"
                                << "不裁切" << QList<int>{270, 180, 90, 0} << 4;
    QTest::newRow("right round") << 4 << "RRRR"
                                 << "单图裁切" << QList<int>{90, 180, 270, 0} << 4;
    QTest::newRow("left from 1 skips 0") << 1 << "LL"
                                         << "不裁切" << QList<int>{0, 270} << 3;
    QTest::newRow("right from 7 skips 8") << 7 << "R"
                                          << "不裁切" << QList<int>{0} << 4;
    QTest::newRow("book refuses") << 5 << "LR"
                                  << "拍书" << QList<int>{} << 4;
}

void TestMainWindow::rotation()
{
    QFETCH(int, start);
    QFETCH(QString, presses);
    QFETCH(QString, cut);
    MainWindow *w = window(stored(0), start);
    w->cutmethodcombo->setCurrentText(cut);
    QSignalSpy spy(w, SIGNAL(ImageRotation(int)));
    for (QChar press : presses)
        press == 'L' ? w->onBtnleftrotationClicked() : w->onBtnrightrotationClicked();
    QList<int> emitted;
    for (const QList<QVariant> &args : spy)
        emitted << args.at(0).toInt();
    QTEST(emitted, "rotations");
    QTEST(w->rotationindex, "counter");
}

void TestMainWindow::resolutionChange_data()
{
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<QSize>("after");
    QTest::newRow("restarts the stream") << false << QSize(1280, 720);
    QTest::newRow("plain camera keeps it") << true << QSize(640, 480);
}

void TestMainWindow::resolutionChange()
{
    QFETCH(bool, hidden);
    QFETCH(QSize, after);
    MainWindow *w = window(stored(0, "640x480"), 4, true);
    QTRY_COMPARE_WITH_TIMEOUT(frameSize(), QSize(640, 480), 30000);
    w->b_IsHideImageAlgorithm = hidden;
    w->resolvingcombo->setCurrentText("1280x720");
    if (hidden)
        QTest::qWait(500); // long enough for a restarted stream to deliver its first frame
    QTRY_COMPARE_WITH_TIMEOUT(frameSize(), after, 30000);
    m_window.reset();
    QVERIFY(frameSize().isEmpty());
}

void TestMainWindow::zoom_data()
{
    QTest::addColumn<QString>("cut");
    QTest::addColumn<QString>("presses");
    QTest::addColumn<double>("scale");
    QTest::newRow("five steps in") << "不裁切"
                                   << "+++++" << 250.0;
    QTest::newRow("capped at 400") << "不裁切"
                                   << "+++++++++" << 400.0;
    QTest::newRow("floored at 0") << "单图裁切"
                                  << "+--" << 0.0;
    QTest::newRow("restore") << "不裁切"
                             << "++0" << 0.0;
    QTest::newRow("restore from never zoomed") << "不裁切"
                                               << "0" << 0.0;
    QTest::newRow("manual crop refuses") << "手动裁切"
                                         << "+-" << -999.0;
}

void TestMainWindow::zoom()
{
    QFETCH(QString, cut);
    QFETCH(QString, presses);
    MainWindow *w = window(stored(0));
    w->cutmethodcombo->setCurrentText(cut);
    for (QChar press : presses) {
        if (press == '+')
            w->onBtnEnlargeClicked();
        else if (press == '-')
            w->onBtnNarrowClicked();
        else
            w->onBtnImgrestoreClicked();
    }
    QTEST(w->nVideoScaleSize, "scale");
}

MainWindow *TestMainWindow::paintedWindow(const QString &method, QSize frame)
{
    MainWindow *w = window(stored(0));
    w->cutmethodcombo->setCurrentText(method);
    w->show();
    if (!QTest::qWaitForWindowExposed(w))
        return nullptr;
    std::vector<uchar> pixels(size_t(frame.width() * frame.height() * 3), 128);
    ReceiveImage(pixels.data(), int(pixels.size()), frame.width(), frame.height(), 0);
    if (!QTest::qWaitFor([w] { return w->m_bIsShowImage && !w->m_ImageRect.isEmpty(); }))
        return nullptr;
    return w;
}

void TestMainWindow::previewGeometry_data()
{
    QTest::addColumn<QSize>("frame");
    QTest::addColumn<bool>("fillsWidth");
    QTest::newRow("landscape") << QSize(640, 480) << true;
    QTest::newRow("portrait") << QSize(480, 640) << false;
    QTest::newRow("wider than 1.7") << QSize(1920, 800) << true;
}

// The picture fills the preview area's width (less a margin) or its height, within
// the normal window's limits, centred in the area.
void TestMainWindow::previewGeometry()
{
    QFETCH(QSize, frame);
    QFETCH(bool, fillsWidth);
    MainWindow *w = paintedWindow("不裁切", frame);
    QVERIFY(w);
    const QWidget *area = w->findChild<QWidget *>("topleftwidget");
    const QRect r = w->m_ImageRect;
    if (fillsWidth)
        QCOMPARE(r.width(), qMin(area->width() - 16, 570));
    else
        QCOMPARE(r.height(), qMin(area->height(), 440));
    QVERIFY(qAbs(r.width() * frame.height() - r.height() * frame.width()) <= frame.width() + frame.height());
    QVERIFY(qAbs(r.center().x() - (16 + area->width() / 2)) <= 1);
    QVERIFY(qAbs(r.center().y() - (57 + area->height() / 2)) <= 1);
}

void TestMainWindow::manualCropMouse_data()
{
    // Points relative to the picture's top-left corner; the release may lie outside it.
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<QPoint>("move");
    QTest::addColumn<QPoint>("release");
    QTest::addColumn<bool>("releaseOutside");
    QTest::addColumn<QPoint>("start");
    QTest::addColumn<QPoint>("end");
    QTest::newRow("drag") << QPoint(50, 40) << QPoint(150, 120) << QPoint(160, 130) << false << QPoint(50, 40)
                          << QPoint(160, 130);
    QTest::newRow("click keeps the rectangle")
        << QPoint(60, 60) << QPoint(60, 60) << QPoint(60, 60) << false << QPoint(0, 0) << QPoint(100, 100);
    QTest::newRow("short drag becomes a square") << QPoint(100, 100) << QPoint(110, 150) << QPoint(110, 150)
                                                 << false << QPoint(100, 100) << QPoint(130, 130);
    QTest::newRow("short drag up and left") << QPoint(100, 100) << QPoint(90, 40) << QPoint(90, 40) << false
                                            << QPoint(100, 100) << QPoint(70, 70);
    QTest::newRow("release outside ends at the last drag point")
        << QPoint(50, 40) << QPoint(120, 90) << QPoint(-5, 300) << true << QPoint(50, 40) << QPoint(120, 90);
}

void TestMainWindow::manualCropMouse()
{
    QFETCH(QPoint, press);
    QFETCH(QPoint, move);
    QFETCH(QPoint, release);
    QFETCH(bool, releaseOutside);
    MainWindow *w = paintedWindow("手动裁切");
    QVERIFY(w);
    const QPoint corner = w->m_ImageRect.topLeft();
    QCOMPARE(w->m_StartPosition, QList<QPoint>{corner}); // the default square
    sendMouse(w, QEvent::MouseButtonPress, corner + press);
    sendMouse(w, QEvent::MouseMove, corner + move);
    const QPoint releaseAt = releaseOutside ? QPoint(4, corner.y() + 20) : corner + release;
    QVERIFY(!releaseOutside || !w->m_ImageRect.contains(releaseAt));
    sendMouse(w, QEvent::MouseButtonRelease, releaseAt);
    QCOMPARE(w->m_StartPosition.size(), 1);
    QCOMPARE(w->m_EndPosition.size(), 1);
    QTEST(w->m_StartPosition.first() - corner, "start");
    QTEST(w->m_EndPosition.first() - corner, "end");
    QVERIFY(w->m_bIsDrawOver);

    // Leaving manual crop drops the rectangle at the next paint.
    w->cutmethodcombo->setCurrentText("单图裁切");
    w->repaint();
    QVERIFY(w->m_StartPosition.isEmpty() && w->m_EndPosition.isEmpty());
}

void TestMainWindow::cutMethodRules_data()
{
    QTest::addColumn<bool>("book");
    QTest::addColumn<QString>("cut");
    QTest::addColumn<QStringList>("cutItems");
    QTest::addColumn<QStringList>("foreignItems");
    QTest::addColumn<bool>("fillEnabled");
    QTest::addColumn<bool>("idCardEnabled");
    QTest::addColumn<int>("rotationIndex");
    const QStringList withBook = {"不裁切", "单图裁切", "多图裁切", "拍书", "手动裁切", "分页裁切"};
    const QStringList withoutBook = {"不裁切", "单图裁切", "多图裁切", "手动裁切", "分页裁切"};
    QTest::newRow("no cut") << true << "不裁切" << withBook << QStringList{"无"} << false << false << 6;
    QTest::newRow("single") << false << "单图裁切" << withoutBook << QStringList{"无", "去除装订孔"} << true
                            << true << 6;
    QTest::newRow("multiple") << true << "多图裁切" << withBook << QStringList{"无", "去除装订孔"} << true
                              << false << 6;
    QTest::newRow("book") << true << "拍书" << withBook << QStringList{"无", "去除手指", "去除装订孔"} << true
                          << false << 4;
}

void TestMainWindow::cutMethodRules()
{
    QFETCH(bool, book);
    QFETCH(QString, cut);
    QFETCH(bool, fillEnabled);
    QFETCH(bool, idCardEnabled);
    MainWindow *w = window(stored(1), 6);
    w->UpdateCutting(book, true, true);
    w->edgemendingcombo->setCurrentIndex(2);
    w->idcardmodecombo->setCurrentIndex(1);
    w->cutmethodcombo->setCurrentText(cut);
    QCOMPARE(w->cutmethodcombo->currentText(), cut);
    QTEST(items(w->cutmethodcombo), "cutItems");
    QTEST(items(w->foreignmattercombo), "foreignItems");
    QCOMPARE(w->edgemendingcombo->isEnabled(), fillEnabled);
    QCOMPARE(w->foreignmattercombo->isEnabled(), fillEnabled);
    QCOMPARE(w->edgemendingcombo->currentIndex(), fillEnabled ? 2 : 0);
    QCOMPARE(w->idcardmodecombo->isEnabled(), idCardEnabled);
    QCOMPARE(w->idcardmodecombo->currentIndex(), idCardEnabled ? 1 : 0);
    QTEST(w->rotationindex, "rotationIndex");
}

void TestMainWindow::openedFromHomeWindow_data()
{
    QTest::addColumn<int>("device");
    QTest::addColumn<bool>("processing");
    QTest::addColumn<bool>("unplug");
    QTest::newRow("document camera, unplugged") << 0 << true << true;
    QTest::newRow("plain camera, closed") << 1 << false << false;
}

void TestMainWindow::openedFromHomeWindow()
{
    QFETCH(int, device);
    QFETCH(bool, processing);
    QFETCH(bool, unplug);
    m_window.reset();
    twocameras::setPresent(true, true);
    ADFmain home;
    home.show();
    TitleBar *bar = home.findChild<TitleBar *>();
    QTRY_COMPARE_WITH_TIMEOUT(bar->m_comboSelect->count(), 2, 20000);
    bar->m_comboSelect->setCurrentIndex(device);
    bar->m_capture->click();
    bar->m_capture->click(); // a second press opens no second window

    QList<MainWindow *> windows;
    for (QWidget *top : QApplication::topLevelWidgets())
        if (auto *camera = qobject_cast<MainWindow *>(top))
            windows << camera;
    QCOMPARE(windows.size(), 1);
    QPointer<MainWindow> w = windows.first();
    QVERIFY(w->isVisible());
    QVERIFY(!home.isVisible());
    for (QWidget *control :
         std::initializer_list<QWidget *>{w->cutmethodcombo, w->imageeffectcombo, w->colorBtn})
        QCOMPARE(control->isEnabled(), processing);
    if (!processing) {
        for (QComboBox *box :
             {w->edgemendingcombo, w->foreignmattercombo, w->idcardmodecombo, w->uninterruptedmodlecombo})
            QVERIFY(!box->isEnabled());
    }
    QCOMPARE(w->b_IsHideImageAlgorithm, !processing);
    QTRY_VERIFY_WITH_TIMEOUT(w->m_bIsShowImage, 30000);

    auto *item = new QListWidgetItem;
    item->setData(Qt::UserRole + 1, "page_1.jpg");
    w->listview->addItem(item);
    QSignalSpy back(w.data(), SIGNAL(signalShowADFUI(bool, QPoint, QStringList)));
    if (unplug) {
        twocameras::setPresent(false, true);
        QMetaObject::invokeMethod(&home, "slotGetDeviceChanged", Q_ARG(QString, "/dev"));
    } else {
        w->findChild<TitleBar *>()->m_pButtonClose->click();
    }
    QCOMPARE(back.size(), 1);
    QCOMPARE(back.first().at(2).toStringList(), QStringList{"page_1.jpg"});
    QVERIFY(home.isVisible());
    QTRY_VERIFY(w.isNull());
    QVERIFY(frameSize().isEmpty());
    twocameras::setPresent(true, true);
    QMetaObject::invokeMethod(&home, "onButtonCloseClicked");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

MainWindow *TestMainWindow::capturingWindow(SETPARAM set, const WATERPARAM &water)
{
    m_window.reset();
    m_folder = m_home + "/scans";
    QDir(m_folder).removeRecursively();
    QDir().mkpath(m_folder);
    set.savepath = m_folder;
    m_window.reset(new MainWindow(camera(0), set, water, stored(0, "640x480"), true, 0, 4));
    m_window->UpdateCutting(true, true, true);
    if (!QTest::qWaitFor([] { return frameSize() == QSize(640, 480); }, 30000))
        return nullptr;
    return m_window.get();
}

void TestMainWindow::captureNames_data()
{
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("cut");
    QTest::addColumn<int>("saveType");
    QTest::addColumn<QString>("imageIndex"); // the window's next number before the first press
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<int>("presses");
    QTest::addColumn<QStringList>("strip");
    QTest::addColumn<QString>("next");
    QTest::newRow("numbered") << "_"
                              << "不裁切" << 0 << "0" << QStringList{} << 2
                              << QStringList{"scan_1.jpg", "scan_2.jpg"} << "3";
    QTest::newRow("other separator restarts at 1")
        << "-"
        << "不裁切" << 0 << "5" << QStringList{} << 2 << QStringList{"scan-5.jpg", "scan-1.jpg"} << "1";
    QTest::newRow("kept file, number after the bracket")
        << "_"
        << "不裁切" << 0 << "0" << QStringList{"scan_1.jpg"} << 1 << QStringList{"scan_1(1).jpg"} << "2";
    QTest::newRow("overwrite") << "_"
                               << "不裁切" << 1 << "0" << QStringList{"scan_1.jpg"} << 1
                               << QStringList{"scan_1.jpg"} << "2";
    QTest::newRow("wrap after 10000")
        << "_"
        << "不裁切" << 0 << "10000" << QStringList{} << 1 << QStringList{"scan_10000.jpg"} << "1";
    QTest::newRow("page split adds both halves")
        << "_"
        << "分页裁切" << 0 << "0" << QStringList{} << 1 << QStringList{"scan_1.jpg", "scan_2.jpg"} << "3";
}

void TestMainWindow::captureNames()
{
    QFETCH(QString, separator);
    QFETCH(QString, cut);
    QFETCH(QString, imageIndex);
    QFETCH(QStringList, existing);
    QFETCH(int, presses);
    SETPARAM set = m_set;
    set.nameFormat = {separator, "scan", 1};
    QFETCH(int, saveType);
    set.saveType = saveType;
    MainWindow *w = capturingWindow(set, m_water);
    QVERIFY(w);
    for (const QString &name : existing) {
        QFile f(m_folder + "/" + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    w->cutmethodcombo->setCurrentText(cut);
    w->ImageIndex = imageIndex;
    for (int i = 0; i < presses; ++i)
        QVERIFY(capture(w));
    QStringList strip;
    for (int row = 0; row < w->listview->count(); ++row)
        strip << w->listview->item(row)->data(Qt::UserRole + 1).toString();
    QTEST(strip, "strip");
    for (const QString &name : strip)
        QVERIFY(QFileInfo(m_folder + "/" + name).size() > 1000); // a picture, not the old file
    QTEST(w->ImageIndex, "next");
    QCOMPARE(w->nImageIndex, w->ImageIndex.toInt());
    m_window.reset();
    QDir(m_folder).removeRecursively();
}

void TestMainWindow::captureRefusals_data()
{
    QTest::addColumn<QString>("waterText"); // "-" for no watermark
    QTest::addColumn<bool>("longFolder");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<int>("written");
    QTest::addColumn<bool>("closes");
    QTest::newRow("30-character watermark") << QString(30, QChar(0x6C34)) << false << false << 1 << false;
    QTest::newRow("31-character watermark") << QString(31, 'w') << false << false << 0 << false;
    QTest::newRow("empty watermark") << "" << false << false << 0 << false;
    QTest::newRow("long folder falls back to /tmp") << "-" << true << false << 0 << false;
    QTest::newRow("unwritable folder closes") << "-" << false << true << 0 << true;
}

void TestMainWindow::captureRefusals()
{
    QFETCH(QString, waterText);
    QFETCH(bool, longFolder);
    QFETCH(bool, readOnly);
    QFETCH(bool, closes);
    QByteArray text = waterText.toUtf8();
    char content[256] = {};
    qstrncpy(content, text.constData(), sizeof(content));
    WATERPARAM water = m_water;
    water.bIsWater = waterText != "-";
    water.szWaterContent = content;
    SETPARAM set = m_set;
    // A name of our own, so that the /tmp fallback never meets someone else's file.
    const QString base = QString("plxcam%1_").arg(QCoreApplication::applicationPid());
    set.nameFormat = {"_", base, 1};
    MainWindow *w = capturingWindow(set, water);
    QVERIFY(w);
    if (longFolder) {
        w->setinfo.savepath = m_folder + "/" + QString(80, 'd');
        QVERIFY(QDir().mkpath(w->setinfo.savepath));
    }
    if (readOnly && !unwritablefolder::lock(m_folder)) {
        unwritablefolder::restore(m_folder);
        QSKIP("no way to make a folder unwritable for this user");
    }
    QSignalSpy closed(w, SIGNAL(signalShowADFUI(bool, QPoint, QStringList)));
    w->onButtonCaptureClicked();
    QTRY_VERIFY_WITH_TIMEOUT(!w->m_bIsCapturing, 20000);
    QCOMPARE(closed.size(), closes ? 1 : 0);
    unwritablefolder::restore(m_folder);
    QStringList written;
    QDirIterator it(m_folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        written << it.next();
    QTEST(int(written.size()), "written");
    const QString fallback = "/tmp/" + base + "_1.jpg";
    QCOMPARE(QFile::exists(fallback), longFolder);
    QFile::remove(fallback);
    m_window.reset();
    QDir(m_folder).removeRecursively();
}

void TestMainWindow::idCardTakesTwoPresses()
{
    SETPARAM set = m_set;
    set.nameFormat = {"_", "card", 1};
    MainWindow *w = capturingWindow(set, m_water);
    QVERIFY(w);
    w->cutmethodcombo->setCurrentText("单图裁切");
    w->idcardmodecombo->setCurrentText("正反面(上下竖拼)");
    g_idCardNumber = 0;
    QVERIFY(capture(w));
    QCOMPARE(w->listview->count(), 0);
    QVERIFY(QFile::exists("/tmp/a.jpg"));
    QVERIFY(capture(w));
    QCOMPARE(w->listview->count(), 1);
    const QImage joined(m_folder + "/card_1.jpg");
    QVERIFY(joined.height() > joined.width()); // two landscape sides one above the other
    QFile::remove("/tmp/a.jpg");
    QFile::remove("/tmp/b.jpg");
    m_window.reset();
    QDir(m_folder).removeRecursively();
}

// A second trigger while a capture runs starts nothing; closing waits for the
// capture and hands its file to the home window.
void TestMainWindow::closeWaitsForCapture()
{
    SETPARAM set = m_set;
    set.nameFormat = {"_", "late", 1};
    MainWindow *w = capturingWindow(set, m_water);
    QVERIFY(w);
    QSignalSpy closed(w, SIGNAL(signalShowADFUI(bool, QPoint, QStringList)));
    w->onButtonCaptureClicked();
    QVERIFY(w->m_bIsCapturing);
    w->onButtonCaptureClicked();
    w->onButtonCloseClicked();
    QCOMPARE(closed.size(), 1);
    QCOMPARE(closed.first().at(2).toStringList(), QStringList{"late_1.jpg"});
    QCOMPARE(QDir(m_folder).entryList(QDir::Files), QStringList{"late_1.jpg"});
    m_window.reset();
    QDir(m_folder).removeRecursively();
}

void TestMainWindow::stripRules()
{
    MainWindow *w = window(stored(0));
    const QString a = m_home + "/a.png", b = m_home + "/b.png";
    QImage(64, 48, QImage::Format_RGB32).save(a);
    QImage(64, 48, QImage::Format_RGB32).save(b);
    g_path.clear();
    for (const QString &path : {a, a, b, a})
        w->addItem(path);
    QCOMPARE(w->listview->count(), 3); // the same path twice in a row is one item
    QCOMPARE(w->listview->currentRow(), 2);

    // Deleting the only capture empties the strip and removes the file.
    w->listview->clear();
    g_path.clear();
    w->addItem(a);
    w->listViewImagePath = QStringList{a};
    w->listview->setCurrentRow(0);
    w->slotTableViewMenuDelFile();
    QCOMPARE(w->listview->count(), 0);
    QVERIFY(w->listViewImagePath.isEmpty());
    QVERIFY(!QFile::exists(a));
    QFile::remove(b);
}

void TestMainWindow::continuousShooting_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("detection");
    QTest::addColumn<int>("ticks"); // countdown steps before the first capture
    QTest::newRow("timed 5 s") << "定时(5秒)" << false << 5;
    QTest::newRow("timed 7 s") << "定时(7秒)" << false << 7;
    QTest::newRow("automatic") << "自动" << true << 3;
}

void TestMainWindow::continuousShooting()
{
    QFETCH(QString, mode);
    QFETCH(bool, detection);
    SETPARAM set = m_set;
    set.nameFormat = {"_", "auto", 1};
    MainWindow *w = capturingWindow(set, m_water);
    QVERIFY(w);
    w->captureTickMs = 20;
    w->show();
    QTRY_VERIFY(w->m_bIsShowImage);
    int ticks = 0, atCapture = -1;
    connect(w->captureTimer, &QTimer::timeout, [&] {
        ++ticks;
        if (w->m_bIsCapturing && atCapture < 0)
            atCapture = ticks;
    });
    w->uninterruptedmodlecombo->setCurrentText(mode);
    QWidget *mask = w->findChild<QWidget *>("timerMaskWidget");
    QVERIFY(mask->isVisible());
    QVERIFY(!w->cutmethodcombo->isEnabled() && !w->colorBtn->isEnabled());
    if (detection) {
        QVERIFY(!w->captureTimer->isActive());
        autoCapture(1); // a scene starting to change starts nothing
        QVERIFY(!w->captureTimer->isActive());
        autoCapture(0);
        QVERIFY(w->captureTimer->isActive());
    }
    QTRY_COMPARE_WITH_TIMEOUT(w->listview->count(), 1, 20000);
    QTEST(atCapture, "ticks");

    w->uninterruptedmodlecombo->setCurrentText("手动");
    QVERIFY(!w->captureTimer->isActive());
    QVERIFY(!mask->isVisible());
    QVERIFY(w->cutmethodcombo->isEnabled() && w->colorBtn->isEnabled());
    m_window.reset();
    QDir(m_folder).removeRecursively();
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
