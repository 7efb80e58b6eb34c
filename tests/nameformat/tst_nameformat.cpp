// The file-naming window: what it shows for a stored record, the field rules
// and what OK, Cancel and the title bar send back.
#include "nameformat.h"
#include "settingswindows.h"
#include "titlebar.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

Q_DECLARE_METATYPE(SAVENAMEPARAM)

using settingswindows::ModalWatch;

namespace {
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
} // namespace

class TestNameFormat : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<SAVENAMEPARAM>("SAVENAMEPARAM");
        settingswindows::installTheme();
    }
    void cleanupTestCase() { settingswindows::removeTheme(); }
    void init() { settingswindows::clearLog(); }

    void opensFromTheRecord()
    {
        for (int custom : {0, 1}) {
            Opened o(custom, custom, false);
            QVERIFY(
                QRegularExpression(custom ? "^例:scan_7$" : "^例:\\d{14}$").match(o.example()).hasMatch());
            QCOMPARE(o.checked("customRadio"), bool(custom));
            QCOMPARE(o.child<QLineEdit>("nameBaseLine")->isEnabled(), bool(custom));
            QCOMPARE(o.child<QLineEdit>("startNum")->isEnabled(), bool(custom));
            QCOMPARE(o.checked("coverRadio"), bool(custom));
        }
    }

    // The start number stays within 1..10000 and the example follows it.
    void startNumberIsClamped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("field");
        for (auto row : {std::make_pair("", "1"),
                         {"0", "1"},
                         {"abc", "1"},
                         {"9999", "9999"},
                         {"10000", "10000"},
                         {"12345", "10000"}})
            QTest::newRow(*row.first ? row.first : "cleared") << QString(row.first) << QString(row.second);
    }
    void startNumberIsClamped()
    {
        QFETCH(QString, typed);
        QFETCH(QString, field);
        Opened o(1, 0, false);
        o.child<QLineEdit>("startNum")->setText(typed);
        QCOMPARE(o.child<QLineEdit>("startNum")->text(), field);
        QCOMPARE(o.example(), "例:scan_" + field);
    }

    // The prefix stops at 30 characters; reaching it is logged, and shown with tips on.
    void prefixReachingThirtyWarns_data()
    {
        QTest::addColumn<int>("typed");
        QTest::addColumn<bool>("tips");
        QTest::newRow("29") << 29 << true;
        QTest::newRow("33, tips on") << 33 << true;
        QTest::newRow("30, tips off") << 30 << false;
    }
    void prefixReachingThirtyWarns()
    {
        QFETCH(int, typed);
        QFETCH(bool, tips);
        Opened o(1, 0, tips);
        ModalWatch watch;
        auto *base = o.child<QLineEdit>("nameBaseLine");
        base->clear();
        QTest::keyClicks(base, QString(typed, 'p'));
        QCOMPARE(base->text(), QString(qMin(typed, 30), 'p'));
        QCOMPARE(settingswindows::log().contains("命名前缀输入长度将超出30,请注意检验!"), typed >= 30);
        CToolHelper theme;
        theme.SettingAllSets();
        QCOMPARE(watch.boxes.contains(theme.nameLengthOverFlow), typed >= 30 && tips);
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

    void okSendsTheEditedRecord()
    {
        Opened o(0, 0, false);
        o.child<QRadioButton>("customRadio")->click();
        QCOMPARE(o.example(), QString("例:scan_7")); // the stored record, not what was typed before
        o.child<QLineEdit>("nameBaseLine")->setText("合同");
        o.child<QLineEdit>("startNum")->setText("12");
        QCOMPARE(o.example(), QString("例:合同_12"));
        o.child<QRadioButton>("coverRadio")->click();
        o.child<QPushButton>("makesureButton")->click();
        QCOMPARE(o.record.count(), 1);
        const auto p = o.record.at(0).at(0).value<SAVENAMEPARAM>();
        QCOMPARE(QStringList({p.nameBase, QString::number(p.startNum), p.strSeparator}),
                 QStringList({"合同", "12", "_"}));
        QCOMPARE(o.record.at(0).mid(1), (QVariantList{1, 1}));
        QCOMPARE(o.label, QList<QVariantList>{{"合同_12"}});
        QCOMPARE(o.status.count(), 1);
        QVERIFY(!o.w.isVisible());
    }

    // Cancel restores the opening record; the title bar keeps the radio as switched.
    void cancelAndCloseSendNoRecord()
    {
        for (bool cancel : {true, false}) {
            Opened o(0, 0, false);
            o.child<QRadioButton>("customRadio")->click();
            o.child<QLineEdit>("nameBaseLine")->setText("other");
            o.child<QLineEdit>("startNum")->setText("99");
            o.child<QRadioButton>("coverRadio")->click();
            if (cancel)
                o.child<QPushButton>("cancelButton")->click();
            else
                o.w.findChild<TitleBar *>()->m_pButtonClose->click();
            QCOMPARE(o.record.count(), 0);
            QCOMPARE(o.status.count(), 1);
            QCOMPARE(o.label.count(), 1);
            const QString label = o.label.at(0).at(0).toString();
            QVERIFY(QRegularExpression(cancel ? "^\\d{14}$" : "^scan_7$").match(label).hasMatch());
            QVERIFY(!o.w.isVisible());
            if (cancel) {
                QVERIFY(o.checked("timeNameRadio") && o.checked("addRadio"));
                QCOMPARE(o.child<QLineEdit>("nameBaseLine")->text() + o.child<QLineEdit>("startNum")->text(),
                         QString("scan7"));
                QVERIFY(
                    settingswindows::log().contains("NameFormat::onButtonCancelSlot() __ 还原至初始设置."));
            }
        }
    }
};

QTEST_MAIN(TestNameFormat)
#include "tst_nameformat.moc"
