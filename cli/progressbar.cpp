#include "progressbar.h"

#include <QString>

namespace {
constexpr int BarWidth = 30;
constexpr qint64 RedrawMs = 100; // often enough to look alive, rarely enough to cost nothing
} // namespace

ProgressBar::ProgressBar(QTextStream &stream, qint64 total, bool enabled)
    : m_stream(stream)
    , m_total(total)
    , m_enabled(enabled && total > 0)
{
    m_clock.start();
}

void ProgressBar::setDone(qint64 done)
{
    m_done = done;
    if (!m_enabled)
        return;
    const qint64 now = m_clock.elapsed();
    if (m_lastDraw >= 0 && now - m_lastDraw < RedrawMs && done < m_total)
        return;
    m_lastDraw = now;
    draw();
}

void ProgressBar::clear()
{
    if (!m_enabled || !m_shown)
        return;
    m_stream << "\r\033[K";
    m_stream.flush();
    m_shown = false;
    m_lastDraw = -1;
}

void ProgressBar::finish()
{
    if (!m_enabled)
        return;
    draw();
    m_stream << '\n';
    m_stream.flush();
    m_shown = false;
}

void ProgressBar::draw()
{
    const int filled = static_cast<int>(BarWidth * m_done / m_total);
    const double seconds = m_clock.elapsed() / 1000.0;
    const double rate = seconds > 0 ? m_done / seconds : 0.0;
    m_stream << "\r[" << QString(filled, QLatin1Char('#')) << QString(BarWidth - filled, QLatin1Char(' '))
             << "] " << m_done << '/' << m_total << "  " << QString::number(rate, 'f', 1)
             << " pictures/s\033[K";
    m_stream.flush();
    m_shown = true;
}
