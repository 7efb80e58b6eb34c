#include "adfmain.h"
#include "ctoolhelper.h"
#include "loggerhelper.h"
#include "runguard.h"

#include <QApplication>
#include <QMessageBox>
#include <QTranslator>

#include <sys/prctl.h>

int main(int argc, char **argv)
{
    QApplication a(argc, argv);

    const QString qmPath = QCoreApplication::applicationDirPath() + "/pagelux_zh_CN.qm";
    QTranslator translator;
    translator.load(qmPath, QString(), QString(), QString());
    a.installTranslator(&translator);

    CToolHelper toolHelper;
    bool IsErrorTip = toolHelper.readSettingValue("Set", "IsErrorTips").toInt() != 0;
    QString errorTips;
    if (toolHelper.readMainValue("ErrorTips", errorTips) != -1)
        IsErrorTip = errorTips.toInt() != 0;

    const QString processName = toolHelper.readSettingValue("ProcessName", "nameString");
    const QString runName = toolHelper.readSettingValue("RunName", "nameString");
    const QString guardKey = processName;
    qWarning("RunGuard name is %s", qUtf8Printable(guardKey));

    prctl(PR_SET_NAME, processName.toUtf8().constData());
    qWarning("主函数______ IsErrorTip : %d", IsErrorTip ? 1 : 0);

    RunGuard guard(guardKey);
    if (!guard.tryToRun()) {
        if (IsErrorTip) {
            QMessageBox::critical(nullptr, runName,
                                  QCoreApplication::translate("main", "程序已经启动，请立刻关闭，并且重试！"),
                                  QMessageBox::Ok);
        }
        return -1;
    }

    a.setStyleSheet(
        "QLabel{font:10px;}QLineEdit{font:10px;}QRadioButton{font:10px;}QComboBox{font:10px;}"
        "QPushButton{font:10px;}QTabWidget{font:10px;}QTabBar::tab{font:10px;}QTableView{font:10px;}"
        "QGroupBox{font:10px;}");
    qInstallMessageHandler(MsgOutput);

    ADFmain w;
    w.show();
    return a.exec();
}
