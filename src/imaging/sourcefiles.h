#pragma once

// The source files of a run as both front ends see them: the folder's pictures, listed by their
// bytes (a name that is not UTF-8 stays as it is, from the listing to the written output), in the
// window's order. With its subfolders ("z podfolderami"), a name is the picture's path below the
// folder, parts joined with "/" ("ceremonia/IMG_0001.jpg").

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// A picture's name: the extension of a format the run reads (sourceformat.h), without regard to case.
bool isPictureName(std::string_view name);

struct FolderPictures {
  // The pictures of every format in one list, sorted by name as TFileNameOrder has it (IMG_2.jpeg
  // between IMG_1.jpg and IMG_3.jpg, IMG_2 before IMG_10); names that decode alike keep their byte
  // order. Only regular files, links to them included.
  std::vector<std::string> names;
  // The names of the patterns that are no regular file (a pipe, a device, a link to one, a dangling
  // link), in the same order: never opened, so a pipe cannot block the program.
  std::vector<std::string> skipped;
  // The subfolders that could not be read (wholly or in part), with the cause; what was read is listed.
  struct Unreadable {
    std::string folder;  // below the listed folder, "/"-joined
    std::string reason;
  };
  std::vector<Unreadable> unreadable;
};

// Throws FileError, with its Polish cause, when the folder cannot be read. With subfolders the
// listing goes folder by folder, depth first, as a file manager's tree opens: a folder's own pictures
// (in the order above) before its subfolders, the subfolders in the same order as names. A link to a
// folder is never followed, no folder is read twice (compared by device and inode), and the
// destination, compared the same way, is never read when it lies inside the tree.
FolderPictures listFolderPictures(const std::filesystem::path& folder, bool subfolders = false,
                                  const std::filesystem::path& destination = {});

// A file name for showing: valid UTF-8 as it is, every byte that is not, and every control character
// (a terminal escape among them), as \xNN.
std::string printableName(std::string_view name);

}  // namespace velmora
