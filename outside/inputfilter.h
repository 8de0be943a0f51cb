#pragma once
// Keeps a text box to digits: only digits can be typed or pasted, and at most optionWord
// of them (2 for the column box, 4 for the size boxes; 0 = no limit). option2 is reserved
// (0). Only the user's edits are limited: text the program puts into the box shows whole
// (12000 in a four-digit box stays 12000), and the user may shorten it but not lengthen it.

#include <QObject>
#include <QPointer>

#include <QLineEdit>
class QValidator;

class InputFilter : public QObject
{
    Q_OBJECT
public:
    explicit InputFilter(QObject *parent = nullptr);
    ~InputFilter() override;

    // Attaches the box. A filter without parent becomes a child of the box, so it lives
    // as long as the box does.
    void setUp(QLineEdit *box, int optionWord, int option2);

    QLineEdit *box() const { return m_box; }
    int maxDigits() const { return m_maxDigits; }

private:
    void onTextChanged(const QString &text);
    void acceptProgramText(const QString &text);

    QPointer<QLineEdit> m_box;
    QValidator *m_validator = nullptr;
    int m_maxDigits = 0;
    bool m_userEdit = false;
};
