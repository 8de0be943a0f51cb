#include "modalhelper.h"
#include "outside/qtdialogservice.h"
#include "outside/scripteddialogs.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QAbstractItemView>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(QMessageBox::StandardButton)
Q_DECLARE_METATYPE(QMessageBox::StandardButtons)
Q_DECLARE_METATYPE(QMessageBox::Icon)

class tst_DialogService : public QObject
{
    Q_OBJECT

private slots:
    void styleMapping_data();
    void styleMapping();
    void realBoxAnswers_data();
    void realBoxAnswers();
    void realOpenDialogReturnsSeveralFiles();
    void realSaveDialogKeepsThePresetName();
    void realFolderPicker();
    void cancelledFileDialogLeavesTheName();
    void dialogsCannotDelete_data();
    void dialogsCannotDelete();
    void aboutAndErrorBoxes();
    void sharedInstanceFollowsInstalls();
};

void tst_DialogService::styleMapping_data()
{
    using B = QMessageBox::StandardButton;
    QTest::addColumn<int>("style");
    QTest::addColumn<QMessageBox::StandardButtons>("buttons");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<QMessageBox::StandardButton>("defaultButton");
    QTest::addColumn<QMessageBox::StandardButton>("escapeButton");

    QTest::newRow("36") << 36 << (B::Yes | B::No) << QMessageBox::Question << B::Yes << B::No;
    QTest::newRow("48") << 48 << QMessageBox::StandardButtons(B::Ok) << QMessageBox::Warning << B::Ok << B::Ok;
    QTest::newRow("64") << 64 << QMessageBox::StandardButtons(B::Ok) << QMessageBox::Information << B::Ok << B::Ok;
    QTest::newRow("67") << 67 << (B::Yes | B::No | B::Cancel) << QMessageBox::Information << B::Yes << B::Cancel;
    QTest::newRow("68") << 68 << (B::Yes | B::No) << QMessageBox::Information << B::Yes << B::No;
    QTest::newRow("323") << 323 << (B::Yes | B::No | B::Cancel) << QMessageBox::Information << B::No << B::Cancel;
    QTest::newRow("0") << 0 << QMessageBox::StandardButtons(B::Ok) << QMessageBox::NoIcon << B::Ok << B::Ok;
    QTest::newRow("1") << 1 << (B::Ok | B::Cancel) << QMessageBox::NoIcon << B::Ok << B::Cancel;
    QTest::newRow("16+512 on two buttons") << 16 + 512 + 4 << (B::Yes | B::No) << QMessageBox::Critical << B::No << B::No;
}

void tst_DialogService::styleMapping()
{
    // A style number turns into its buttons, icon, preselected button and the button Esc presses.
    QFETCH(int, style);
    QFETCH(QMessageBox::StandardButtons, buttons);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(QMessageBox::StandardButton, defaultButton);
    QFETCH(QMessageBox::StandardButton, escapeButton);
    const MessageBoxSetup setup = messageBoxSetup(style);
    QCOMPARE(setup.buttons, buttons);
    QCOMPARE(setup.icon, icon);
    QCOMPARE(setup.defaultButton, defaultButton);
    QCOMPARE(setup.escapeButton, escapeButton);
    QCOMPARE(DialogService::defaultAnswer(style), answerOf(defaultButton));
    QCOMPARE(DialogService::escapeAnswer(style), answerOf(escapeButton));
}

void tst_DialogService::realBoxAnswers_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("key");       // 0: click `button`
    QTest::addColumn<QMessageBox::StandardButton>("button");
    QTest::addColumn<int>("answer");

    QTest::newRow("323 click Yes") << 323 << 0 << QMessageBox::Yes << 6;
    QTest::newRow("323 Enter takes No") << 323 << int(Qt::Key_Return) << QMessageBox::NoButton << 7;
    QTest::newRow("323 Esc") << 323 << int(Qt::Key_Escape) << QMessageBox::NoButton << 2;
    QTest::newRow("67 Enter takes Yes") << 67 << int(Qt::Key_Return) << QMessageBox::NoButton << 6;
    QTest::newRow("67 click Cancel") << 67 << 0 << QMessageBox::Cancel << 2;
    QTest::newRow("68 Esc is No") << 68 << int(Qt::Key_Escape) << QMessageBox::NoButton << 7;
    QTest::newRow("36 click No") << 36 << 0 << QMessageBox::No << 7;
    QTest::newRow("48 Enter") << 48 << int(Qt::Key_Return) << QMessageBox::NoButton << 1;
    QTest::newRow("64 Esc") << 64 << int(Qt::Key_Escape) << QMessageBox::NoButton << 1;
}

void tst_DialogService::realBoxAnswers()
{
    // A real box shows the style's Japanese buttons over its owner and answers the number of the button used.
    QFETCH(int, style);
    QFETCH(int, key);
    QFETCH(QMessageBox::StandardButton, button);
    QFETCH(int, answer);

    QWidget owner;
    owner.show();
    QString text;
    QStringList captions;
    QWidget *parent = nullptr;
    QAbstractButton *preselected = nullptr;
    QMessageBox::StandardButton preselectedKind = QMessageBox::NoButton;
    whenModal<QMessageBox>([&](QMessageBox *box) {
        text = box->text();
        parent = box->parentWidget();
        const QList<QAbstractButton *> buttons = box->buttons();
        for (QAbstractButton *b : buttons)
            captions << b->text();
        preselected = box->defaultButton();
        preselectedKind = box->standardButton(preselected);
        if (key)
            QTest::keyClick(box, Qt::Key(key));
        else
            box->button(button)->click();
    });
    ModalGuard guard;
    QtDialogService service;
    QCOMPARE(service.ShowMessage(&owner, QStringLiteral("保存しますか？"), style, 0), answer);
    QVERIFY(!guard.fired());
    QCOMPARE(text, QStringLiteral("保存しますか？"));
    QCOMPARE(parent, &owner);
    QCOMPARE(preselectedKind, messageBoxSetup(style).defaultButton);
    for (const QString &caption : std::as_const(captions))
        QVERIFY2(caption == QLatin1String("OK") || caption == QStringLiteral("はい(&Y)")
                     || caption == QStringLiteral("いいえ(&N)") || caption == QStringLiteral("キャンセル"),
                 qPrintable(caption));
}

static void touch(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

void tst_DialogService::realOpenDialogReturnsSeveralFiles()
{
    // The open dialog takes the prepared filter and folder and returns several files as folder NUL name NUL name.
    QTemporaryDir dir;
    touch(dir.filePath(QStringLiteral("a.jpg")));
    touch(dir.filePath(QStringLiteral("b.jpeg")));
    CommonDialog dlgLumo;
    dlgLumo.filter = QStringLiteral("*.jpeg *.jpg|*.jpeg;*.jpg");
    dlgLumo.initDir = dir.path();
    dlgLumo.multiSelect = true;
    dlgLumo.fileMustExist = true;
    QStringList filters;
    QString folder;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    whenModal<QFileDialog>([&](QFileDialog *box) {
        filters = box->nameFilters();
        folder = box->directory().absolutePath();
        mode = box->fileMode();
        // Typed as a person would: several names in quotes in the name box.
        auto *nameBox = box->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(nameBox);
        nameBox->setText(QStringLiteral("\"a.jpg\" \"b.jpeg\""));
        static_cast<QDialog *>(box)->accept();
    });
    ModalGuard guard;
    QtDialogService service;
    QVERIFY(service.ShowFileDialog(nullptr, dlgLumo, DialogService::Open));
    QVERIFY(!guard.fired());
    QCOMPARE(filters, QStringList{QStringLiteral("*.jpeg *.jpg (*.jpeg *.jpg)")});
    QCOMPARE(folder, QDir(dir.path()).absolutePath());
    QCOMPARE(mode, QFileDialog::ExistingFiles);
    const QString expected = dir.path() + QChar(0) + QStringLiteral("a.jpg") + QChar(0) + QStringLiteral("b.jpeg");
    QCOMPARE(dlgLumo.fileName, expected);
}

void tst_DialogService::realSaveDialogKeepsThePresetName()
{
    // The save dialog starts on the preset name, does not ask before replacing, and returns the full path.
    QTemporaryDir dir;
    const QString catalogue = dir.filePath(QStringLiteral("old.sbx"));
    touch(catalogue);
    CommonDialog dlgLumo;
    dlgLumo.filter = QStringLiteral("*.sbx|*.sbx");
    dlgLumo.initDir = dir.path();
    dlgLumo.fileName = catalogue;
    bool confirms = true;
    QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptOpen;
    whenModal<QFileDialog>([&](QFileDialog *box) {
        confirms = !box->testOption(QFileDialog::DontConfirmOverwrite);
        acceptMode = box->acceptMode();
        static_cast<QDialog *>(box)->accept();
    });
    ModalGuard guard;
    QtDialogService service;
    QVERIFY(service.ShowFileDialog(nullptr, dlgLumo, DialogService::Save));
    QVERIFY(!guard.fired());
    QVERIFY(!confirms);
    QCOMPARE(acceptMode, QFileDialog::AcceptSave);
    QCOMPARE(dlgLumo.fileName, catalogue);
}

void tst_DialogService::realFolderPicker()
{
    // The folder picker starts at the given folder and answers the folder accepted, "" when cancelled.
    QTemporaryDir dir;
    whenModal<QFileDialog>([](QFileDialog *box) { static_cast<QDialog *>(box)->accept(); });
    ModalGuard guard;
    QtDialogService service;
    QCOMPARE(QDir(service.BrowseForFolder(nullptr, dir.path())).absolutePath(), QDir(dir.path()).absolutePath());
    whenModal<QFileDialog>([](QFileDialog *box) { box->reject(); });
    QCOMPARE(service.BrowseForFolder(nullptr, dir.path()), QString());
    QVERIFY(!guard.fired());
}

void tst_DialogService::cancelledFileDialogLeavesTheName()
{
    // Cancelling the file dialog answers false and keeps the preset name.
    CommonDialog dlgLumo;
    dlgLumo.fileName = QStringLiteral("/nowhere/x.sbx");
    whenModal<QFileDialog>([](QFileDialog *box) { box->reject(); });
    ModalGuard guard;
    QtDialogService service;
    QVERIFY(!service.ShowFileDialog(nullptr, dlgLumo, DialogService::Save));
    QVERIFY(!guard.fired());
    QCOMPARE(dlgLumo.fileName, QStringLiteral("/nowhere/x.sbx"));
}

void tst_DialogService::dialogsCannotDelete_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("open") << QStringLiteral("open");
    QTest::newRow("save") << QStringLiteral("save");
    QTest::newRow("folder") << QStringLiteral("folder");
}

void tst_DialogService::dialogsCannotDelete()
{
    // In every file dialog the Delete key and the delete action leave a chosen folder on disk, even when the question is answered Yes.
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString pictures = dir.filePath(QStringLiteral("pictures"));
    QVERIFY(QDir().mkpath(pictures));
    touch(pictures + QStringLiteral("/a.jpg"));
    bool deleteOffered = false;
    whenModal<QFileDialog>([&](QFileDialog *box) {
        auto *view = box->findChild<QAbstractItemView *>(QStringLiteral("treeView")); // the detail view
        auto *files = box->findChild<QFileSystemModel *>(QStringLiteral("qt_filesystem_model"));
        box->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(box));
        // The folder's entries arrive from another thread.
        QVERIFY(QTest::qWaitFor([&] { return files->index(pictures).isValid(); }, 5000));
        view->setCurrentIndex(files->index(pictures));
        QTimer yes; // whatever asks, the answer is Yes
        connect(&yes, &QTimer::timeout, [] {
            if (auto *question = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                question->button(QMessageBox::Yes)->click();
        });
        yes.start(50);
        QTimer::singleShot(200, [&] {
            QWidget *menu = QApplication::activePopupWidget();
            for (QAction *item : menu->actions())
                deleteOffered |= item->objectName() == QLatin1String("qt_delete_action") && item->isEnabled();
            menu->close();
        });
        emit view->customContextMenuRequested(view->visualRect(view->currentIndex()).center());
        QTest::keyClick(view, Qt::Key_Delete);
        box->reject();
    });
    ModalGuard guard;
    QtDialogService service;
    CommonDialog dlgLumo;
    dlgLumo.initDir = dir.path();
    if (kind == QLatin1String("folder"))
        service.BrowseForFolder(nullptr, dir.path());
    else
        service.ShowFileDialog(nullptr, dlgLumo, kind == QLatin1String("save") ? DialogService::Save : DialogService::Open);
    QVERIFY(!guard.fired());
    QVERIFY(QFile::exists(pictures + QStringLiteral("/a.jpg")));
    QVERIFY(!deleteOffered);
}

void tst_DialogService::aboutAndErrorBoxes()
{
    // The version box shows title, version and comment beside the application's icon; the error box names the procedure and the error.
    QPixmap red(64, 64);
    red.fill(Qt::red);
    QGuiApplication::setWindowIcon(QIcon(red));
    QString about;
    QImage icon;
    whenModal<QMessageBox>([&](QMessageBox *box) {
        about = box->text();
        icon = box->iconPixmap().toImage();
        box->button(QMessageBox::Ok)->click();
    });
    ModalGuard guard;
    QtDialogService service;
    service.ShowAbout(nullptr, AppInfo{QStringLiteral("Lumo"), QStringLiteral("1.2.3"), QStringLiteral("Lumo — 類似画像検索")});
    QGuiApplication::setWindowIcon(QIcon());
    QVERIFY(about.contains(QStringLiteral("Lumo")));
    QVERIFY(about.contains(QStringLiteral("1.2.3")));
    QVERIFY(about.contains(QStringLiteral("Lumo — 類似画像検索")));
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.pixelColor(icon.width() / 2, icon.height() / 2), QColor(Qt::red));

    QString error;
    whenModal<QMessageBox>([&](QMessageBox *box) {
        error = box->text() + QLatin1Char('\n') + box->informativeText();
        box->button(QMessageBox::Ok)->click();
    });
    service.ShowError(QStringLiteral("DeleteJepg"), QStringLiteral("添字が範囲外です"));
    QVERIFY(!guard.fired());
    QVERIFY(error.contains(QStringLiteral("DeleteJepg")));
    QVERIFY(error.contains(QStringLiteral("添字が範囲外です")));
}

void tst_DialogService::sharedInstanceFollowsInstalls()
{
    // The shared instance is the real service until a scripted one is installed, and again once it is gone.
    QVERIFY(dynamic_cast<QtDialogService *>(&DialogService::instance()));
    {
        ScriptedDialogs outer;
        QCOMPARE(&DialogService::instance(), &outer);
        {
            ScriptedDialogs inner;
            QCOMPARE(&DialogService::instance(), &inner);
        }
        QCOMPARE(&DialogService::instance(), &outer);
    }
    QVERIFY(dynamic_cast<QtDialogService *>(&DialogService::instance()));
    QCOMPARE(DialogService::installed(), nullptr);
}

QTEST_MAIN(tst_DialogService)
#include "tst_dialogservice.moc"
