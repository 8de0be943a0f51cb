#include "inputfilter.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>

InputFilter::InputFilter(QObject *parent)
    : QObject(parent)
{
}

// The validator is our child and the box only watches it, so nothing to undo here; the
// box may be half destroyed already when it deletes us as its child.
InputFilter::~InputFilter() = default;

void InputFilter::setUp(QLineEdit *box, int optionWord, int)
{
    if (m_box && m_box->validator() == m_validator)
        m_box->setValidator(nullptr);
    delete m_validator;
    m_validator = nullptr;

    m_box = box;
    m_maxDigits = qMax(0, optionWord);
    if (!box)
        return;
    if (!parent())
        setParent(box);
    // [0-9], not \d: full-width digits from an input method are not numbers to toInt().
    const QString pattern = m_maxDigits > 0 ? QStringLiteral("[0-9]{0,%1}").arg(m_maxDigits)
                                            : QStringLiteral("[0-9]*");
    m_validator = new QRegularExpressionValidator(QRegularExpression(pattern), this);
    box->setValidator(m_validator);
    if (m_maxDigits > 0)
        box->setMaxLength(m_maxDigits);
}
