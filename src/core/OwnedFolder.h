#pragma once
// A private folder the program makes beside files it writes (mode 0700,
// hidden, of an unpredictable name), where files stay out of sight until
// they take their own names. A marker inside names the process that made it
// and the folder itself (device and inode), and that process holds the
// marker locked for as long as it uses the folder. So a folder a killed
// process left is told, wherever it is and with no note elsewhere, from one
// in use and from any folder the program did not make.

#include <QByteArray>
#include <QString>

#include <functional>

class OwnedFolder {
public:
    // What a removal takes: the files in the folder only (a folder beside
    // the user's files, where a subfolder is none of the program's), or the
    // folders below too (a private folder all of whose contents are the
    // program's children's).
    enum class Contents { FilesOnly, WithSubfolders };

    OwnedFolder() = default;
    // Removes the folder and the files in it.
    ~OwnedFolder();
    OwnedFolder(const OwnedFolder&) = delete;
    OwnedFolder& operator=(const OwnedFolder&) = delete;

    // Makes the folder from pattern (a path whose name ends in "XXXXXX") and
    // its marker. 0, or the system's error code.
    int create(const QString& pattern, Contents contents = Contents::FilesOnly);
    bool isValid() const { return !m_path.isEmpty(); }
    QString path() const;
    // Removes the files in the folder, then the folder; false while anything
    // else stays (tried again by the next call and on destruction).
    bool remove();
    // Lets the folder go as it is, unlocked: a clean-up takes it as one a
    // process left.
    void release();

private:
    int m_marker = -1;  // open and locked while the folder is in use
    Contents m_contents = Contents::FilesOnly;
    QByteArray m_path;
    quint64 m_device = 0;  // the folder's own identity, told from whatever its name names later
    quint64 m_inode = 0;
};

// Removes the folder at path, with the files in it, when it is the
// program's and its maker has ended; a folder in use, one whose marker does
// not prove it is this very folder of the program's, or (FilesOnly) one
// holding a subfolder stays. first, when given, runs once the folder is
// known to be such a one, before anything goes, and no process can take
// the folder meanwhile; false from it keeps the folder. Whether it went.
bool removeOwnedFolderIfEnded(const QString& path,
                              OwnedFolder::Contents contents = OwnedFolder::Contents::FilesOnly,
                              const std::function<bool()>& first = {});

// The same for each folder directly in folder whose name matches nameFilter
// (a wildcard); returns how many went.
int removeEndedOwnedFolders(const QString& folder, const QString& nameFilter,
                            OwnedFolder::Contents contents = OwnedFolder::Contents::FilesOnly);
