#pragma once
// The signature store control: the catalogue table behind the operations the windows
// call, and a 64 x 64 face that shows the picture most recently added.

#include "sigbox_export.h"
#include "entries/signaturetable.h"

#include <QImage>
#include <QWidget>

class SIGBOX_EXPORT Sigbox : public QWidget
{
    Q_OBJECT
public:
    explicit Sigbox(QWidget *parent = nullptr);
    ~Sigbox() override;

    bool Additem(const QString &fname);
    bool AddData(const QString &fname, const QByteArray &dimB);
    int DataUBound() const { return SignatureTable::DataUBound; }
    bool GetData(int index, QByteArray &dimB) const;
    bool Remove(int index);
    // Several entries at once, as Remove one by one in this order would (SignatureTable).
    bool removeEntries(const std::vector<int> &indexes) { return m_table.removeEntries(indexes); }
    void Clear();
    QString FileName(int index) const;
    int DataCount() const { return m_table.count(); }
    int32_t GetCheckValue(int16_t id, int16_t i) const;
    // True when the save failed; an existing file is then left as it was.
    bool Save(const QString &fname) const;
    // True when the load failed; the table is then empty.
    bool Load(const QString &fname);

    // Adds an entry whose signature was computed elsewhere (worker threads); the face
    // shows `face` when it is not null. False when the table is full.
    bool addComputed(const QString &fname, const Signature &cells, const QImage &face = {});

    const SignatureTable &table() const { return m_table; }
    QImage face() const { return m_face; }
    static QImage defaultPicture();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    SignatureTable m_table;
    QImage m_face;
    QSize m_createdSize;
};
