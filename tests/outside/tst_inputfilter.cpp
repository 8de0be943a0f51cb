#include "outside/inputfilter.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

class tst_InputFilter : public QObject
{
    Q_OBJECT

private slots:
    void typing_data();
    void typing();
    void pastingNonDigitsIsRefused();
    void programText_data();
    void programText();
    void inputMethodTextIsFilteredToo();
    void filterLivesWithTheBox();
};

void tst_InputFilter::typing_data()
{
    QTest::addColumn<int>("optionWord");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");

    QTest::newRow("digits fit") << 2 << "12" << "12";
    QTest::newRow("third digit refused") << 2 << "123" << "12";
    QTest::newRow("letters refused") << 4 << "1a2b" << "12";
    QTest::newRow("signs and spaces refused") << 4 << "-1 +2.5" << "125";
    QTest::newRow("fifth digit refused") << 4 << "15000" << "1500";
    QTest::newRow("no limit") << 0 << "1234567" << "1234567";
}

void tst_InputFilter::typing()
{
    // Only digits can be typed, and no more of them than the option word allows.
    QFETCH(int, optionWord);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QLineEdit txtCols;
    auto *filter = new InputFilter;
    filter->setUp(&txtCols, optionWord, 0);
    QCOMPARE(filter->box(), &txtCols);
    QTest::keyClicks(&txtCols, typed);
    QCOMPARE(txtCols.text(), shown);
}

void tst_InputFilter::pastingNonDigitsIsRefused()
{
    // A paste that would put a non-digit or too many digits into the box changes nothing.
    QLineEdit txtWidth;
    InputFilter filter;
    filter.setUp(&txtWidth, 4, 0);
    QGuiApplication::clipboard()->setText(QStringLiteral("12a"));
    txtWidth.paste();
    QCOMPARE(txtWidth.text(), QString());
    QGuiApplication::clipboard()->setText(QStringLiteral("1600"));
    txtWidth.paste();
    QCOMPARE(txtWidth.text(), QStringLiteral("1600"));
    txtWidth.setCursorPosition(4);
    QGuiApplication::clipboard()->setText(QStringLiteral("7"));
    txtWidth.paste();
    QCOMPARE(txtWidth.text(), QStringLiteral("1600"));
}

void tst_InputFilter::programText_data()
{
    QTest::addColumn<int>("optionWord");
    QTest::addColumn<QString>("set");
    QTest::addColumn<int>("backspaces");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");

    QTest::newRow("longer value shown whole") << 4 << "12000" << 0 << "" << "12000";
    QTest::newRow("no digit added to it") << 4 << "12000" << 0 << "5" << "12000";
    QTest::newRow("no letter added to it") << 4 << "12000" << 0 << "a" << "12000";
    QTest::newRow("shortened to the limit") << 4 << "12000" << 1 << "" << "1200";
    QTest::newRow("then limited again") << 4 << "12000" << 1 << "7" << "1200";
    QTest::newRow("shortened digit by digit") << 4 << "123456" << 1 << "" << "12345";
    QTest::newRow("negative value shown") << 4 << "-5" << 0 << "" << "-5";
    QTest::newRow("short value typed on") << 2 << "6" << 0 << "78" << "67";
}

void tst_InputFilter::programText()
{
    // Text the program puts in shows whole; the user can shorten a longer value but never lengthen it.
    QFETCH(int, optionWord);
    QFETCH(QString, set);
    QFETCH(int, backspaces);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QLineEdit txtWidth;
    InputFilter filter;
    filter.setUp(&txtWidth, optionWord, 0);
    QSignalSpy changes(&txtWidth, &QLineEdit::textChanged);
    txtWidth.setText(set);
    QCOMPARE(changes.size(), 1);
    QCOMPARE(txtWidth.text(), set);
    txtWidth.setCursorPosition(set.size());
    for (int i = 0; i < backspaces; ++i)
        QTest::keyClick(&txtWidth, Qt::Key_Backspace);
    QTest::keyClicks(&txtWidth, typed);
    QCOMPARE(txtWidth.text(), shown);
}

void tst_InputFilter::inputMethodTextIsFilteredToo()
{
    // Text committed by an input method passes only when it is ASCII digits within the limit (no full-width digits).
    QLineEdit txtHeight;
    InputFilter filter;
    filter.setUp(&txtHeight, 4, 0);
    auto commit = [&](const QString &text) {
        QInputMethodEvent event;
        event.setCommitString(text);
        QCoreApplication::sendEvent(&txtHeight, &event);
    };
    commit(QStringLiteral("１６００"));
    QCOMPARE(txtHeight.text(), QString());
    commit(QStringLiteral("16"));
    QCOMPARE(txtHeight.text(), QStringLiteral("16"));
}

void tst_InputFilter::filterLivesWithTheBox()
{
    // A filter without parent is owned by its box and goes with it.
    auto *box = new QLineEdit;
    QPointer<InputFilter> filter = new InputFilter;
    filter->setUp(box, 2, 0);
    QCOMPARE(filter->parent(), box);
    delete box;
    QVERIFY(filter.isNull());
}

QTEST_MAIN(tst_InputFilter)
#include "tst_inputfilter.moc"
