#include "catalogueio.h"
#include "commands.h"

#include <QStringList>

namespace {

std::optional<Signature> readSignature(const QString &file, CommandContext &context)
{
    std::optional<Signature> cells = signatureOfFile(file);
    if (!cells)
        reportProblem(context, file, pictureProblem(file));
    return cells;
}

} // namespace

int checkCommand(const QString &first, const QString &second, CommandContext &context)
{
    const std::optional<Signature> a = readSignature(first, context);
    if (!a)
        return ExitFailure;
    const std::optional<Signature> b = readSignature(second, context);
    if (!b)
        return ExitFailure;
    context.out << pixcore::checkValue(a->data(), b->data()) << Qt::endl;
    return ExitOk;
}

int signatureCommand(const QString &file, CommandContext &context)
{
    const std::optional<Signature> cells = readSignature(file, context);
    if (!cells)
        return ExitFailure;
    for (int y = 0; y < pixcore::GridSize; ++y) {
        QStringList row;
        for (int x = 0; x < pixcore::GridSize; ++x) {
            const int16_t *cell = cells->data() + 3 * (pixcore::GridSize * y + x);
            row << QStringLiteral("%1,%2,%3").arg(cell[0]).arg(cell[1]).arg(cell[2]);
        }
        context.out << row.join(QLatin1Char(' ')) << '\n';
    }
    context.out.flush();
    return ExitOk;
}
