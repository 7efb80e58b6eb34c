// The file-naming window: what it shows for a stored record, the field rules
// and what OK, Cancel and the title bar send back.
#include "nameformat.h"
#include "settingswindows.h"
#include "titlebar.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

Q_DECLARE_METATYPE(SAVENAMEPARAM)

using settingswindows::ModalWatch;

class TestNameFormat : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init() { settingswindows::log().clear(); }
    void opensFromTheRecord_data();
    void opensFromTheRecord();
    void startNumberIsClamped_data();
    void startNumberIsClamped();
    void prefixReachingThirtyWarns_data();
    void prefixReachingThirtyWarns();
    void emptyPrefixRefusesOk_data();
    void emptyPrefixRefusesOk();
    void okSendsTheEditedRecord();
    void cancelAndCloseSendNoRecord_data();
    void cancelAndCloseSendNoRecord();

private:
    struct Opened {
        QPointer<NameFormat> w;
        QSignalSpy *record, *label, *status;
        ~Opened()
        {
            delete record;
            delete label;
            delete status;
            delete w.data();
        }
        template <class T> T *child(const char *name) const { return w->findChild<T *>(name); }
        QString example() const { return child<QLabel>("expLabel")->text(); }
    };
    Opened *open(int nameSetType, int saveType, bool tips, const QString &base = "scan", int start = 7);
};

void TestNameFormat::initTestCase()
{
    qRegisterMetaType<SAVENAMEPARAM>("SAVENAMEPARAM");
    settingswindows::installTheme();
}

void TestNameFormat::cleanupTestCase()
{
    settingswindows::removeTheme();
}

TestNameFormat::Opened *TestNameFormat::open(int nameSetType, int saveType, bool tips, const QString &base,
                                             int start)
{
    SAVENAMEPARAM p;
    p.nameBase = base;
    p.startNum = start;
    p.strSeparator = "_";
    auto *o = new Opened;
    o->w = new NameFormat(p, nameSetType, saveType, tips);
    o->record = new QSignalSpy(o->w.data(), SIGNAL(signalUpdateSaveParam(SAVENAMEPARAM, int, int)));
    o->label = new QSignalSpy(o->w.data(), SIGNAL(signalUpdateSetUINameLabel(QString)));
    o->status = new QSignalSpy(o->w.data(), SIGNAL(signalChangedNameFormatStatus()));
    o->w->show();
    return o;
}

void TestNameFormat::opensFromTheRecord_data()
{
    QTest::addColumn<int>("nameSetType");
    QTest::addColumn<int>("saveType");
    QTest::addColumn<QString>("example"); // a pattern
    QTest::addColumn<QString>("checked");
    QTest::newRow("time, add a number") << 0 << 0 << "^例:\\d{14}$"
                                        << "addRadio";
    QTest::newRow("custom, overwrite") << 1 << 1 << "^例:scan_7$"
                                       << "coverRadio";
}

void TestNameFormat::opensFromTheRecord()
{
    QFETCH(int, nameSetType);
    QFETCH(int, saveType);
    QFETCH(QString, example);
    QFETCH(QString, checked);
    QScopedPointer<Opened> o(open(nameSetType, saveType, false));
    QCOMPARE(o->w->size(), QSize(350, 450));
    QVERIFY(o->w->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(QRegularExpression(example).match(o->example()).hasMatch());
    QCOMPARE(o->child<QRadioButton>("customRadio")->isChecked(), nameSetType == 1);
    QCOMPARE(o->child<QLineEdit>("nameBaseLine")->isEnabled(), nameSetType == 1);
    QCOMPARE(o->child<QLineEdit>("startNum")->isEnabled(), nameSetType == 1);
    QVERIFY(o->child<QRadioButton>(qPrintable(checked))->isChecked());
}

void TestNameFormat::startNumberIsClamped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("field");
    QTest::newRow("cleared") << ""
                             << "1";
    QTest::newRow("zero") << "0"
                          << "1";
    QTest::newRow("not a number") << "abc"
                                  << "1";
    QTest::newRow("in range") << "9999"
                              << "9999";
    QTest::newRow("limit") << "10000"
                           << "10000";
    QTest::newRow("above") << "12345"
                           << "10000";
}

void TestNameFormat::startNumberIsClamped()
{
    QFETCH(QString, typed);
    QFETCH(QString, field);
    QScopedPointer<Opened> o(open(1, 0, false));
    o->child<QLineEdit>("startNum")->setText(typed);
    QCOMPARE(o->child<QLineEdit>("startNum")->text(), field);
    QCOMPARE(o->example(), "例:scan_" + field);
}

void TestNameFormat::prefixReachingThirtyWarns_data()
{
    QTest::addColumn<int>("typed");
    QTest::addColumn<bool>("tips");
    QTest::newRow("29") << 29 << true;
    QTest::newRow("33, tips on") << 33 << true;
    QTest::newRow("30, tips off") << 30 << false;
}

void TestNameFormat::prefixReachingThirtyWarns()
{
    QFETCH(int, typed);
    QFETCH(bool, tips);
    QScopedPointer<Opened> o(open(1, 0, tips));
    ModalWatch watch;
    auto *base = o->child<QLineEdit>("nameBaseLine");
    base->clear();
    QTest::keyClicks(base, QString(typed, 'p'));
    QCOMPARE(base->text(), QString(qMin(typed, 30), 'p'));
    const bool warned = typed >= 30;
    QCOMPARE(settingswindows::log().contains("命名前缀输入长度将超出30,请注意检验!"), warned);
    CToolHelper theme;
    theme.SettingAllSets();
    QCOMPARE(watch.boxes.contains(theme.nameLengthOverFlow), warned && tips);
}

void TestNameFormat::emptyPrefixRefusesOk_data()
{
    QTest::addColumn<int>("nameSetType");
    QTest::addColumn<bool>("tips");
    QTest::newRow("time mode, tips on") << 0 << true;
    QTest::newRow("custom mode, tips off") << 1 << false;
}

void TestNameFormat::emptyPrefixRefusesOk()
{
    QFETCH(int, nameSetType);
    QFETCH(bool, tips);
    QScopedPointer<Opened> o(open(nameSetType, 0, tips, ""));
    ModalWatch watch;
    o->child<QPushButton>("makesureButton")->click();
    QVERIFY(o->w->isVisible());
    QCOMPARE(o->record->count() + o->label->count() + o->status->count(), 0);
    QCOMPARE(watch.boxes.size(), tips ? 1 : 0);
}

void TestNameFormat::okSendsTheEditedRecord()
{
    QScopedPointer<Opened> o(open(0, 0, false));
    o->child<QRadioButton>("customRadio")->click();
    // Switching shows the stored record, not what was typed before.
    QCOMPARE(o->example(), QString("例:scan_7"));
    o->child<QLineEdit>("nameBaseLine")->setText("合同");
    o->child<QLineEdit>("startNum")->setText("12");
    QCOMPARE(o->example(), QString("例:合同_12"));
    o->child<QRadioButton>("coverRadio")->click();
    o->child<QPushButton>("makesureButton")->click();

    QCOMPARE(o->record->count(), 1);
    const auto args = o->record->takeFirst();
    const auto p = args.at(0).value<SAVENAMEPARAM>();
    QCOMPARE(p.nameBase, QString("合同"));
    QCOMPARE(p.startNum, 12);
    QCOMPARE(p.strSeparator, QString("_"));
    QCOMPARE(args.at(1).toInt(), 1);
    QCOMPARE(args.at(2).toInt(), 1);
    QCOMPARE(o->label->count(), 1);
    QCOMPARE(o->label->takeFirst().at(0).toString(), QString("合同_12"));
    QCOMPARE(o->status->count(), 1);
    QVERIFY(!o->w->isVisible());
}

void TestNameFormat::cancelAndCloseSendNoRecord_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("label"); // a pattern
    // Cancel puts the time radio back; the title bar keeps the radio as switched.
    QTest::newRow("cancel") << true << "^\\d{14}$";
    QTest::newRow("title bar") << false << "^scan_7$";
}

void TestNameFormat::cancelAndCloseSendNoRecord()
{
    QFETCH(bool, cancel);
    QFETCH(QString, label);
    QScopedPointer<Opened> o(open(0, 0, false));
    o->child<QRadioButton>("customRadio")->click();
    o->child<QLineEdit>("nameBaseLine")->setText("other");
    o->child<QLineEdit>("startNum")->setText("99");
    o->child<QRadioButton>("coverRadio")->click();
    if (cancel)
        o->child<QPushButton>("cancelButton")->click();
    else
        o->w->findChild<TitleBar *>()->m_pButtonClose->click();

    QCOMPARE(o->record->count(), 0);
    QCOMPARE(o->status->count(), 1);
    QCOMPARE(o->label->count(), 1);
    QVERIFY(QRegularExpression(label).match(o->label->takeFirst().at(0).toString()).hasMatch());
    QVERIFY(!o->w->isVisible());
    if (cancel) {
        QVERIFY(o->child<QRadioButton>("timeNameRadio")->isChecked());
        QVERIFY(o->child<QRadioButton>("addRadio")->isChecked());
        QCOMPARE(o->child<QLineEdit>("nameBaseLine")->text(), QString("scan"));
        QCOMPARE(o->child<QLineEdit>("startNum")->text(), QString("7"));
        QVERIFY(settingswindows::log().contains("NameFormat::onButtonCancelSlot() __ 还原至初始设置."));
    }
}

QTEST_MAIN(TestNameFormat)
#include "tst_nameformat.moc"
