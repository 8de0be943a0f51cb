#pragma once
// The signature store control: the catalogue table behind the operations the windows
// call, and a 64 x 64 face that shows the picture most recently added. Its count is
// 32-bit: past 32,767 entries it saves and reads a series of catalogue files
// (CatalogueSet); GetCheckValue, 16-bit as ever, reaches the first 32,767.

#include "sigbox_export.h"
#include "catalogue/catalogueset.h"
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
    bool removeEntries(const std::vector<int> &indexes) { return m_set.removeEntries(indexes); }
    void Clear();
    QString FileName(int index) const;
    int DataCount() const { return m_set.count(); }
    int32_t GetCheckValue(int16_t id, int16_t i) const;
    // True when the save failed; an existing file is then left as it was. Writes the
    // parts whose entries changed, or all of them under a new name.
    bool Save(const QString &fname);
    // True when the load failed; the table is then empty. Any part of a series reads the
    // whole series.
    bool Load(const QString &fname);
    // Takes a set read elsewhere (CatalogueSet::load on a worker) as Load would have left it.
    void adoptLoaded(CatalogueSet &&loaded) { m_set.replaceWith(std::move(loaded)); }
    // Saves with every part but the last full again (after entries have gone).
    bool saveRepacked(const QString &fname);

    // Adds an entry whose signature was computed elsewhere (worker threads); the face
    // shows `face` when it is not null. False when the table is full.
    bool addComputed(const QString &fname, const Signature &cells, const QImage &face = {});

    const SignatureTable &table() const { return m_set.table(); }
    const CatalogueSet &catalogueSet() const { return m_set; }
    QImage face() const { return m_face; }
    static QImage defaultPicture();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    CatalogueSet m_set;
    QImage m_face;
    QSize m_createdSize;
};
