#pragma once
// Keeps a text box to digits: only digits can be typed or pasted, and at most optionWord
// of them (2 for the column box, 4 for the size boxes; 0 = no limit). option2 is reserved
// (0). The box's maximum length becomes that number too, so longer text set by the
// program is cut to it.

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
    QPointer<QLineEdit> m_box;
    QValidator *m_validator = nullptr;
    int m_maxDigits = 0;
};
