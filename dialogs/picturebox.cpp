#include "picturebox.h"

#include <QPaintEvent>
#include <QPainter>

PictureBox::PictureBox(QWidget *parent)
    : QWidget(parent)
{
    // Everything it shows is painted here; nothing behind it needs painting first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

void PictureBox::setPicture(QImage image)
{
    m_picture = std::move(image);
    m_text.clear();
    resize(m_picture.size());
    update();
}

void PictureBox::clear()
{
    m_picture = QImage();
    m_text.clear();
    update();
}

void PictureBox::printText(const QString &text, const QColor &colour, QPoint topLeft)
{
    m_picture = QImage();
    m_text = text;
    m_textColour = colour;
    m_textPosition = topLeft;
    update();
}

void PictureBox::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QRect exposed = event->rect();
    if (!m_picture.isNull()) {
        painter.drawImage(exposed.topLeft(), m_picture, exposed);
        return;
    }
    painter.fillRect(exposed, palette().window());
    if (!m_text.isEmpty()) {
        painter.setPen(m_textColour);
        painter.drawText(m_textPosition.x(), m_textPosition.y() + fontMetrics().ascent(), m_text);
    }
}
