#pragma once
// The hourglass for the length of an operation; released early before a message or a
// dialog, so the user is never shown a busy pointer over a question.

#include <QGuiApplication>

class WaitCursor
{
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { release(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;

    void release()
    {
        if (m_on) {
            QGuiApplication::restoreOverrideCursor();
            m_on = false;
        }
    }

private:
    bool m_on = true;
};
