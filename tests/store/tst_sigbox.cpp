#include <QtTest>
#include "sigbox.h"
class tst_Sigbox : public QObject { Q_OBJECT private slots: void created() { Sigbox box; QCOMPARE(box.DataCount(), 0); } };
QTEST_MAIN(tst_Sigbox)
#include "tst_sigbox.moc"
