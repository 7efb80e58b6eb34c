// The one file writer of the libraries: the three policies on awkward names, and the faults a user's
// disk can throw at it. Whatever happens, a visible name holds an old file or a whole new one.
#include "atomicfile.h"
#include "scratchfolder.h"
#include "testpictures.h"
#include "unwritablefolder.h"

#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using sdkcommon::AtomicFile;
using sdkcommon::WritePolicy;
using testpictures::readAll;
using testpictures::writeAll;

class TestFileWriter : public QObject
{
    Q_OBJECT
    enum Fault { FullDisk, TurnsReadOnly, Crash };
    static std::string native(const QString &path) { return QFile::encodeName(path).toStdString(); }

private slots:
    void policies_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<int>("policy");
        QTest::addColumn<QString>("written"); // empty: the write must fail

        const int replace = int(WritePolicy::Replace), free = int(WritePolicy::FreeName),
                  never = int(WritePolicy::NeverReplace);
        QTest::newRow("replace a free name") << "a b.jpg" << QStringList() << replace << "a b.jpg";
        QTest::newRow("replace") << "扫描 文件.jpg" << QStringList{"扫描 文件.jpg"} << replace
                                 << "扫描 文件.jpg";
        QTest::newRow("free name") << "it's \"x\".pdf" << QStringList{"it's \"x\".pdf"} << free
                                   << "it's \"x\"(1).pdf";
        QTest::newRow("next free name")
            << "扫描.tar.gz" << QStringList{"扫描.tar.gz", "扫描.tar(1).gz"} << free << "扫描.tar(2).gz";
        QTest::newRow("free name, no extension") << "notes" << QStringList{"notes"} << free << "notes(1)";
        QTest::newRow("never replace") << "a \"b\".txt" << QStringList{"a \"b\".txt"} << never << "";
        QTest::newRow("never replace a free name")
            << "页 1.txt" << QStringList{"页 2.txt"} << never << "页 1.txt";
    }

    void policies()
    {
        QFETCH(QString, target);
        QFETCH(QStringList, existing);
        QFETCH(int, policy);
        QFETCH(QString, written);
        ScratchFolder dir;
        for (const QString &name : existing) {
            QVERIFY(writeAll(dir.filePath(name), "old " + name.toUtf8()));
            QFile::setPermissions(dir.filePath(name),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        }
        std::string path;
        QCOMPARE(sdkcommon::writeFileAtomically(native(dir.filePath(target)), "new", 3, WritePolicy(policy),
                                                &path),
                 !written.isEmpty());

        QStringList expected = existing;
        if (!written.isEmpty()) {
            QCOMPARE(QFile::decodeName(path.c_str()), dir.filePath(written));
            QCOMPARE(readAll(dir.filePath(written)), QByteArray("new"));
            // A replaced file keeps its permissions; a new one gets what the umask gives.
            struct stat st;
            QCOMPARE(::stat(path.c_str(), &st), 0);
            const mode_t mask = ::umask(0);
            ::umask(mask);
            QCOMPARE(st.st_mode & 0777, existing.contains(written) ? 0640u : 0666u & ~mask);
            if (!expected.contains(written))
                expected << written;
        }
        for (const QString &name : existing)
            if (name != written)
                QCOMPARE(readAll(dir.filePath(name)), "old " + name.toUtf8());
        expected.sort();
        QCOMPARE(dir.files(), expected);
    }

    void faults_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("policy");
        QTest::addColumn<QString>("target");
        const char *faults[] = {"full disk", "turns read-only", "crash"};   // in the order of Fault
        const char *policies[] = {"replace", "free name", "never replace"}; // of WritePolicy
        for (int f = FullDisk; f <= Crash; ++f)
            for (int p = 0; p < 3; ++p)
                QTest::addRow("%s, %s", faults[f], policies[p])
                    << f << p << (WritePolicy(p) == WritePolicy::NeverReplace ? "new page.jpg" : "page.jpg");
    }

    // The fault strikes between the temporary file's creation and its move into place.
    void faults()
    {
        QFETCH(int, fault);
        QFETCH(int, policy);
        QFETCH(QString, target);
        SmallDisk disk;
        QVERIFY(writeAll(disk.filePath("page.jpg"), "old"));
        const QByteArray payload(1 << 20, 'x');
        if (fault == Crash) {
            const pid_t child = ::fork();
            if (child == 0) {
                AtomicFile file(native(disk.filePath(target)));
                if (file.open() && file.write(payload.constData(), size_t(payload.size())))
                    ::raise(SIGKILL);
                ::_exit(1);
            }
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QVERIFY(WIFSIGNALED(status));
        } else {
            AtomicFile file(native(disk.filePath(target)));
            QVERIFY(file.open());
            QVERIFY(fault == FullDisk ? disk.fill(16 * 1024) : unwritablefolder::lock(disk.path()));
            const bool written =
                file.write(payload.constData(), size_t(payload.size())) && file.commit(WritePolicy(policy));
            disk.empty();
            unwritablefolder::restore(disk.path());
            QVERIFY(!written);
        }
        // A crash may leave its hidden temporary file; nothing else is added and nothing is lost.
        QCOMPARE(disk.files().filter(QRegularExpression("^[^.]")), QStringList{"page.jpg"});
        QCOMPARE(readAll(disk.filePath("page.jpg")), QByteArray("old"));
        QCOMPARE(disk.files().size(), fault == Crash ? 2 : 1);
    }
};

QTEST_APPLESS_MAIN(TestFileWriter)
#include "tst_filewriter.moc"
