// Set-up shared by the window suites (theme, log, user, modal windows, files and INI
// values, children, mouse). It brings all of Qt, so that the suites include none of it.
#ifndef SETTINGSWINDOWS_H
#define SETTINGSWINDOWS_H

#include <QtTest>
#include <QtWidgets>

namespace settingswindows {

using Values = QMap<QString, QString>;

inline QString appFile(const QString &name)
{
    return QCoreApplication::applicationDirPath() + "/" + name;
}
// Replaces the file with `bytes`; a null array leaves no file.
inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile::remove(path);
    QFile f(path);
    QVERIFY(bytes.isNull() || (f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size()));
}
// "group/key=value" pairs separated by ';'.
inline Values values(const QString &pairs)
{
    Values v;
    for (const QString &pair : pairs.split(';', Qt::SkipEmptyParts))
        v[pair.section('=', 0, 0)] = pair.section('=', 1);
    return v;
}
// The user's settings are written without a codec (non-ASCII escaped); the theme is UTF-8.
inline Values readIni(const QString &path)
{
    QSettings ini(path, QSettings::IniFormat);
    Values v;
    for (const QString &key : ini.allKeys())
        v[key] = ini.value(key).toString();
    return v;
}
inline void setIni(const QString &path, const Values &v, bool utf8 = false)
{
    QSettings ini(path, QSettings::IniFormat);
    if (utf8)
        ini.setIniCodec("UTF-8");
    for (auto it = v.begin(); it != v.end(); ++it)
        ini.setValue(it.key(), it.value());
}
template <class T> T *child(const QObject *parent, const char *name = nullptr)
{
    return parent->findChild<T *>(name);
}
// A left-button event at `pos` (in `w`'s coordinates).
inline void sendMouse(QWidget *w, QEvent::Type type, QPoint pos)
{
    QMouseEvent event(type, pos, w->mapToGlobal(pos), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

// The log, captured from every thread (device discovery logs from its worker).
struct CapturedLog {
    static inline QMutex mutex;
    static inline QStringList lines;
    static void add(QtMsgType, const QMessageLogContext &, const QString &msg)
    {
        QMutexLocker lock(&mutex);
        lines << msg;
    }
};
inline QStringList log()
{
    QMutexLocker lock(&CapturedLog::mutex);
    return CapturedLog::lines;
}
inline void clearLog()
{
    QMutexLocker lock(&CapturedLog::mutex);
    CapturedLog::lines.clear();
}

// The shipped icon.ini, with `values` set in it, in the application directory.
inline void installTheme(const QMap<QString, QString> &values = {})
{
    const QString icon = appFile("icon.ini");
    QFile::remove(icon);
    QVERIFY(QFile::copy(qEnvironmentVariable("PAGELUX_SOURCE_DIR") + "/deploy/icon.ini", icon));
    QFile::setPermissions(icon, QFile::ReadOwner | QFile::WriteOwner);
    setIni(icon, values, true);
    qInstallMessageHandler(CapturedLog::add);
}

inline void removeTheme()
{
    qInstallMessageHandler(nullptr);
    QFile::remove(appFile("icon.ini"));
}

// A user of the test's own: HOME is /home/<user> with a Documents folder, and the
// home window keeps the user's settings beside the executable. Both go on destruction.
struct TestUser {
    explicit TestUser(const char *prefix)
        : name(QString(prefix) + QString::number(QCoreApplication::applicationPid())), home("/home/" + name),
          settingsDir(appFile(name))
    {
        QDir().mkpath(home + "/Documents");
        qputenv("HOME", home.toUtf8());
        qputenv("XDG_CONFIG_HOME", (home + "/.config").toUtf8());
    }
    ~TestUser()
    {
        QDir(home).removeRecursively();
        QDir(settingsDir).removeRecursively();
    }
    QString settingsFile() const { return settingsDir + "/UILastSetting.ini"; }
    const QString name, home, settingsDir;
};

// Answers every modal window while it lives: message boxes recorded and answered with `reply` (or
// dismissed), a file dialog given `path` (empty cancels), a colour dialog `color` (invalid cancels).
class ModalWatch : public QObject
{
public:
    explicit ModalWatch(const QString &path = QString(),
                        QMessageBox::StandardButton reply = QMessageBox::NoButton,
                        const QColor &color = QColor())
        : m_folder(path), m_reply(reply), m_color(color)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { answer(); });
        m_timer.start(5);
    }
    QStringList boxes; // the text of each message box seen
    int dialogs = 0;

private:
    void answer()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            boxes << box->text();
            if (QAbstractButton *b = box->button(m_reply))
                b->click();
            else
                box->done(0);
        } else if (auto *colors = qobject_cast<QColorDialog *>(w)) {
            ++dialogs;
            colors->setCurrentColor(m_color);
            static_cast<QDialog *>(colors)->done(m_color.isValid() ? QDialog::Accepted : QDialog::Rejected);
        } else if (auto *dialog = qobject_cast<QFileDialog *>(w)) {
            ++dialogs;
            if (QFileInfo(m_folder).isDir())
                dialog->setDirectory(m_folder);
            else
                dialog->selectFile(m_folder);
            // done(), not accept(): QFileDialog::accept checks the folder
            static_cast<QDialog *>(dialog)->done(m_folder.isEmpty() ? QDialog::Rejected : QDialog::Accepted);
        }
    }
    QString m_folder;
    QMessageBox::StandardButton m_reply;
    QColor m_color;
    QTimer m_timer;
};

} // namespace settingswindows

#endif
