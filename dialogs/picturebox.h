#pragma once
// A picture box: holds one picture at its own size and sizes itself to it, or, emptied,
// shows one line of text at a given place in a given colour. It paints only the part of
// the picture that is exposed, so a picture larger than the screen costs no more to
// repaint than the screen does.

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>

class PictureBox : public QWidget
{
    Q_OBJECT
public:
    explicit PictureBox(QWidget *parent = nullptr);

    // Holds image and takes its size.
    void setPicture(QImage image);
    // Drops the picture and the text; the size stays.
    void clear();
    // Prints text in colour with its top-left corner at topLeft, as on a cleared box.
    void printText(const QString &text, const QColor &colour, QPoint topLeft);

    QImage picture() const { return m_picture; }
    QString text() const { return m_text; }
    QColor textColour() const { return m_textColour; }
    QPoint textPosition() const { return m_textPosition; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_picture;
    QString m_text;
    QColor m_textColour;
    QPoint m_textPosition;
};
