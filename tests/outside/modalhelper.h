#pragma once
// Acts on the application's modal dialog as soon as it shows, from a timer, with a bounded
// number of looks; a guard rejects every dialog still open after a few seconds, so a broken
// test fails instead of waiting for a person.

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <functional>

template <typename Dialog>
void whenModal(std::function<void(Dialog *)> act, int looksLeft = 500)
{
    QTimer::singleShot(10, qApp, [act, looksLeft]() {
        if (auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget())) {
            if (dialog->isVisible()) {
                act(dialog);
                return;
            }
        }
        if (looksLeft > 0)
            whenModal<Dialog>(act, looksLeft - 1);
    });
}

class ModalGuard
{
public:
    explicit ModalGuard(int ms = 8000)
    {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, qApp, [this]() {
            const QWidgetList widgets = QApplication::topLevelWidgets();
            for (QWidget *w : widgets) {
                if (auto *dialog = qobject_cast<QDialog *>(w); dialog && dialog->isVisible()) {
                    m_fired = true;
                    dialog->reject();
                }
            }
        });
        m_timer.start(ms);
    }
    bool fired() const { return m_fired; }

private:
    QTimer m_timer;
    bool m_fired = false;
};
