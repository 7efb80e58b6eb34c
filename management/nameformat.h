// The file-naming window: date-time or prefix-and-number names, what happens to
// a file of the same name, and a live example. It edits a private copy and
// hands it back by signal; it stores nothing itself.
#ifndef NAMEFORMAT_H
#define NAMEFORMAT_H

#include "commondatatype.h"
#include "ctoolhelper.h"

#include <QMainWindow>

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TitleBar;

namespace Ui {
class NameFormat;
}

class NameFormat : public QMainWindow
{
    Q_OBJECT

public:
    NameFormat(tagSAVENAMEPARAM saveparam, int nameSetType, int saveType, bool isErrorTip,
               QWidget *parent = nullptr);
    ~NameFormat() override;

signals:
    void signalUpdateSaveParam(SAVENAMEPARAM param, int nameSetType, int saveType);
    void signalUpdateSetUINameLabel(QString name);
    void signalChangedNameFormatStatus();

public slots:
    void onButtonCloseSlot();
    void onButtonNameSetGroupClicked();
    void onButtonMakeSureSlot();
    void onButtonCancelSlot();
    void onLineEditNameBaseChanged(QString text);
    void onLineEditStartNumChanged(QString text);

private:
    void initNameFormatUI();
    void setExample(const QString &name);
    QString customName(const QString &base, const QString &number) const;
    QString storedName() const; // the custom name of the record as stored

    Ui::NameFormat *ui;
    TitleBar *nameFormatTitlebar = nullptr;
    CToolHelper m_toolhelper;
    QPushButton *makesureButton = nullptr;
    QPushButton *cancelButton = nullptr;
    QLineEdit *nameBaseLine = nullptr;
    QLineEdit *startNum = nullptr;
    QLabel *expLabel = nullptr;
    QButtonGroup *nameSetRadioGroup = nullptr;
    QRadioButton *timeNameRadio = nullptr;
    QRadioButton *customRadio = nullptr;
    QButtonGroup *saveTypeRadioGroup = nullptr;
    QRadioButton *coverRadio = nullptr;
    QRadioButton *addRadio = nullptr;
    int nameSetType;
    int saveType;
    SAVENAMEPARAM saveparam;
    bool m_bIsErrorTip;
};

// The name a capture gets in date-time mode: local time as yyyyMMddhhmmss.
QString currentTimeName();

#endif // NAMEFORMAT_H
