#pragma once
// A one-line progress bar with a rate, redrawn in place on a terminal's stderr.

#include <QElapsedTimer>
#include <QTextStream>

class ProgressBar
{
public:
    // Draws nothing at all when `enabled` is false (output redirected).
    ProgressBar(QTextStream &stream, qint64 total, bool enabled);

    void setDone(qint64 done);
    // Wipes the bar so a message can take the line; the next update redraws it.
    void clear();
    // Draws the final state and ends the line.
    void finish();

private:
    void draw();

    QTextStream &m_stream;
    qint64 m_total;
    qint64 m_done = 0;
    bool m_enabled;
    bool m_shown = false;
    QElapsedTimer m_clock;
    qint64 m_lastDraw = -1;
};
