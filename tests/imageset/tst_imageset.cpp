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

class TestImageSet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<WATERPARAM>("WATERPARAM");
        settingswindows::installTheme();
        m_theme.SettingAllSets();
        QVERIFY(m_theme.bIsSupportOtherColors);
        QVERIFY(m_tmp.isValid());
    }
    void cleanupTestCase() { settingswindows::removeTheme(); }
    void init() { settingswindows::clearLog(); }

    void opensFromTheRecord_data()
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
    void opensFromTheRecord()
    {
        QFETCH(int, mode);
        QFETCH(int, position);
        QFETCH(int, fontSize);
        QFETCH(QString, color);
        QFETCH(int, book);
        QFETCH(QStringList, checked);
        QScopedPointer<ImageSet> w(open(mode, false, position, fontSize, color.toUtf8(), book));
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

    // Coordinates stay within 0..65535.
    void coordinatesAreClamped()
    {
        QScopedPointer<ImageSet> w(open(1, false));
        for (auto row :
             {std::make_pair("-5", "0"), {"", "0"}, {"123", "123"}, {"65535", "65535"}, {"70000", "65535"}}) {
            for (const char *name : {"Xline", "Yline"}) {
                child<QLineEdit>(w.data(), name)->setText(row.first);
                QCOMPARE(child<QLineEdit>(w.data(), name)->text(), QString(row.second));
            }
        }
    }

    // OK needs an image watermark's picture to exist, its path at most 100 characters;
    // an empty text becomes "WATERMARK", after asking when tips are on. A refused OK
    // keeps the window open, and Cancel then reports the flags it opened with.
    void okRules_data()
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
    void okRules()
    {
        QFETCH(int, length);
        QFETCH(bool, tips);
        QFETCH(int, reply);
        QFETCH(QString, said);
        QFETCH(bool, taken);
        QPointer<ImageSet> w = open(2, tips);
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

    void textReachingThirtyWarns()
    {
        QScopedPointer<ImageSet> w(open(2, true));
        auto *text = child<QLineEdit>(w.data(), "textLineEdit");
        text->clear();
        ModalWatch watch;
        QTest::keyClicks(text, QString(29, QChar('w')));
        QVERIFY(watch.boxes.isEmpty());
        QTest::keyClicks(text, "xyz");
        QCOMPARE(text->text().length(), 30);
        QCOMPARE(watch.boxes, QStringList{m_theme.waterMarkLengthOverFlow});
        QVERIFY(settingswindows::log().contains("文字水印输入长度将超出30,请注意检验!"));
    }

    void okSendsTheRecord()
    {
        QPointer<ImageSet> w = open(0, false, 0, 18);
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
        w = open(2, false, 0, 18, "自定义");
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
            QScopedPointer<ImageSet> w(open(0, false));
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
    ImageSet *open(int mode, bool tips, int position = 0, int fontSize = 0, const QByteArray &color = "黑色",
                   int book = 0)
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
    template <class T> static T *child(ImageSet *w, const char *name) { return w->findChild<T *>(name); }

    QTemporaryDir m_tmp{"/tmp/plximgset"};
    CToolHelper m_theme;
    QByteArray m_path, m_content, m_color;
};

QTEST_MAIN(TestImageSet)
#include "tst_imageset.moc"
