// The image settings window: what it shows for a stored watermark, the field
// rules, what OK sends (texts readable while the signal runs), Cancel and the pages.
#include "imageset.h"
#include "settingswindows.h"
#include "titlebar.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>

Q_DECLARE_METATYPE(WATERPARAM)

using settingswindows::ModalWatch;

namespace {
// The texts of a sent record, copied while the signal is delivered.
struct Received {
    WATERPARAM param{};
    QString imagePath, content, color;
    const char *font = nullptr;
    QStringList order; // signals in the order they came
    int book = -1;
};

char g_font[] = "/fonts/simhei.ttf";
} // namespace

class TestImageSet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { settingswindows::removeTheme(); }
    void init() { settingswindows::log().clear(); }
    void opensFromTheRecord_data();
    void opensFromTheRecord();
    void coordinatesAreClamped_data();
    void coordinatesAreClamped();
    void imageWatermarkNeedsAShortExistingFile_data();
    void imageWatermarkNeedsAShortExistingFile();
    void emptyTextBecomesTheDefault_data();
    void emptyTextBecomesTheDefault();
    void textReachingThirtyWarns();
    void okSendsTheRecord();
    void customColour();
    void cancelSendsTheOpeningFlags();
    void pagesFollowTheCamera_data();
    void pagesFollowTheCamera();

private:
    ImageSet *open(int mode, bool tips, int position = 0, int fontSize = 0, const char *color = "黑色",
                   int book = 0);
    Received *listen(ImageSet *w);
    template <class T> static T *child(ImageSet *w, const char *name) { return w->findChild<T *>(name); }
    // An existing picture whose path has exactly `length` characters.
    QString pictureOfLength(int length);

    QTemporaryDir m_tmp{"/tmp/plximgset"};
    CToolHelper m_theme;
    QByteArray m_path, m_content, m_color;
};

void TestImageSet::initTestCase()
{
    qRegisterMetaType<WATERPARAM>("WATERPARAM");
    settingswindows::installTheme();
    m_theme.SettingAllSets();
    QVERIFY(m_theme.bIsSupportOtherColors);
    QVERIFY(m_tmp.isValid());
}

ImageSet *TestImageSet::open(int mode, bool tips, int position, int fontSize, const char *color, int book)
{
    m_path = "/pics/logo.png";
    m_content = "机密";
    m_color = color;
    WATERPARAM p{};
    p.bIsWater = mode != 0;
    p.bIsWaterImage = mode == 1;
    p.szWaterImagePath = m_path.data();
    p.nWaterPointX = 10;
    p.nWaterPointY = 20;
    p.szWaterContent = m_content.data();
    p.szWaterFont = g_font;
    p.nFontSize = fontSize;
    p.nFontR = 1;
    p.nFontG = 2;
    p.nFontB = 3;
    p.nPositionCode = position;
    p.nOpacity = 1;
    p.nColor = m_color.data();
    SETPARAM set{};
    set.IsErrorTip = tips;
    auto *w = new ImageSet(p, set, book);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    return w;
}

Received *TestImageSet::listen(ImageSet *w)
{
    auto *r = new Received;
    connect(w, &ImageSet::signalIsWaterMark, w, [r](bool, bool) { r->order << "flags"; });
    connect(w, &ImageSet::signalUpdateWaterMarkParam, w, [r](WATERPARAM p) {
        r->order << "record";
        r->param = p;
        r->imagePath = QString::fromUtf8(p.szWaterImagePath);
        r->content = QString::fromUtf8(p.szWaterContent);
        r->color = QString::fromUtf8(p.nColor);
        r->font = p.szWaterFont;
    });
    connect(w, &ImageSet::signalUpdateBookExportParam, w, [r](int book) {
        r->order << "book";
        r->book = book;
    });
    connect(w, &ImageSet::signalChangeStatus, w, [r] { r->order << "closed"; });
    return r;
}

QString TestImageSet::pictureOfLength(int length)
{
    const QString dir = m_tmp.path() + "/";
    const QString path = dir + QString(length - dir.length() - 4, 'p') + ".png";
    QImage(8, 8, QImage::Format_RGB32).save(path);
    return path;
}

void TestImageSet::opensFromTheRecord_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("fontSize");
    QTest::addColumn<QString>("color");
    QTest::addColumn<int>("book");
    QTest::addColumn<QString>("radio");
    QTest::addColumn<int>("sizeIndex");
    QTest::addColumn<int>("colorIndex");
    QTest::addColumn<QString>("bookRadio");
    QTest::newRow("none") << 0 << 0 << 24 << "红色" << 3 << "withoutwatermarkbtn" << 4 << 2 << "onlyleftbtn";
    QTest::newRow("image") << 1 << 0 << 54 << "自定义" << 2 << "Imagewatermarkbtn" << 9 << 5 << "merginbtn";
    QTest::newRow("text, oblique, size not listed, colour unknown")
        << 2 << 2 << 18 << "紫色" << 9 << "watermarkbtn" << 0 << 0 << "lefttorightbtn";
}

void TestImageSet::opensFromTheRecord()
{
    QFETCH(int, mode);
    QFETCH(int, position);
    QFETCH(int, fontSize);
    QFETCH(QString, color);
    QFETCH(int, book);
    QFETCH(QString, radio);
    QFETCH(int, sizeIndex);
    QFETCH(int, colorIndex);
    QFETCH(QString, bookRadio);
    QPointer<ImageSet> w = open(mode, false, position, fontSize, color.toUtf8().constData(), book);
    QCOMPARE(w->size(), QSize(400, 600));
    QVERIFY(child<QRadioButton>(w, qPrintable(radio))->isChecked());
    QCOMPARE(child<QLineEdit>(w, "ImageWaterPath")->isEnabled(), mode == 1);
    QCOMPARE(child<QLineEdit>(w, "Xline")->isEnabled(), mode == 1);
    QCOMPARE(child<QLineEdit>(w, "textLineEdit")->isEnabled(), mode == 2);
    QCOMPARE(child<QPushButton>(w, "totalformat")->isEnabled(), mode == 2);
    if (mode == 2)
        QVERIFY(child<QPushButton>(w, "totalformat")
                    ->styleSheet()
                    .startsWith("QPushButton{border-image: url(" + m_theme.watermarkObliqueSelectpath));
    QCOMPARE(child<QLineEdit>(w, "Xline")->text(), QString("10"));
    QCOMPARE(child<QLineEdit>(w, "textLineEdit")->text(), QString("机密"));
    QCOMPARE(child<QComboBox>(w, "sizecomboBox")->currentIndex(), sizeIndex);
    QCOMPARE(child<QComboBox>(w, "watermarkcolorcomboBox")->currentIndex(), colorIndex);
    QCOMPARE(child<QComboBox>(w, "transparentcomboBox")->currentIndex(), 1);
    QVERIFY(child<QRadioButton>(w, qPrintable(bookRadio))->isChecked());
    delete w;
}

void TestImageSet::coordinatesAreClamped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("field");
    QTest::newRow("negative") << "-5"
                              << "0";
    QTest::newRow("cleared") << ""
                             << "0";
    QTest::newRow("in range") << "123"
                              << "123";
    QTest::newRow("limit") << "65535"
                           << "65535";
    QTest::newRow("above") << "70000"
                           << "65535";
}

void TestImageSet::coordinatesAreClamped()
{
    QFETCH(QString, typed);
    QFETCH(QString, field);
    QPointer<ImageSet> w = open(1, false);
    for (const char *name : {"Xline", "Yline"}) {
        child<QLineEdit>(w, name)->setText(typed);
        QCOMPARE(child<QLineEdit>(w, name)->text(), field);
    }
    delete w;
}

void TestImageSet::imageWatermarkNeedsAShortExistingFile_data()
{
    QTest::addColumn<int>("length"); // 0: a file that is not there
    QTest::addColumn<bool>("tips");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<QString>("said");
    QTest::newRow("missing, tips on") << 0 << true << false << m_theme.waterImagePathIsNotExist;
    QTest::newRow("missing, tips off") << 0 << false << false << "";
    QTest::newRow("100 characters") << 100 << true << true << "";
    QTest::newRow("101 characters") << 101 << true << false << m_theme.waterImagePathOverFlow;
}

void TestImageSet::imageWatermarkNeedsAShortExistingFile()
{
    QFETCH(int, length);
    QFETCH(bool, tips);
    QFETCH(bool, taken);
    QFETCH(QString, said);
    QPointer<ImageSet> w = open(1, tips);
    QScopedPointer<Received> r(listen(w));
    if (length > 0) {
        const QString picture = pictureOfLength(length);
        ModalWatch watch(picture);
        child<QPushButton>(w, "pathChoose")->click();
        QCOMPARE(watch.dialogs, 1);
        QCOMPARE(child<QLineEdit>(w, "ImageWaterPath")->text(), picture);
    }
    ModalWatch watch;
    child<QPushButton>(w, "okButton")->click();
    QCOMPARE(watch.boxes, said.isEmpty() ? QStringList() : QStringList{said});
    if (length == 101)
        QVERIFY(settingswindows::log().contains("图片水印路径过长,设置失败"));
    QCOMPARE(r->order.contains("record"), taken);
    if (taken) {
        QCOMPARE(r->imagePath, child<QLineEdit>(w, "ImageWaterPath")->text());
        QVERIFY(r->param.bIsWater && r->param.bIsWaterImage);
        QTRY_VERIFY(w.isNull());
    } else {
        QVERIFY(w->isVisible());
        delete w;
    }
}

void TestImageSet::emptyTextBecomesTheDefault_data()
{
    QTest::addColumn<bool>("tips");
    QTest::addColumn<int>("reply");
    QTest::addColumn<bool>("taken");
    QTest::newRow("tips off") << false << int(QMessageBox::NoButton) << true;
    QTest::newRow("tips on, yes") << true << int(QMessageBox::Yes) << true;
    QTest::newRow("tips on, no") << true << int(QMessageBox::No) << false;
}

void TestImageSet::emptyTextBecomesTheDefault()
{
    QFETCH(bool, tips);
    QFETCH(int, reply);
    QFETCH(bool, taken);
    QPointer<ImageSet> w = open(2, tips);
    QScopedPointer<Received> r(listen(w));
    child<QLineEdit>(w, "textLineEdit")->clear();
    ModalWatch watch{QString(), QMessageBox::StandardButton(reply)};
    child<QPushButton>(w, "okButton")->click();
    QCOMPARE(watch.boxes.size(), tips ? 1 : 0);
    QCOMPARE(r->order.contains("record"), taken);
    if (taken)
        QCOMPARE(r->content, QString("WATERMARK"));
    else
        delete w;
}

void TestImageSet::textReachingThirtyWarns()
{
    QPointer<ImageSet> w = open(2, true);
    auto *text = child<QLineEdit>(w, "textLineEdit");
    text->clear();
    ModalWatch watch;
    QTest::keyClicks(text, QString(29, QChar('w')));
    QVERIFY(watch.boxes.isEmpty());
    QTest::keyClicks(text, "xyz");
    QCOMPARE(text->text().length(), 30);
    QCOMPARE(watch.boxes, QStringList{m_theme.waterMarkLengthOverFlow});
    QVERIFY(settingswindows::log().contains("文字水印输入长度将超出30,请注意检验!"));
    delete w;
}

void TestImageSet::okSendsTheRecord()
{
    QPointer<ImageSet> w = open(0, false, 0, 18);
    QScopedPointer<Received> r(listen(w));
    child<QRadioButton>(w, "watermarkbtn")->click();
    QVERIFY(child<QLineEdit>(w, "textLineEdit")->isEnabled());
    QVERIFY(!child<QLineEdit>(w, "Xline")->isEnabled());
    child<QComboBox>(w, "watermarkcolorcomboBox")->setCurrentIndex(2);
    child<QComboBox>(w, "transparentcomboBox")->setCurrentIndex(0);
    child<QPushButton>(w, "bottomformat")->click();
    child<QRadioButton>(w, "righttoleftbtn")->click();
    child<QPushButton>(w, "okButton")->click();

    QCOMPARE(r->order, (QStringList{"flags", "record", "book", "closed"}));
    const WATERPARAM &p = r->param;
    QVERIFY(p.bIsWater && !p.bIsWaterImage);
    QCOMPARE(r->content, QString("机密"));
    QCOMPARE(r->color, QString("红色"));
    QCOMPARE(r->imagePath, QString("/pics/logo.png")); // fields of other modes go along
    QCOMPARE(r->font, static_cast<const char *>(g_font));
    QCOMPARE(p.nFontSize, 0); // 18 is not offered: automatic
    QCOMPARE((QList<int>{p.nFontR, p.nFontG, p.nFontB}), (QList<int>{255, 0, 0}));
    QCOMPARE(p.nOpacity, 0);
    QCOMPARE(p.nPositionCode, 3);
    QCOMPARE((QList<int>{p.nWaterPointX, p.nWaterPointY}), (QList<int>{10, 20}));
    QCOMPARE(r->book, 1);
    QTRY_VERIFY(w.isNull());

    w = open(2, false, 0, 18);
    r.reset(listen(w));
    child<QComboBox>(w, "sizecomboBox")->setCurrentIndex(4);
    child<QPushButton>(w, "okButton")->click();
    QCOMPARE(r->param.nFontSize, 24);
}

void TestImageSet::customColour()
{
    QPointer<ImageSet> w = open(2, false, 0, 0, "自定义");
    QScopedPointer<Received> r(listen(w));
    auto *colors = child<QComboBox>(w, "watermarkcolorcomboBox");
    QCOMPARE(colors->count(), 6);
    QCOMPARE(colors->currentIndex(), 5);
    const QColor opening = colors->itemData(5).value<QColor>();
    QCOMPARE(opening, QColor(1, 2, 3));
    {
        ModalWatch cancel;
        emit colors->activated(5);
        QCOMPARE(cancel.dialogs, 1);
    }
    QVERIFY(settingswindows::log().contains("QColor Not  valid !!!!!!!!"));
    QCOMPARE(colors->itemData(5).value<QColor>(), opening);
    {
        ModalWatch pick(QString(), QMessageBox::NoButton, QColor(10, 200, 30));
        emit colors->activated(5);
    }
    QCOMPARE(colors->itemData(5).value<QColor>(), QColor(10, 200, 30));
    child<QPushButton>(w, "okButton")->click();
    QCOMPARE((QList<int>{r->param.nFontR, r->param.nFontG, r->param.nFontB}), (QList<int>{10, 200, 30}));
    QCOMPARE(r->color, QString("自定义"));
}

void TestImageSet::cancelSendsTheOpeningFlags()
{
    QPointer<ImageSet> w = open(2, false);
    QScopedPointer<Received> r(listen(w));
    QSignalSpy flags(w.data(), SIGNAL(signalIsWaterMark(bool, bool)));
    // A refused OK must not change what Cancel reports.
    child<QRadioButton>(w, "Imagewatermarkbtn")->click();
    child<QLineEdit>(w, "ImageWaterPath")->setText("/nowhere.png");
    child<QPushButton>(w, "okButton")->click();
    QVERIFY(w->isVisible());
    child<QPushButton>(w, "cancelButton")->click();
    QCOMPARE(r->order, (QStringList{"flags", "closed"}));
    QCOMPARE(flags.at(0), (QVariantList{true, false}));
    QTRY_VERIFY(w.isNull());

    w = open(0, false);
    r.reset(listen(w));
    w->findChild<TitleBar *>()->m_pButtonClose->click();
    QCOMPARE(r->order, QStringList{"closed"});
}

void TestImageSet::pagesFollowTheCamera_data()
{
    QTest::addColumn<bool>("book");
    QTest::addColumn<bool>("watermark");
    QTest::addColumn<QStringList>("pages");
    QTest::newRow("both") << true << true << QStringList{"水印设置", "拍书导出设置"};
    QTest::newRow("no book") << false << true << QStringList{"水印设置"};
    QTest::newRow("no watermark") << true << false << QStringList{"拍书导出设置"};
    QTest::newRow("neither") << false << false << QStringList{};
}

void TestImageSet::pagesFollowTheCamera()
{
    QFETCH(bool, book);
    QFETCH(bool, watermark);
    QFETCH(QStringList, pages);
    QPointer<ImageSet> w = open(0, false);
    w->UpdateBook(book);
    w->UpdateWaterMark(watermark);
    auto *tabs = child<QTabWidget>(w, "maintabwidget");
    QStringList shown;
    for (int i = 0; i < tabs->count(); ++i)
        shown << tabs->tabText(i);
    QCOMPARE(shown, pages);
    delete w;
}

QTEST_MAIN(TestImageSet)
#include "tst_imageset.moc"
