#include "inputfilter.h"

#include <QSignalBlocker>
#include <QValidator>

namespace {
// Digits only, at most maxDigits of them (0: any number). Text the program put into the
// box passes as it stands, and so does any shortening of it, so the user can trim a longer
// stored value but never type one.
class DigitValidator : public QValidator
{
public:
    DigitValidator(int maxDigits, QObject *parent)
        : QValidator(parent), m_maxDigits(maxDigits)
    {
    }

    State validate(QString &input, int &) const override
    {
        if (input == m_programText)
            return input.size() <= m_maxDigits || m_maxDigits == 0 ? Acceptable : Intermediate;
        // '0'..'9', not isDigit(): full-width digits from an input method are not numbers
        // to toInt().
        for (QChar c : std::as_const(input)) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return Invalid;
        }
        if (m_maxDigits == 0 || input.size() <= m_maxDigits)
            return Acceptable;
        return input.size() < m_programText.size() ? Intermediate : Invalid;
    }

    void setProgramText(const QString &text) { m_programText = text; }

private:
    int m_maxDigits = 0;
    QString m_programText;
};
} // namespace

InputFilter::InputFilter(QObject *parent)
    : QObject(parent)
{
}

// The validator is our child and the box only watches it, so nothing to undo here; the
// box may be half destroyed already when it deletes us as its child.
InputFilter::~InputFilter() = default;

void InputFilter::setUp(QLineEdit *box, int optionWord, int)
{
    if (m_box) {
        disconnect(m_box, nullptr, this, nullptr);
        if (m_box->validator() == m_validator)
            m_box->setValidator(nullptr);
    }
    delete m_validator;
    m_validator = nullptr;

    m_box = box;
    m_maxDigits = qMax(0, optionWord);
    if (!box)
        return;
    if (!parent())
        setParent(box);
    // A validator rather than the box's maximum length, which would cut text the program
    // sets as well.
    m_validator = new DigitValidator(m_maxDigits, this);
    box->setValidator(m_validator);
    connect(box, &QLineEdit::textEdited, this, [this] { m_userEdit = true; });
    connect(box, &QLineEdit::textChanged, this, &InputFilter::onTextChanged);
    acceptProgramText(box->text());
}

void InputFilter::onTextChanged(const QString &text)
{
    // textEdited comes just before textChanged for the user's edits; any other change
    // was made by the program.
    if (m_userEdit) {
        m_userEdit = false;
        return;
    }
    acceptProgramText(text);
}

void InputFilter::acceptProgramText(const QString &text)
{
    auto *validator = static_cast<DigitValidator *>(m_validator);
    validator->setProgramText(QString());
    int pos = 0;
    QString probe = text;
    const bool fits = validator->validate(probe, pos) != QValidator::Invalid;
    validator->setProgramText(text);
    if (fits)
        return;
    // The box refuses the user's invalid edits only while its own text counted as valid
    // when it last changed, and it judged this text before we accepted it. Have it judge
    // again; it judges only a changed text, hence the detour, which nobody sees.
    const QSignalBlocker quiet(m_box);
    m_box->setText(QString());
    m_box->setText(text);
}
