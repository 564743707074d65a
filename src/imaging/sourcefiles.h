#pragma once

// The source files of a run as both front ends see them: the folder's pictures, listed by their
// bytes (a name that is not UTF-8 stays as it is, from the listing to the written output), and the
// rule that an output never replaces a source.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/batchrules.h"

namespace velmora {

struct FolderPictures {
  // The "*.jpg" files, then the "*.jpeg" files (extensions matched without regard to case), each group
  // sorted by name as TFileNameOrder has it (IMG_2 before IMG_10); only regular files, links to them
  // included.
  std::vector<std::string> names;
  // The names of the patterns that are no regular file (a pipe, a device, a link to one, a dangling
  // link), in the same order: never opened, so a pipe cannot block the program.
  std::vector<std::string> skipped;
};

// Throws FileError, with its Polish cause, when the folder cannot be read.
FolderPictures listFolderPictures(const std::filesystem::path& folder);

// The names in TFileNameOrder, "*.jpg" and "*.jpeg" in one list (as the window lists them); names that
// decode alike keep their byte order.
void sortPictureNames(std::vector<std::string>& names);

// A file name for showing: valid UTF-8 as it is, every byte that is not, and every control character
// (a terminal escape among them), as \xNN.
std::string printableName(std::string_view name);

// An output never replaces a source, checked before a run by both front ends: for each name of the
// run (a file of sourceFolder), why its output may not be written, or "" when it may. An output that
// would land on a picture of the source folder ("*.jpg", "*.jpeg") or on a source of the run is
// refused, naming both files; one landing on its own source only unless allowOwnSource (the user
// agreed to replace the originals). An output planned twice is refused the second time. Files are
// compared as files (device and inode), so a folder reached by another path or a link is caught too.
std::vector<std::string> refusedOutputs(const std::filesystem::path& sourceFolder,
                                        const std::vector<std::string>& names, const std::filesystem::path& destFolder,
                                        NameMode mode, std::string_view affix, bool allowOwnSource);

}  // namespace velmora
