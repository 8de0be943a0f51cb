#include "catalogue/sigbox.h"

#include "catalogue/catalogue.h"
#include "pictures/picturesignature.h"

#include <QPainter>
#include <QResizeEvent>

namespace {
const QColor FaceColour(224, 224, 224);
constexpr int Side = 64;
} // namespace

Sigbox::Sigbox(QWidget *parent)
    : QWidget(parent)
    , m_face(defaultPicture())
{
    setObjectName(QStringLiteral("sbxJpeg"));
    setFixedSize(Side, Side);
    m_createdSize = size();
    PixcoreInitialize(64, 64, 8, 8);
}

Sigbox::~Sigbox()
{
    PixcoreTerminate();
}

QImage Sigbox::defaultPicture()
{
    // A small picture frame: a sky, a sun and a hill, drawn once.
    static const QImage picture = [] {
        QImage image(Side, Side, QImage::Format_RGB32);
        image.fill(FaceColour);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(96, 96, 96), 2));
        p.setBrush(QColor(176, 208, 240));
        p.drawRect(QRectF(6, 10, 52, 44));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(250, 200, 60));
        p.drawEllipse(QPointF(44, 22), 6, 6);
        p.setBrush(QColor(90, 160, 90));
        p.drawPolygon(QPolygonF({QPointF(7, 53), QPointF(24, 30), QPointF(38, 44), QPointF(46, 38), QPointF(57, 53)}));
        return image;
    }();
    return picture;
}

bool Sigbox::Additem(const QString &fname)
{
    const std::optional<PictureSignature> picture = computePictureSignature(fname);
    if (!picture)
        return false;
    return addComputed(fname, picture->cells, picture->face);
}

bool Sigbox::addComputed(const QString &fname, const Signature &cells, const QImage &face)
{
    if (!m_set.append(fname, cells))
        return false;
    if (!face.isNull()) {
        m_face = face;
        update();
    }
    return true;
}

bool Sigbox::AddData(const QString &fname, const QByteArray &dimB)
{
    return m_set.appendBytes(fname, dimB);
}

bool Sigbox::GetData(int index, QByteArray &dimB) const
{
    return m_set.table().bytes(index, dimB);
}

bool Sigbox::Remove(int index)
{
    return m_set.remove(index);
}

void Sigbox::Clear()
{
    m_set.clear();
    m_face = defaultPicture();
    update();
}

QString Sigbox::FileName(int index) const
{
    return m_set.table().name(index);
}

int32_t Sigbox::GetCheckValue(int16_t id, int16_t i) const
{
    return m_set.table().checkValue(id, i);
}

bool Sigbox::Save(const QString &fname)
{
    return m_set.save(fname).failed();
}

bool Sigbox::saveRepacked(const QString &fname)
{
    return m_set.saveRepacked(fname).failed();
}

bool Sigbox::Load(const QString &fname)
{
    return m_set.load(fname).failed();
}

void Sigbox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), FaceColour);
    painter.drawImage(QPoint(0, 0), m_face);
}

void Sigbox::resizeEvent(QResizeEvent *event)
{
    // The control keeps the size it was created with, whatever size or limits the host
    // gave it.
    if (event->size() != m_createdSize)
        setFixedSize(m_createdSize);
}
