#include "windowtitle.h"

QString literalWindowTitle(QString text)
{
    // "[*][*]" is how a title asks for "[*]" itself.
    return text.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
}
