#include <QtTest>
class TestCamProcess : public QObject { Q_OBJECT };
QTEST_MAIN(TestCamProcess)
#include "tst_camprocess.moc"
