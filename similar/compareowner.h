#pragma once
// What the compare window needs of the window that opens it (the similar-pictures window):
// the groups of its comparison run, the main list's selection as it marks it, and its
// delete. Only full paths and group numbers travel.

#include "search/keeprules.h"

#include <QStringList>

#include <memory>

class PictureFactsCache;
class QWidget;

class CompareOwner
{
public:
    // The owner as a window: the compare window's parent and icon.
    virtual QWidget *compareOwnerWindow() = 0;

    // The groups shown, numbered from 0, and the pictures of one as the grid shows them
    // (members, then the base), those deleted since left out.
    virtual int compareGroupCount() const = 0;
    virtual QStringList compareGroup(int group) const = 0;
    // The same group as the search found it and the rules read it: its base ("" once
    // deleted) and its members in catalogue order.
    virtual PictureGroup comparePictureGroup(int group) const = 0;
    // The grid scrolls to the group's first row.
    virtual void showCompareGroup(int group) = 0;

    // Selected in the main list, as the grid marks it.
    virtual bool isPictureMarked(const QString &path) const = 0;
    // Makes exactly these pictures of the group the list's selected ones of the group; the
    // selection elsewhere stays.
    virtual void markInGroup(int group, const QStringList &paths) = 0;
    // The grid's 削除 on these pictures only: the same question, the trash on request.
    virtual void deleteMarked(const QStringList &paths) = 0;
    // Remembers the picture as not alike to the others of its group, which it then leaves.
    virtual void markNotAlikeInGroup(int group, const QString &path) = 0;
    // Folders whose pictures no rule selects.
    virtual QStringList compareProtectedFolders() const = 0;
    // The facts the owner's rules read, each file once: the compare window reads through it.
    virtual std::shared_ptr<PictureFactsCache> compareFactsCache() const = 0;
    // The owner can take a change of the selection or a delete now.
    virtual bool compareCanChange() const = 0;

protected:
    ~CompareOwner() = default;
};
