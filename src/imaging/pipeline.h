#pragma once

// One file of a batch run, from the source path to the written output: read, decode, scale by the
// size rule, caption, encode, (metadata), write atomically. Holds no state between calls and shares
// nothing mutable, so files may be processed on several threads, each with its own call.

#include <QImage>
#include <filesystem>
#include <functional>
#include <string>

#include "imaging/batchrules.h"
#include "imaging/imagingerror.h"
#include "metadata/bytes.h"

namespace velmora {

class FileSystemCalls;

// The run's settings, read once per file by the caller (the window or the command line).
struct BatchOptions {
  bool scale = true;     // apply the size rule
  int sizeLimit = 1280;  // N of the size rule; below 1 is an error when scaling
  bool enlarge = false;  // also enlarge pictures with both sides below N
  NameMode nameMode = NameMode::Prefix;
  std::string affix = "_";  // the prefix or suffix; may be empty
  std::filesystem::path destFolder;
  bool keepMetadata = false;  // carry the source's metadata over (see carryOverMetadata)
  // Lets the output replace the source file itself (same folder, empty affix). Off, such a file is
  // refused; the window turns it on only after the user has agreed to lose the originals.
  bool allowReplaceSource = false;
  // The system calls the output is written with; null: the real ones (a test's seam for a full disk).
  const FileSystemCalls* fileCalls = nullptr;
  // Stamps the caption onto the scaled picture (Format_RGB32, the run's final size); empty: no caption.
  // Called on the thread that runs processFile.
  std::function<void(QImage&)> caption;
};

struct FileOutcome {
  std::filesystem::path output;
  int width = 0;  // of the written picture
  int height = 0;
  ScaleAction action = ScaleAction::Keep;
};

// Every failure of processFile: what() is "<file name>: <cause>", the cause being the underlying
// error's own text (libjpeg's message, the file system's, or one of ours).
class BatchFileError : public ImagingError {
 public:
  BatchFileError(std::string fileName, std::string cause);
  const std::string& fileName() const { return fileName_; }
  const std::string& cause() const { return cause_; }

 private:
  std::string fileName_;
  std::string cause_;
};

// Processes one picture; the output goes to options.destFolder under the naming rule, replacing a file
// of that name only once the new one is complete. Refuses to replace the source itself unless
// options.allowReplaceSource. Throws BatchFileError; an EAbort from the caption hook passes through as it is.
FileOutcome processFile(const std::filesystem::path& source, const BatchOptions& options);

// The bytes to write for an encoded picture of width x height made from source: with keepMetadata,
// the encoded picture with the source's metadata carried over; without it, or when carrying over
// fails for any reason, the encoded bytes unchanged.
Bytes carryOverMetadata(Bytes encoded, const std::filesystem::path& source, int width, int height, bool keepMetadata);

}  // namespace velmora
