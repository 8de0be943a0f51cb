#pragma once
// The settings dialog: edits copies of the three values that shape the thumbnail grid of
// the similar-pictures window, whether the adds take other pictures than JPEG, and the
// language of the windows. The caller sets the values, calls ShowEx and reads them back
// when it returns true:
//
//     frmSet dialog;                  // loads it: controls and their input filters
//     dialog.SamCols = samCols; ...
//     if (dialog.ShowEx(this))
//         samCols = dialog.SamCols; ...
//
// Each use is a new object, so each use loads the dialog afresh.

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class frmSet : public QDialog
{
    Q_OBJECT
public:
    explicit frmSet(QWidget *parent = nullptr);
    ~frmSet() override;

    // Set before ShowEx, read after it; changed only by OK with valid input.
    qint16 SamCols = 0;   // number of thumbnail columns
    qint32 SamWidth = 0;  // thumbnail width in twips
    qint32 SamHeight = 0; // thumbnail height in twips
    bool AllFormats = false; // the adds take HEIC, AVIF, PNG, WebP, TIFF and camera RAW too
    // The "Language" setting: "auto" (the desktop's), "ja" or "en"; applies at the next start.
    QString Language = QStringLiteral("auto");

    // Centres the dialog over o_Owner, shows it modally with the values filled in, and
    // returns true when the user confirmed with OK.
    bool ShowEx(QWidget *o_Owner);

    // The dialog being shown, or null.
    static frmSet *loaded();
    // Closes the dialog being shown as its close box does: ShowEx returns false.
    static void unload();

    // Where a window of ownExtent twips starts when centred on an owner that starts at
    // ownerStart and measures ownerExtent: the difference of the extents is rounded to a
    // whole number, halves to the even one, and halved with a division that truncates.
    static int centredStart(int ownerStart, double ownerExtent, double ownExtent);

    // Cancel, Esc and the close box.
    void reject() override;

private:
    void cmdOKClick();
    int twipsX(int twips) const;
    int twipsY(int twips) const;

    QLabel *Label1 = nullptr;
    QLineEdit *txtCols = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *txtWidth = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *txtHeight = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;
    QCheckBox *chkAllFormats = nullptr;
    QLabel *lblLanguage = nullptr;
    QComboBox *cboLanguage = nullptr;
    QLabel *lblLanguageNote = nullptr;

    bool m_cancelled = true;
};
