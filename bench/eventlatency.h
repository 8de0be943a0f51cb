#pragma once
// How long a window takes to answer input while it works, measured as a test tool does with
// a posted event: a thread of its own posts an event to the user-interface thread every few
// milliseconds, stamped with the time it was posted, and the delay until the event is served
// is noted. While that thread is held up every event posted meanwhile waits, as a key pressed
// then would, so the delays are those of input arriving at any moment. (An add of dropped
// files takes no user input on purpose; posted events are served there all the same.)

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

class EventLatency : public QObject
{
public:
    explicit EventLatency(std::chrono::milliseconds period = std::chrono::milliseconds(5))
    {
        m_poster = std::thread([this, period] {
            while (!m_stop.load()) {
                QCoreApplication::postEvent(this, new Stamped);
                std::this_thread::sleep_for(period);
            }
        });
    }
    ~EventLatency() override { stop(); }

    // Ends the posting; events still queued are dropped unmeasured.
    void stop()
    {
        if (!m_poster.joinable())
            return;
        m_stop.store(true);
        m_poster.join();
        QCoreApplication::removePostedEvents(this, Stamped::Type);
    }

    // The delay that `share` (0 to 1) of the events served were answered within, in ms.
    double percentileMs(double share) const
    {
        if (m_delaysMs.empty())
            return 0.0;
        std::vector<double> sorted = m_delaysMs;
        std::sort(sorted.begin(), sorted.end());
        // The nearest rank: the least delay that this share of the events did not exceed.
        const auto rank = size_t(std::ceil(share * double(sorted.size())));
        return sorted[std::clamp(rank, size_t(1), sorted.size()) - 1];
    }
    double longestMs() const { return m_delaysMs.empty() ? 0.0 : *std::max_element(m_delaysMs.begin(), m_delaysMs.end()); }
    size_t served() const { return m_delaysMs.size(); }

protected:
    void customEvent(QEvent *event) override
    {
        if (event->type() != Stamped::Type)
            return;
        const auto waited = std::chrono::steady_clock::now() - static_cast<Stamped *>(event)->posted;
        m_delaysMs.push_back(std::chrono::duration<double, std::milli>(waited).count());
    }

private:
    struct Stamped : QEvent
    {
        static constexpr QEvent::Type Type = QEvent::Type(QEvent::User + 417);
        Stamped()
            : QEvent(Type)
        {
        }
        std::chrono::steady_clock::time_point posted = std::chrono::steady_clock::now();
    };

    std::thread m_poster;
    std::atomic_bool m_stop{false};
    std::vector<double> m_delaysMs;
};
