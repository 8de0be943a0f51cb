// lumo-cli: Lumo's catalogue and similarity search without a window.

#include "commandline.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QTextStream>

#include <cstdio>
#include <new>
#include <unistd.h>

int main(int argc, char *argv[])
{
    // Decoding JPEG files needs only the image plugins, not a display.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumo-cli"));
    // Qt's own notes ("Invalid JPEG file structure") name no file and interleave between
    // threads; every failure is reported by the commands, one line naming the file.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false\n*.warning=false"));

    QTextStream out(stdout);
    QTextStream err(stderr);
    QFile in;
    in.open(stdin, QIODevice::ReadOnly);
    CommandContext context{out, err, isatty(STDERR_FILENO) != 0, &in};
    int status = 1;
    try {
        status = runCommandLine(QCoreApplication::arguments().mid(1), context);
    } catch (const std::bad_alloc &) {
        // A clear line rather than an abort; catalogues are only ever replaced whole.
        out.flush();
        err << "lumo-cli: out of memory" << Qt::endl;
    }
    out.flush();
    err.flush();
    return status;
}
