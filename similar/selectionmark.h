#pragma once
// The mark of a picture selected in the main list, the same wherever a picture is shown
// (the grid's cells, the compare window's panes): a frame inside the picture and a check
// mark in its top right corner, in the highlight colour.

class QPainter;
class QPalette;
class QRect;

void paintSelectionMark(QPainter &painter, const QRect &picture, const QPalette &palette);
