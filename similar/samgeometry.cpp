#include "samgeometry.h"

#include "outside/workarea.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QList>
#include <QStringList>

SamGeometry SamGeometry::fromSettings(int columns, int width, int height)
{
    // Large enough for any screen, small enough that 32,767 cells stay within int.
    constexpr int Largest = 30000;
    SamGeometry g;
    g.columns = qBound(1, columns, 999);
    g.width = qBound(1, width, Largest);
    g.height = qBound(0, height, Largest);
    return g;
}

QRect SamGeometry::cellRect(int k) const
{
    return QRect((k % columns) * width, (k / columns) * rowHeight(), width, rowHeight());
}

std::optional<SamGeometry::Hit> SamGeometry::hit(int x, int y) const
{
    const int column = x / width;
    const int row = y / rowHeight();
    if (column > columns - 1 || x < 0 || y < 0)
        return std::nullopt;
    return Hit{column, row, columns * row + column};
}

SamSliderRange samSliderRange(int areaHeight, int clientHeight, int rowHeight)
{
    if (areaHeight <= clientHeight || rowHeight <= 0)
        return {};
    return {true, 1, (areaHeight - clientHeight) / rowHeight + 2, clientHeight / rowHeight};
}

QString FitSamTitle(const QString &text, int width, const QFontMetrics &metrics, double dpi)
{
    if (text.isEmpty())
        return QString();
    const auto fits = [&metrics, dpi, width](const QString &candidate) {
        return WorkArea::pixelsToTwips(metrics.horizontalAdvance(candidate), dpi) < width;
    };
    if (fits(text))
        return text;

    // Where each character ends; a surrogate pair is one character and is never split.
    QList<int> ends;
    for (int i = 0; i < text.size();) {
        i += text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate() ? 2 : 1;
        ends.append(i);
    }
    const QString dots = QStringLiteral("...");
    for (int k = int(ends.size()) - 1; k >= 2; --k) {
        const QString candidate = text.left(ends[k - 1]) + dots;
        if (fits(candidate))
            return candidate;
    }
    return text.left(ends[0]) + dots;
}

QString samProgressTitle(SamRun run, const QString &path, int number, int count, SimilarRule rule)
{
    // One text with the path in it, so a language may put the path where it belongs.
    const char *doing = run == SamRun::List ? QT_TRANSLATE_NOOP("SamGeometry", "%1を表示中...(%2/%3)")
                                            : QT_TRANSLATE_NOOP("SamGeometry", "%1を比較中...(%2/%3)");
    QString title = QCoreApplication::translate("SamGeometry", doing)
                        .arg(path, QString::number(number), QString::number(count));
    if (run == SamRun::Comparison && rule.turned)
        title += QCoreApplication::translate("SamGeometry", " [回転・反転]");
    if (run == SamRun::Comparison && rule.grey)
        title += QCoreApplication::translate("SamGeometry", " [グレー]");
    return title;
}

namespace {
bool mirrored(pixcore::GridTurn turn)
{
    return turn >= pixcore::GridTurn::Mirror;
}
// Quarter turns clockwise after any mirroring: 0 to 3.
int quarterTurns(pixcore::GridTurn turn)
{
    return int(turn) % 4;
}
} // namespace

QString samMatchMark(const SimilarMatch &match)
{
    QString mark;
    if (quarterTurns(match.turn) != 0)
        mark += QStringLiteral("↻");
    if (mirrored(match.turn))
        mark += QStringLiteral("⇋");
    if (match.grey)
        mark += QStringLiteral("◐");
    return mark;
}

QString samMatchNote(const SimilarMatch &match)
{
    QStringList turning;
    if (mirrored(match.turn))
        turning += QCoreApplication::translate("SamGeometry", "左右反転");
    if (quarterTurns(match.turn) != 0)
        turning += QCoreApplication::translate("SamGeometry", "%1°回転").arg(quarterTurns(match.turn) * 90);
    QString note;
    if (!turning.isEmpty())
        note += QLatin1Char('(') + turning.join(QCoreApplication::translate("SamGeometry", "・")) + QLatin1Char(')');
    if (match.grey)
        note += QCoreApplication::translate("SamGeometry", "(グレー)");
    return note;
}

QString samFactsNote(const PictureFacts &facts)
{
    if (!facts.readable)
        return {};
    QString note = QLatin1Char('\n') + QString::number(facts.width) + QStringLiteral("×") + QString::number(facts.height);
    if (facts.raw)
        note += QStringLiteral(" RAW");
    else if (facts.quality > 0)
        note += QCoreApplication::translate("SamGeometry", " 品質 約%1").arg(facts.quality);
    if (facts.primaryQuality > 0)
        note += QCoreApplication::translate("SamGeometry", " 元の品質 約%1").arg(facts.primaryQuality);
    if (facts.taken.isValid())
        note += QCoreApplication::translate("SamGeometry", " 撮影 %1").arg(facts.taken.toString(QStringLiteral("yyyy/MM/dd HH:mm")));
    return note;
}

QString samToolTip(const QString &path, qint64 bytes)
{
    return path + QLatin1Char('(') + QString::number(bytes / 1024) + QStringLiteral("KB)");
}
