// The home window: owns the user's working records and the document list.
#ifndef ADFMAIN_H
#define ADFMAIN_H

#include "commondatatype.h"
#include "ctoolhelper.h"
#include "datatype.h"

#include <QMainWindow>
#include <QPoint>
#include <QStringList>

#include <memory>
#include <vector>

namespace Ui
{
class ADFmain;
}

class ADFmain : public QMainWindow
{
    Q_OBJECT

public:
    explicit ADFmain(QWidget *parent = nullptr);
    ~ADFmain() override;

public slots:
    void onButtonCloseClicked();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void initSettingFile();
    void writeDefaultSettings(const QString &appDir);
    void readLastSetting(const QString &appDir);
    void writeLastSetting();
    char *newWaterBuffer(const QString &text = QString());
    QStringList mainSettingValues() const;
    QStringList cameraSettingValues(const QString &x, const QString &y, const QString &waterMarkType) const;

    Ui::ADFmain *ui;
    CToolHelper m_toolHelper;
    QString filePath;
    int bookExportIndex = 0;
    int rotation = 0;
    int rotationindex = 0;
    SETPARAM SetInfo;
    SCANNERSET ScanSet;
    IMAGESET ImageSet;
    bool m_IsScannerOpen = false;
    bool m_IsCaptureOpen = false;
    bool m_IsSetOpen = false;
    bool m_IsMaxScren = false;
    QStringList mainlastSetting;
    WATERPARAM watermarkInfo;
    CAMIMAGESET camImageInfo;
    QPoint NormalPoint;
    int m_WindowState = 0;
    int m_OldWindowState = 0;

    // Owns every watermark text buffer handed out by this window.
    std::vector<std::unique_ptr<char[]>> m_waterBuffers;
    bool m_settingsWritten = false;
};

#endif // ADFMAIN_H
