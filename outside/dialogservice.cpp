#include "dialogservice.h"

#include "qtdialogservice.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <array>

QStringList CommonDialog::nameFilters() const
{
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns = parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)
                                     .join(QLatin1Char(' '));
        result << QStringLiteral("%1 (%2)").arg(parts.at(i), patterns);
    }
    if (parts.size() % 2 == 1 && !parts.last().isEmpty()) {
        const QString patterns = parts.last().split(QLatin1Char(';'), Qt::SkipEmptyParts)
                                     .join(QLatin1Char(' '));
        result << QStringLiteral("%1 (%1)").arg(patterns);
    }
    return result;
}

QString CommonDialog::resultFor(const QStringList &paths)
{
    if (paths.isEmpty())
        return QString();
    if (paths.size() == 1)
        return paths.first();
    const QString first = paths.first();
    const qsizetype slash = first.lastIndexOf(QLatin1Char('/'));
    QString result = slash <= 0 ? QStringLiteral("/") : first.left(slash);
    for (const QString &path : paths)
        result += QChar(0) + path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    return result;
}

QStringList CommonDialog::splitResult(const QString &fileName)
{
    const QStringList parts = fileName.split(QChar(0));
    if (parts.size() == 1)
        return fileName.isEmpty() ? QStringList() : parts;
    QString folder = parts.first();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    QStringList result;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        if (!parts.at(i).isEmpty())
            result << folder + parts.at(i);
    }
    return result;
}

AppInfo AppInfo::fromApplication()
{
    AppInfo info;
    const bool gui = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    info.title = gui ? QGuiApplication::applicationDisplayName() : QCoreApplication::applicationName();
    info.version = QCoreApplication::applicationVersion();
    if (QCoreApplication::instance())
        info.comment = QCoreApplication::instance()->property("comment").toString();
    if (info.comment.isEmpty() && gui)
        info.comment = QGuiApplication::applicationDisplayName();
    return info;
}

DialogService::~DialogService() = default;

namespace {
DialogService *s_installed = nullptr;

// The answers of a style's buttons, left to right.
QList<int> answersOf(int style)
{
    switch (DialogService::buttonsOf(style)) {
    case 1: return {DialogService::Ok, DialogService::Cancel};
    case 2: return {3, 4, 5};
    case 3: return {DialogService::Yes, DialogService::No, DialogService::Cancel};
    case 4: return {DialogService::Yes, DialogService::No};
    case 5: return {4, DialogService::Cancel};
    default: return {DialogService::Ok};
    }
}
} // namespace

DialogService &DialogService::instance()
{
    if (s_installed)
        return *s_installed;
    static QtDialogService real;
    return real;
}

void DialogService::install(DialogService *service)
{
    s_installed = service;
}

DialogService *DialogService::installed()
{
    return s_installed;
}

int DialogService::defaultAnswer(int style)
{
    const QList<int> answers = answersOf(style);
    const int index = (style >> 8) & 0x3;
    return answers.at(qMin<qsizetype>(index, answers.size() - 1));
}

int DialogService::escapeAnswer(int style)
{
    switch (buttonsOf(style)) {
    case 0: return Ok;
    case 2: return 3;   // Abort
    case 4: return No;
    default: return Cancel;
    }
}
