#pragma once

// File and folder helpers of the main window: listing a folder by pattern, names without extension,
// the per-user folder lookup, and the testable halves of the two pickers (src/dialogs/filedialogs.h).
// None of them reports a missing path: they give nothing, false or a status.

#include <QCollator>
#include <QString>
#include <QStringList>

#include "settings/props.h"

namespace velmora {

// The order in which a folder's names are listed, as Windows listed them to the design: by name without
// regard to case, numbers compared as numbers (IMG_2 before IMG_10), Polish letters in their place (a, ą,
// b); names equal that way keep a fixed order by their characters. Whatever the user's locale.
class TFileNameOrder {
 public:
  TFileNameOrder();
  bool operator()(const QString& a, const QString& b) const;

 private:
  QCollator collator_;
};

// Sorts the names (or paths of one folder) in TFileNameOrder.
void SortFileNames(QStringList& names);

// Appends to list (not cleared) the full names (folder, "/", name) of the folder's regular files whose
// names match the pattern without regard to case, sorted by name in TFileNameOrder. Folders
// are never appended, and neither are special files (pipes, sockets, devices, dangling links). With
// recurse the folder itself, as passed, comes first; a subfolder is entered when its own name matches
// the pattern, and inside it everything is listed ("*.*" is every name, as it was on Windows). Links
// to folders are not followed, so a link cycle cannot recurse forever. A missing folder, an empty
// folder text or an empty pattern append nothing.
void ListFolderFiles(const QString& folder, QStringList& list, bool recurse, const QString& pattern);

// The file name part of the path (after the last "/") without its extension (from the name's last "."
// on): /a.b/photo gives photo, photo.tar.gz gives photo.tar, .profile gives "".
QString NameWithoutExt(const QString& path);

// True when the path names an existing folder (a link to one included).
bool FolderExists(const QString& path);

// Special-folder identifiers and statuses, with the shell's values.
inline constexpr int kCsidlAppData = 26;                                 // the per-user configuration folder
inline constexpr int kStatusOk = 0;                                      // S_OK
inline constexpr int kStatusUnexpected = static_cast<int>(0x8000FFFFu);  // E_UNEXPECTED
inline constexpr int kStatusInvalidArg = static_cast<int>(0x80070057u);  // E_INVALIDARG

// The folder with the given identifier, ending in "/", and kStatusOk. kCsidlAppData is the per-user
// configuration folder (~/.config). An unknown identifier gives kStatusInvalidArg, a location the
// system cannot tell gives kStatusUnexpected; path is then left as it was.
int SpecialFolderPath(int id, QString& path);

// The extension completion of the file picker: when the chosen name has no extension and the filter
// is not empty, or when the name ends in ".", its extension becomes the filter's first pattern without
// "*" (".bmp" from "bitmapa (*.bmp)|*.bmp"), provided that starts with "." and names an extension.
QString CompleteExtensionFromFilter(const QString& chosen, const QString& filter);

// The picker's filter ("description|patterns|..." with patterns separated by ";") in Qt's form
// ("description (patterns);;..."). The patterns are shown only if the description shows them.
QString FilterToNameFilters(const QString& filter);

// Where the file picker opens: an existing file opens its folder with its name filled in, an existing
// folder opens itself, anything else is filled in as the file name.
struct TFilePickerStart {
  QString Directory;  // empty: the picker's own default
  QString FileName;
};
TFilePickerStart FilePickerStart(const QString& startPath);

// After the folder picker: a non-empty choice that differs (exactly, case-sensitive) from
// lastChosenFolder becomes it and is stored under "ostWskazanyFolder". True when anything changed.
bool RememberChosenFolder(const QString& chosen, QString& lastChosenFolder, TProps& props);

inline constexpr char kLastChosenFolderKey[] = "ostWskazanyFolder";

}  // namespace velmora
