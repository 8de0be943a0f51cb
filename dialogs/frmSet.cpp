#include "frmSet.h"

#include "fixeddialog.h"
#include "leadingnumber.h"
#include "outside/dialogservice.h"
#include "outside/inputfilter.h"
#include "outside/uilanguage.h"
#include "outside/workarea.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
frmSet *s_loaded = nullptr;

constexpr int InnerWidthTwips = 4245;
constexpr int InnerHeightTwips = 1680;
// The row of the formats' check box, below the buttons.
constexpr int FormatsTopTwips = 1680;
constexpr int FormatsRowTwips = 450;
// The row of the language, below the formats.
constexpr int LanguageTopTwips = FormatsTopTwips + FormatsRowTwips;
constexpr int LanguageRowTwips = 450;
} // namespace

frmSet::frmSet(QWidget *parent)
    : QDialog(parent, FixedDialogFlags)
{
    setObjectName(QStringLiteral("frmSet"));
    setWindowTitle(tr("設定"));
    s_loaded = this;

    auto place = [this](QWidget *control, const char *name, int left, int top, int width, int height) {
        control->setObjectName(QLatin1String(name));
        control->setGeometry(twipsX(left), twipsY(top), twipsX(width), twipsY(height));
    };
    auto label = [this](const QString &text) {
        auto *caption = new QLabel(text, this);
        // Each caption ends where its box begins.
        caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return caption;
    };
    auto box = [this](int optionWord) {
        auto *text = new QLineEdit(this);
        (new InputFilter)->setUp(text, optionWord, 0); // owned by the box
        return text;
    };

    Label1 = label(tr("カラム数"));
    place(Label1, "Label1", 150, 225, 915, 240);
    txtCols = box(2);
    place(txtCols, "txtCols", 1200, 225, 840, 315);
    // "(W)" and "(H)" are the captions' access keys: Alt+W and Alt+H reach the boxes.
    Label3 = label(tr("横サイズ(&W)"));
    place(Label3, "Label3", 75, 675, 990, 315);
    txtWidth = box(4);
    place(txtWidth, "txtWidth", 1200, 675, 840, 315);
    Label2 = label(tr("縦サイズ(&H)"));
    place(Label2, "Label2", 2175, 675, 990, 315);
    txtHeight = box(4);
    place(txtHeight, "txtHeight", 3225, 675, 840, 315);
    Label1->setBuddy(txtCols);
    Label3->setBuddy(txtWidth);
    Label2->setBuddy(txtHeight);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    place(cmdOK, "cmdOK", 1425, 1200, 1300, 360);
    cmdOK->setDefault(true); // Enter
    cmdCancel = new QPushButton(tr("キャンセル"), this);
    place(cmdCancel, "cmdCancel", 2775, 1200, 1300, 360);

    setTabOrder(txtCols, txtWidth);
    setTabOrder(txtWidth, txtHeight);
    setTabOrder(txtHeight, cmdOK);
    chkAllFormats = new QCheckBox(tr("JPEG以外の画像も追加する (HEIC, AVIF, PNG, WebP, TIFF, RAW)"), this);
    place(chkAllFormats, "chkAllFormats", 150, FormatsTopTwips, 3945, 315);
    // The caption is wider than the boxes above it: the dialog widens to show it whole.
    chkAllFormats->resize(std::max(chkAllFormats->width(), chkAllFormats->sizeHint().width()), chkAllFormats->height());

    lblLanguage = label(tr("表示言語(&L)"));
    place(lblLanguage, "lblLanguage", 75, LanguageTopTwips, 990, 315);
    cboLanguage = new QComboBox(this);
    // Each language by its own name, so a user who cannot read the present one finds theirs.
    cboLanguage->addItem(tr("自動（デスクトップの言語）"), UiLanguageSetting::Auto);
    cboLanguage->addItem(QStringLiteral("日本語"), UiLanguageSetting::Japanese);
    cboLanguage->addItem(QStringLiteral("English"), UiLanguageSetting::English);
    place(cboLanguage, "cboLanguage", 1200, LanguageTopTwips, 1500, 315);
    cboLanguage->resize(std::max(cboLanguage->width(), cboLanguage->sizeHint().width()), cboLanguage->height());
    lblLanguage->setBuddy(cboLanguage);
    // The windows take their texts once, at the start.
    lblLanguageNote = new QLabel(tr("次回の起動から有効になります"), this);
    lblLanguageNote->setObjectName(QStringLiteral("lblLanguageNote"));
    lblLanguageNote->setGeometry(cboLanguage->geometry().right() + 1 + twipsX(120), cboLanguage->y(),
                                 lblLanguageNote->sizeHint().width(), cboLanguage->height());

    setTabOrder(cmdOK, cmdCancel);
    setTabOrder(cmdCancel, chkAllFormats);
    setTabOrder(chkAllFormats, cboLanguage);

    connect(cmdOK, &QPushButton::clicked, this, &frmSet::cmdOKClick);
    connect(cmdCancel, &QPushButton::clicked, this, &frmSet::reject);
    setFixedSize(std::max({twipsX(InnerWidthTwips), chkAllFormats->geometry().right() + 1 + twipsX(150),
                           lblLanguageNote->geometry().right() + 1 + twipsX(150)}),
                 twipsY(InnerHeightTwips + FormatsRowTwips + LanguageRowTwips));
}

frmSet::~frmSet()
{
    if (s_loaded == this)
        s_loaded = nullptr;
}

frmSet *frmSet::loaded()
{
    return s_loaded;
}

void frmSet::unload()
{
    if (s_loaded && s_loaded->isVisible())
        s_loaded->reject();
}

int frmSet::centredStart(int ownerStart, double ownerExtent, double ownExtent)
{
    // nearbyint rounds halves to even in the default rounding mode; '/' truncates.
    return ownerStart + int(std::nearbyint(ownerExtent - ownExtent)) / 2;
}

bool frmSet::ShowEx(QWidget *o_Owner)
{
    if (o_Owner) {
        // Owned: it stays in front of the owner and has no task-bar entry of its own.
        if (parentWidget() != o_Owner)
            setParent(o_Owner, windowFlags());
        const QWidget *owner = o_Owner->window();
        const QRect ownerFrame = owner->frameGeometry();
        // The dialog gets its frame when it is first shown; it is the owner's kind of frame.
        const QSize outer = size() + (ownerFrame.size() - owner->size());
        const int left = centredStart(WorkArea::pixelsToTwipsX(ownerFrame.x(), owner),
                                      WorkArea::pixelsToTwipsX(ownerFrame.width(), owner),
                                      WorkArea::pixelsToTwipsX(outer.width(), owner));
        const int top = centredStart(WorkArea::pixelsToTwipsY(ownerFrame.y(), owner),
                                     WorkArea::pixelsToTwipsY(ownerFrame.height(), owner),
                                     WorkArea::pixelsToTwipsY(outer.height(), owner));
        move(WorkArea::twipsToPixelsX(left, owner), WorkArea::twipsToPixelsY(top, owner));
        setWindowIcon(o_Owner->windowIcon());
    }
    txtCols->setText(QString::number(SamCols));
    txtWidth->setText(QString::number(SamWidth));
    txtHeight->setText(QString::number(SamHeight));
    chkAllFormats->setChecked(AllFormats);
    cboLanguage->setCurrentIndex(std::max(0, cboLanguage->findData(UiLanguageSetting::normalised(Language))));
    m_cancelled = true;
    exec();
    return !m_cancelled;
}

void frmSet::cmdOKClick()
{
    cmdOK->setFocus();
    struct Check
    {
        QLineEdit *box;
        qint32 min;
        qint32 max;
    };
    const Check checks[] = {
        {txtCols, std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max()},
        {txtWidth, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()},
        {txtHeight, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()},
    };
    qint32 values[3] = {};
    for (int i = 0; i < 3; ++i) {
        const std::optional<qint32> value = readLeadingNumber(checks[i].box->text(), checks[i].min, checks[i].max);
        if (!value) {
            DialogService::instance().ShowMessage(this, tr("入力が不正です"), DialogService::OkExclamation);
            checks[i].box->setFocus();
            return;
        }
        values[i] = *value;
    }
    SamCols = qint16(values[0]);
    SamWidth = values[1];
    SamHeight = values[2];
    AllFormats = chkAllFormats->isChecked();
    Language = cboLanguage->currentData().toString();
    m_cancelled = false;
    accept();
}

void frmSet::reject()
{
    // Cancel, Esc and the close box all come here.
    cmdCancel->setFocus();
    m_cancelled = true;
    QDialog::reject();
}

int frmSet::twipsX(int twips) const
{
    return WorkArea::twipsToPixelsX(twips, this);
}

int frmSet::twipsY(int twips) const
{
    return WorkArea::twipsToPixelsY(twips, this);
}
