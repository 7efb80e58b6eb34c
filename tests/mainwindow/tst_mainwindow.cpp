// The camera window: stored choices, the buttons' rules, the preview and manual
// crop, captures and their names, continuous shooting and the way back home.
#include "CamCaptureSDK.h"
#include "adfmain.h"
#include "mainwindow.h"
#include "settingswindows.h"
#include "titlebar.h"
#include "twocameras.h"
#include "unwritablefolder.h"

using settingswindows::sendMouse;

namespace {
DEVPARAM camera()
{
    return {0, 0, {"cam", {"3264x2448", "2592x1944", "1920x1080", "1280x720", "640x480"}}, {}};
}

CAMIMAGESET stored(int cropIndex, const QString &resolution = "640x480", const QString &format = "jpg")
{
    return {format, resolution, "手动", cropIndex, 0, 0, 0, 0};
}

QSize frameSize()
{
    QMutexLocker lock(&MutexCamDataBuffLock);
    return g_Camimage ? g_Camimage->size() : QSize();
}

QStringList strip(MainWindow *w)
{
    QStringList names;
    for (int row = 0; row < w->listview->count(); ++row)
        names << w->listview->item(row)->data(Qt::UserRole + 1).toString();
    return names;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Error tips off, so that no message box blocks a test.
        settingswindows::installTheme({{"Set/IsErrorTips", "0"}});
        // The second camera carries the ids of a plain camera without image algorithms.
        twocameras::configure("1209:ca00,0ac8:3420");
        qputenv("CAMSDK_VIRTUAL_FPS", "30");
        QCOMPARE(Cam_Init(), long(ERROR_GOOD));
        twocameras::setPresent(true, true);
    }
    void cleanupTestCase()
    {
        m_window.reset();
        settingswindows::removeTheme();
    }
    void cleanup()
    {
        m_window.reset();
        unwritablefolder::restore(m_folder); // also after a failed check
        QDir(m_folder).removeRecursively();
        QFile::remove("/tmp/a.jpg"); // the ID card's sides
        QFile::remove("/tmp/b.jpg");
        g_path.clear(); // the strip's last path outlives its window: a new window may repeat it
    }

    // Stored choices come back; an index or a text the lists do not have falls back.
    void construction_data()
    {
        QTest::addColumn<QString>("stored"); // cut, book shooting, rotation index, resolution, format
        QTest::addColumn<QString>("shown");  // cut, rotation, resolution, format
        QTest::newRow("stored values") << "2 1 5 1280x720 png"
                                       << "多图裁切 90 1280x720 png";
        QTest::newRow("index past the shorter list") << "4 0 3 12x34 gif"
                                                     << "不裁切 270 3264x2448 jpg";
        QTest::newRow("negative values") << "-1 1 -2 _ _"
                                         << "不裁切 180 3264x2448 jpg";
    }
    void construction()
    {
        QFETCH(QString, stored);
        const QStringList in = stored.replace('_', "").split(' '); // "_": empty
        m_window.reset(new MainWindow(camera(), m_set, m_water, ::stored(in[0].toInt(), in[3], in[4]), false,
                                      0, in[2].toInt()));
        MainWindow *w = m_window.get();
        w->UpdateCutting(in[1] == "1", in[1] == "1", in[1] == "1");
        QTEST(QStringList({w->cutmethodcombo->currentText(), QString::number(w->rotation),
                           w->resolvingcombo->currentText(), w->fileformatcombo->currentText()})
                  .join(' '),
              "shown");
        QCOMPARE(g_Camself, w);
    }

    // Rotation steps by 90 degrees, its counter kept off 0 and 8, refused while
    // shooting a book; zoom steps by 50 within 0..400, refused in manual crop.
    void buttons_data()
    {
        QTest::addColumn<QString>("row");    // cut, start, presses (L, R: rotate; +, -: zoom; 0: restore)
        QTest::addColumn<QString>("result"); // the rotations sent, the counter, the zoom (-999: never set)
        // clang-format off
        QTest::newRow("left round, five steps in")          << "不裁切 4 LLLL+++++"   << "270,180,90,0 4 250";
        QTest::newRow("right round, floored at 0")          << "单图裁切 4 RRRR+--"   << "90,180,270,0 4 0";
        QTest::newRow("left from 1 skips 0, capped at 400") << "不裁切 1 LL+++++++++" << "0,270 3 400";
        QTest::newRow("right from 7 skips 8, restore")      << "不裁切 7 R++0"        << "0 4 0";
        QTest::newRow("book refuses rotation")              << "拍书 5 LR"            << " 4 -999";
        QTest::newRow("manual crop refuses zoom")           << "手动裁切 4 +-"        << " 4 -999";
        // clang-format on
    }
    void buttons()
    {
        QFETCH(QString, row);
        const QStringList in = row.split(' ');
        MainWindow *w = window(stored(0), in[1].toInt());
        w->cutmethodcombo->setCurrentText(in[0]);
        QSignalSpy spy(w, SIGNAL(ImageRotation(int)));
        const QMap<QChar, void (MainWindow::*)()> handlers = {{'L', &MainWindow::onBtnleftrotationClicked},
                                                              {'R', &MainWindow::onBtnrightrotationClicked},
                                                              {'+', &MainWindow::onBtnEnlargeClicked},
                                                              {'-', &MainWindow::onBtnNarrowClicked},
                                                              {'0', &MainWindow::onBtnImgrestoreClicked}};
        for (QChar press : in[2])
            (w->*handlers[press])();
        QStringList sent;
        for (const QList<QVariant> &args : spy)
            sent << args.at(0).toString();
        QTEST(QString("%1 %2 %3").arg(sent.join(',')).arg(w->rotationindex).arg(w->nVideoScaleSize),
              "result");
    }

    // In manual crop a drag over the picture draws the rectangle (points relative to the
    // picture's corner; a null release lies outside it).
    void preview_data()
    {
        QTest::addColumn<QList<QPoint>>("drag"); // press, move, release, start and end drawn
        QTest::newRow("drag") << QList<QPoint>{{50, 40}, {150, 120}, {160, 130}, {50, 40}, {160, 130}};
        QTest::newRow("click keeps the rectangle")
            << QList<QPoint>{{60, 60}, {60, 60}, {60, 60}, {0, 0}, {100, 100}};
        QTest::newRow("short drag becomes a square")
            << QList<QPoint>{{100, 100}, {110, 150}, {110, 150}, {100, 100}, {130, 130}};
        QTest::newRow("release outside ends at the last drag point")
            << QList<QPoint>{{50, 40}, {120, 90}, {}, {50, 40}, {120, 90}};
    }
    void preview()
    {
        QFETCH(QList<QPoint>, drag);
        MainWindow *w = paintedWindow(QSize(640, 480));
        QVERIFY(w);
        const QRect r = w->m_ImageRect;
        const QPoint corner = r.topLeft();
        QCOMPARE(w->m_StartPosition, QList<QPoint>{corner}); // the default square
        sendMouse(w, QEvent::MouseButtonPress, corner + drag[0]);
        sendMouse(w, QEvent::MouseMove, corner + drag[1]);
        const QPoint releaseAt = drag[2].isNull() ? QPoint(4, corner.y() + 20) : corner + drag[2];
        QVERIFY(!drag[2].isNull() || !r.contains(releaseAt));
        sendMouse(w, QEvent::MouseButtonRelease, releaseAt);
        QCOMPARE(w->m_StartPosition.size() + w->m_EndPosition.size(), 2);
        QCOMPARE(QList<QPoint>({w->m_StartPosition.first() - corner, w->m_EndPosition.first() - corner}),
                 drag.mid(3));
        QVERIFY(w->m_bIsDrawOver);
        // Leaving manual crop drops the rectangle at the next paint.
        w->cutmethodcombo->setCurrentText("单图裁切");
        w->repaint();
        QVERIFY(w->m_StartPosition.isEmpty() && w->m_EndPosition.isEmpty());
    }

    // What each cut offers: book shooting offered, the cut; the foreign-matter items; edge
    // filling and foreign matter enabled, the filling kept; ID card mode enabled and kept;
    // the rotation index (reset for a book).
    void cutMethodRules_data()
    {
        QTest::addColumn<QString>("row");
        for (const char *row :
             {"1 不裁切 无 000 00 6", "0 单图裁切 无/去除装订孔 112 11 6",
              "1 多图裁切 无/去除装订孔 112 00 6", "1 拍书 无/去除手指/去除装订孔 112 00 4"})
            QTest::newRow(row) << QString(row);
    }
    void cutMethodRules()
    {
        QFETCH(QString, row);
        MainWindow *w = window(stored(1), 6);
        w->UpdateCutting(row[0] == '1', true, true);
        w->edgemendingcombo->setCurrentIndex(2);
        w->idcardmodecombo->setCurrentIndex(1);
        w->cutmethodcombo->setCurrentText(row.section(' ', 1, 1));
        QStringList foreign;
        for (int i = 0; i < w->foreignmattercombo->count(); ++i)
            foreign << w->foreignmattercombo->itemText(i);
        QCOMPARE(QString("%1 %2 %3 %4%5%6 %7%8 %9")
                     .arg(w->cutmethodcombo->findText("拍书") >= 0)
                     .arg(w->cutmethodcombo->currentText(), foreign.join('/'))
                     .arg(w->edgemendingcombo->isEnabled())
                     .arg(w->foreignmattercombo->isEnabled())
                     .arg(w->edgemendingcombo->currentIndex())
                     .arg(w->idcardmodecombo->isEnabled())
                     .arg(w->idcardmodecombo->currentIndex())
                     .arg(w->rotationindex),
                 row);
    }

    // The home window opens one camera window, its image processing only for a document camera.
    void openedFromHomeWindow_data()
    {
        QTest::addColumn<int>("device");
        QTest::addColumn<bool>("processing");
        QTest::newRow("document camera, unplugged") << 0 << true;
        QTest::newRow("plain camera, closed") << 1 << false;
    }
    void openedFromHomeWindow()
    {
        QFETCH(int, device);
        QFETCH(bool, processing);
        m_window.reset();
        twocameras::setPresent(true, true);
        ADFmain home;
        home.show();
        TitleBar *bar = home.findChild<TitleBar *>();
        QTRY_COMPARE_WITH_TIMEOUT(bar->m_comboSelect->count(), 2, 20000);
        bar->m_comboSelect->setCurrentIndex(device);
        bar->m_capture->click();
        bar->m_capture->click();     // a second press opens no second window
        QList<MainWindow *> windows; // the camera windows shown
        for (QWidget *top : QApplication::topLevelWidgets())
            if (auto *m = qobject_cast<MainWindow *>(top); m && m->isVisible())
                windows << m;
        QCOMPARE(windows.size(), 1);
        QPointer<MainWindow> w = windows.first();
        QVERIFY(w->isVisible() && !home.isVisible());
        QVERIFY(w->cutmethodcombo->isEnabled() == processing && w->colorBtn->isEnabled() == processing);
        QCOMPARE(w->b_IsHideImageAlgorithm, !processing);
        QTRY_VERIFY_WITH_TIMEOUT(w->m_bIsShowImage, 30000);
        // A new resolution restarts the stream, except on a plain camera.
        const QSize before = frameSize();
        w->resolvingcombo->setCurrentText(before == QSize(640, 480) ? "1280x720" : "640x480");
        const QStringList size = w->resolvingcombo->currentText().split('x');
        QVERIFY(QSize(size.value(0).toInt(), size.value(1).toInt()) != before);
        if (!processing)
            QTest::qWait(500); // long enough for a restarted stream to deliver its first frame
        QTRY_COMPARE_WITH_TIMEOUT(frameSize(), processing ? QSize(size[0].toInt(), size[1].toInt()) : before,
                                  30000);
        // Unplugging or closing hands back to the home window and stops the stream.
        QSignalSpy back(w.data(), SIGNAL(signalShowADFUI(bool, QPoint, QStringList)));
        if (processing) {
            twocameras::setPresent(false, true);
            QMetaObject::invokeMethod(&home, "slotGetDeviceChanged", Q_ARG(QString, "/dev"));
        } else {
            w->findChild<TitleBar *>()->m_pButtonClose->click();
        }
        QCOMPARE(back.size(), 1);
        QVERIFY(home.isVisible());
        QTRY_VERIFY(w.isNull());
        QVERIFY(frameSize().isEmpty());
        twocameras::setPresent(true, true);
        QMetaObject::invokeMethod(&home, "onButtonCloseClicked");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Names number on from the window's counter; a taken name gets "(k)" unless
    // overwriting; the counter wraps after 10000 and restarts for a new separator.
    void captureNames_data()
    {
        // Separator, cut, overwrite, the window's next number before the first press, presses,
        // the ID card mode and the files there before ("-": none).
        QTest::addColumn<QString>("naming");
        QTest::addColumn<QString>("strip");
        QTest::addColumn<QString>("next");
        // clang-format off
        QTest::newRow("numbered") << "_ 不裁切 0 0 2 无 -" << "scan_1.jpg scan_2.jpg" << "3";
        QTest::newRow("other separator restarts at 1") << "- 不裁切 0 5 2 无 -" << "scan-5.jpg scan-1.jpg" << "1";
        QTest::newRow("kept file, number after the bracket") << "_ 不裁切 0 0 1 无 scan_1.jpg" << "scan_1(1).jpg" << "2";
        QTest::newRow("overwrite") << "_ 不裁切 1 0 1 无 scan_1.jpg" << "scan_1.jpg" << "2";
        QTest::newRow("wrap after 10000") << "_ 不裁切 0 10000 1 无 -" << "scan_10000.jpg" << "1";
        QTest::newRow("page split adds both halves") << "_ 分页裁切 0 0 1 无 -" << "scan_1.jpg scan_2.jpg" << "3";
        // An ID card takes a press per side; the second joins them one above the other.
        QTest::newRow("ID card, two sides") << "_ 单图裁切 0 0 2 正反面(上下竖拼) -" << "scan_1.jpg" << "2";
        // clang-format on
    }
    void captureNames()
    {
        QFETCH(QString, naming);
        const QStringList n = naming.split(' '), existing = n[6] == "-" ? QStringList() : QStringList{n[6]};
        SETPARAM set = m_set;
        set.nameFormat = {n[0], "scan", 1};
        set.saveType = n[2].toInt();
        MainWindow *w = capturingWindow(set, m_water);
        QVERIFY(w);
        for (const QString &name : existing)
            settingswindows::writeFile(m_folder + "/" + name, "old");
        w->cutmethodcombo->setCurrentText(n[1]);
        w->idcardmodecombo->setCurrentText(n[5]);
        QCOMPARE(w->idcardmodecombo->currentText(), n[5]);
        g_idCardNumber = 0;
        w->ImageIndex = n[3];
        for (int i = 1; i < n[4].toInt(); ++i)
            QVERIFY(capture(w));
        // A second press while the last capture runs starts nothing; closing waits for it.
        QSignalSpy closed(w, SIGNAL(signalShowADFUI(bool, QPoint, QStringList)));
        w->onButtonCaptureClicked();
        QVERIFY(w->m_bIsCapturing);
        w->onButtonCaptureClicked();
        w->onButtonCloseClicked();
        QTEST(strip(w).join(' '), "strip");
        QCOMPARE(closed.size(), 1);
        QCOMPARE(closed.first().at(2).toStringList(), strip(w));
        QStringList files = existing + strip(w);
        files.removeDuplicates();
        files.sort();
        QCOMPARE(QDir(m_folder).entryList(QDir::Files), files);
        for (const QString &name : strip(w)) {
            const QImage picture(m_folder + "/" + name); // a picture, not the old file
            QVERIFY(!picture.isNull());
            QVERIFY(n[5] == "无" || picture.height() > picture.width()); // two landscape sides
        }
        QTEST(w->ImageIndex, "next");
        QCOMPARE(w->nImageIndex, w->ImageIndex.toInt());
    }

    // A watermark must have 1 to 30 characters; a folder path too long falls back to
    // /tmp; an unwritable folder closes the window. Nothing is written when refused.
    void captureRefusals_data()
    {
        QTest::addColumn<QString>("waterText"); // "-" for no watermark
        QTest::addColumn<bool>("longFolder");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<int>("written");
        QTest::newRow("30-character watermark") << QString(30, QChar(0x6C34)) << false << false << 1;
        QTest::newRow("31-character watermark") << QString(31, 'w') << false << false << 0;
        QTest::newRow("empty watermark") << "" << false << false << 0;
        QTest::newRow("long folder falls back to /tmp") << "-" << true << false << 0;
        QTest::newRow("unwritable folder closes") << "-" << false << true << 0;
    }
    void captureRefusals()
    {
        QFETCH(QString, waterText);
        QFETCH(bool, longFolder);
        QFETCH(bool, readOnly);
        QByteArray content = waterText.toUtf8();
        WATERPARAM water = m_water;
        water.bIsWater = waterText != "-";
        water.szWaterContent = content.data();
        SETPARAM set = m_set;
        // A name of our own, so that the /tmp fallback never meets someone else's file.
        const QString base = m_user.name + "_";
        set.nameFormat = {"_", base, 1};
        MainWindow *w = capturingWindow(set, water);
        QVERIFY(w);
        if (longFolder) {
            w->setinfo.savepath = m_folder + "/" + QString(80, 'd');
            QVERIFY(QDir().mkpath(w->setinfo.savepath));
        }
        if (readOnly && !unwritablefolder::lock(m_folder))
            QSKIP("no way to make a folder unwritable for this user");
        QSignalSpy closed(w, SIGNAL(signalShowADFUI(bool, QPoint, QStringList)));
        w->onButtonCaptureClicked();
        QTRY_VERIFY_WITH_TIMEOUT(!w->m_bIsCapturing, 20000);
        QCOMPARE(closed.size(), readOnly ? 1 : 0);
        int written = 0;
        for (QDirIterator it(m_folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next())
            ++written;
        QTEST(written, "written");
        const QString fallback = "/tmp/" + base + "_1.jpg";
        QCOMPARE(QFile::exists(fallback), longFolder);
        QFile::remove(fallback);
    }

    // Deleting the only capture empties the strip and removes the file.
    void deleteFromTheStrip()
    {
        MainWindow *w = window(stored(0));
        const QString a = m_user.home + "/a.png";
        QVERIFY(QImage(64, 48, QImage::Format_RGB32).save(a));
        w->addItem(a);
        w->listViewImagePath = QStringList{a};
        w->listview->setCurrentRow(0);
        w->slotTableViewMenuDelFile();
        QVERIFY(w->listview->count() == 0 && w->listViewImagePath.isEmpty() && !QFile::exists(a));
    }

    // Timed and automatic (still scene) capture lock the controls until back to manual.
    void continuousShooting_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("ticks"); // countdown steps before the first capture
        QTest::newRow("timed 5 s") << "定时(5秒)" << 5;
        QTest::newRow("automatic") << "自动" << 3;
    }
    void continuousShooting()
    {
        QFETCH(QString, mode);
        MainWindow *w = capturingWindow(m_set, m_water);
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
        if (mode == "自动") {
            QVERIFY(!w->captureTimer->isActive());
            autoCapture(1); // a scene starting to change starts nothing
            QVERIFY(!w->captureTimer->isActive());
            autoCapture(0);
            QVERIFY(w->captureTimer->isActive());
        }
        QTRY_COMPARE_WITH_TIMEOUT(w->listview->count(), 1, 20000);
        QTEST(atCapture, "ticks");
        w->uninterruptedmodlecombo->setCurrentText("手动");
        QVERIFY(!w->captureTimer->isActive() && !mask->isVisible());
        QVERIFY(w->cutmethodcombo->isEnabled() && w->colorBtn->isEnabled());
    }

private:
    MainWindow *window(const CAMIMAGESET &set, int rotateIndex = 4, bool show = false)
    {
        m_window.reset(); // one camera window at a time, as in the program
        m_window.reset(new MainWindow(camera(), m_set, m_water, set, show, 0, rotateIndex));
        m_window->UpdateCutting(true, true, true);
        return m_window.get();
    }
    // A window in manual crop showing a still frame, without a camera.
    MainWindow *paintedWindow(QSize frame)
    {
        MainWindow *w = window(stored(0));
        w->cutmethodcombo->setCurrentText("手动裁切");
        w->show();
        if (!QTest::qWaitForWindowExposed(w))
            return nullptr;
        std::vector<uchar> pixels(size_t(frame.width() * frame.height() * 3), 128);
        ReceiveImage(pixels.data(), int(pixels.size()), frame.width(), frame.height(), 0);
        if (!QTest::qWaitFor([w] { return w->m_bIsShowImage && !w->m_ImageRect.isEmpty(); }))
            return nullptr;
        return w;
    }
    // A streaming window saving into a fresh folder under the test's home.
    MainWindow *capturingWindow(SETPARAM set, const WATERPARAM &water)
    {
        m_window.reset();
        QDir(m_folder).removeRecursively();
        QDir().mkpath(m_folder);
        set.savepath = m_folder;
        m_window.reset(new MainWindow(camera(), set, water, stored(0, "640x480"), true, 0, 4));
        m_window->UpdateCutting(true, true, true);
        if (!QTest::qWaitFor([] { return frameSize() == QSize(640, 480); }, 30000))
            return nullptr;
        return m_window.get();
    }
    static bool capture(MainWindow *w)
    {
        w->onButtonCaptureClicked();
        return QTest::qWaitFor([w] { return !w->m_bIsCapturing; }, 20000);
    }

    settingswindows::TestUser m_user{"plxcam"};
    const QString m_folder = m_user.home + "/scans";
    SETPARAM m_set{m_user.home, {"_", "Image", 1}, 1, 0, false, false};
    WATERPARAM m_water{};
    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
