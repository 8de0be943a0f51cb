#pragma once
// What the similar-pictures window needs of the window that opens it (the main window):
// the grid settings, the catalogue, the similarity level, and the two calls back into it.
// Only full paths travel between the windows.

#include <similargrouping.h>
#include <signaturetable.h>

#include <QtGlobal>

class QString;
class QWidget;

class SamOwner
{
public:
    // The owner as a window: the similar-pictures window's parent, icon and viewer owner.
    virtual QWidget *samOwnerWindow() = 0;

    // Thumbnail settings in twips (columns, cell width, cell picture height).
    virtual qint16 SamCols() const = 0;
    virtual qint32 SamWidth() const = 0;
    virtual qint32 SamHeight() const = 0;
    // Whether the thumbnails the window decodes are also written as shared thumbnails.
    virtual bool ShareThumbnails() const = 0;

    // The catalogue the runs read (the store's table), and the similarity level 0..50.
    virtual const SignatureTable &samCatalogue() const = 0;
    virtual int likeLevel() const = 0;
    // What the comparison run finds beyond the plain rule: turned and mirrored copies,
    // copies that differ in colour.
    virtual SimilarRule similarRule() const = 0;

    // Selects the picture in the owner's list (added to the selection when o_Multi).
    virtual void SyncJpegList(const QString &o_FileName, bool o_Multi) = 0;
    // Deletes the pictures selected in the owner's list.
    virtual void DeleteJepg() = 0;

protected:
    ~SamOwner() = default;
};
