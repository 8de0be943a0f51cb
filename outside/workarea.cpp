#include "workarea.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {
constexpr double TwipsPerInch = 1440.0;
constexpr double FallbackDpi = 96.0;

QScreen *screenOf(const QWidget *w)
{
    if (w && w->screen())
        return w->screen();
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance())
        ? QGuiApplication::primaryScreen() : nullptr;
}

double dpiX(const QWidget *w)
{
    const QScreen *s = screenOf(w);
    return s && s->logicalDotsPerInchX() > 0 ? s->logicalDotsPerInchX() : FallbackDpi;
}

double dpiY(const QWidget *w)
{
    const QScreen *s = screenOf(w);
    return s && s->logicalDotsPerInchY() > 0 ? s->logicalDotsPerInchY() : FallbackDpi;
}

QRect available()
{
    const QScreen *s = screenOf(nullptr);
    return s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
}
} // namespace

int WorkArea::Left() { return pixelsToTwipsX(available().left()); }
int WorkArea::Top() { return pixelsToTwipsY(available().top()); }
int WorkArea::Width() { return pixelsToTwipsX(available().width()); }
int WorkArea::Height() { return pixelsToTwipsY(available().height()); }

int WorkArea::twipsToPixelsX(int twips, const QWidget *w) { return twipsToPixels(twips, dpiX(w)); }
int WorkArea::twipsToPixelsY(int twips, const QWidget *w) { return twipsToPixels(twips, dpiY(w)); }
int WorkArea::pixelsToTwipsX(int pixels, const QWidget *w) { return pixelsToTwips(pixels, dpiX(w)); }
int WorkArea::pixelsToTwipsY(int pixels, const QWidget *w) { return pixelsToTwips(pixels, dpiY(w)); }

int WorkArea::twipsToPixels(int twips, double dpi)
{
    return qRound(twips * (dpi > 0 ? dpi : FallbackDpi) / TwipsPerInch);
}

int WorkArea::pixelsToTwips(int pixels, double dpi)
{
    return qRound(pixels * TwipsPerInch / (dpi > 0 ? dpi : FallbackDpi));
}
