#include "outside/inputfilter.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPointer>
#include <QtTest>

class tst_InputFilter : public QObject
{
    Q_OBJECT

private slots:
    void typing_data();
    void typing();
    void pastingNonDigitsIsRefused();
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
