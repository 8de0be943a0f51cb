#pragma once
// The usable desktop area in twips, and the twips/pixel conversion the windows use
// (1440 twips to an inch; 15 twips to a pixel at 96 dots per inch).

class QWidget;

class WorkArea
{
public:
    // Left, top, width and height of the primary screen's available area, in twips.
    static int Left();
    static int Top();
    static int Width();
    static int Height();

    // Conversions at the logical dots per inch of w's screen (the primary screen when w is
    // null or not on a screen yet), rounded to the nearest whole number.
    static int twipsToPixelsX(int twips, const QWidget *w = nullptr);
    static int twipsToPixelsY(int twips, const QWidget *w = nullptr);
    static int pixelsToTwipsX(int pixels, const QWidget *w = nullptr);
    static int pixelsToTwipsY(int pixels, const QWidget *w = nullptr);

    // Pure forms for a given dots-per-inch value.
    static int twipsToPixels(int twips, double dpi);
    static int pixelsToTwips(int pixels, double dpi);
};
