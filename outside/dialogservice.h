#pragma once
// Messages, questions, the about box, the file and folder dialogs and error reports.
// Callers reach the one shared instance through DialogService::instance(); tests install
// a ScriptedDialogs (tests/support/outside/scripteddialogs.h), so no test waits for a person.

#include <QString>
#include <QStringList>

class QWidget;

// The common file dialog `dlgLumo`: the options the callers prepare, and the result
// ShowFileDialog leaves in it. A plain value, no widget.
struct CommonDialog
{
    // Pairs "description|patterns" joined by '|', patterns separated by ';':
    // "*.jpeg *.jpg|*.jpeg;*.jpg", "*.sbx|*.sbx".
    QString filter;
    QString initDir;          // initial folder
    // In: the preset file name (may be a full path). Out: the chosen file as a full path;
    // when several files were chosen: the folder, then each file name, all separated by
    // NUL characters ("/pics\0a.jpg\0b.jpg").
    QString fileName;
    bool multiSelect = false;     // open: several files may be chosen
    bool fileMustExist = false;   // open: the file must exist
    bool pathMustExist = false;   // the folder must exist
    bool hideReadOnly = false;    // accepted; there is no read-only check box
    bool noChangeDir = false;     // accepted; the current folder is never changed
    bool overwritePrompt = false; // save: ask before replacing an existing file
    QString defaultExt;           // save: added when the typed name has no extension
    int maxFileSize = 260;        // accepted; the result is never cut

    // Back to the defaults above.
    void reset() { *this = CommonDialog(); }

    // The filter in QFileDialog form: {"*.jpeg *.jpg (*.jpeg *.jpg)"}.
    QStringList nameFilters() const;
    // fileName as ShowFileDialog leaves it for chosen full paths (several: one folder).
    static QString resultFor(const QStringList &paths);
    // Full paths from such a result (one path, or folder NUL name NUL name ...).
    static QStringList splitResult(const QString &fileName);
};

// What the version box shows beside the application's window icon: the program's own
// application information.
struct AppInfo
{
    QString title;    // the program's name: "Lumo"
    QString version;  // "0.1.0"
    QString comment;  // the product's display name and what it does
    // From the running application: applicationDisplayName (applicationName without a
    // GUI), applicationVersion, and for the comment the application object's property
    // "comment", else applicationDisplayName.
    static AppInfo fromApplication();
};

class DialogService
{
public:
    // The button pressed.
    enum Answer { Ok = 1, Cancel = 2, Yes = 6, No = 7 };
    // The message styles in use (buttons + icon + default button).
    enum Style {
        YesNoQuestion = 36,
        OkExclamation = 48,
        OkInformation = 64,
        YesNoCancelInformation = 67,
        YesNoInformation = 68,
        YesNoCancelInformationSecondDefault = 323,
    };
    // Modes of ShowFileDialog.
    enum FileMode { Open = 0, Save = 1 };

    virtual ~DialogService();

    // Shows text with the style's buttons and icon, modal over owner; the button pressed
    // (1, 2, 6 or 7). Closing a Yes/No/Cancel box answers Cancel, a Yes/No box No, an OK
    // box OK. The title is the application's display name; reserved is 0.
    virtual int ShowMessage(QWidget *owner, const QString &text, int style, int reserved = 0) = 0;
    // The same with a second text under it, saying what the question acts on.
    virtual int ShowMessage(QWidget *owner, const QString &text, const QString &detail, int style) = 0;
    // The version box, modal.
    virtual void ShowAbout(QWidget *owner, const AppInfo &info) = 0;
    // Shows the prepared dialog, mode 0 = open or 1 = save. True when a file was chosen;
    // dialog.fileName then holds it. False leaves the dialog unchanged.
    virtual bool ShowFileDialog(QWidget *owner, CommonDialog &dialog, int mode) = 0;
    // A folder picker starting at start (empty: the home folder); "" when cancelled.
    virtual QString BrowseForFolder(QWidget *owner, const QString &start) = 0;
    // Reports an error of the named procedure ("DeleteJepg") to the user.
    virtual void ShowError(const QString &procedure, const QString &error) = 0;

    // The installed service, or the real one (QtDialogService), created on first use.
    static DialogService &instance();
    // Installs service as the shared instance; nullptr restores the real one. The caller
    // keeps ownership.
    static void install(DialogService *service);
    // The installed service (nullptr when the real one is in use).
    static DialogService *installed();

    // Pure helpers over a style number: its button set (0 OK, 1 OK/Cancel, 3 Yes/No/Cancel,
    // 4 Yes/No, ...), and the answers of its default button (Enter) and of closing the box.
    static int buttonsOf(int style) { return style & 0x0F; }
    static int defaultAnswer(int style);
    static int escapeAnswer(int style);
};
