#pragma once
// Parts of a path. The separator is '/'. Pure string work; the file system is not asked.
//
//   "/pics/a.b/photo.JPG"  FolderPart "/pics/a.b"  FileNamePart "photo.JPG"  ExtensionPart "JPG"
//   "/pics/README"         FolderPart "/pics"      FileNamePart "README"     ExtensionPart ""
//   "/pics/sub/"           FolderPart "/pics/sub"  FileNamePart ""           ExtensionPart ""
//   "/photo.jpg"           FolderPart "/"          FileNamePart "photo.jpg"  ExtensionPart "jpg"
//   "photo.jpg"            FolderPart ""           FileNamePart "photo.jpg"  ExtensionPart "jpg"

#include <QString>

class PathSplitter
{
public:
    // The folder part, without a trailing separator ("/" stays "/").
    static QString FolderPart(const QString &path);
    // The file name with extension: everything after the last separator.
    static QString FileNamePart(const QString &path);
    // After the last '.' of the file-name part, without the dot; "" when there is none.
    static QString ExtensionPart(const QString &path);
};
