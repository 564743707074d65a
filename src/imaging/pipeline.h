#pragma once

// One file of a batch run, from the source path to the written output: read, decode, scale by the
// size rule, caption, encode, (metadata), write atomically. Holds no state between calls and shares
// nothing mutable, so files may be processed on several threads, each with its own call.

#include <QImage>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "imaging/batchrules.h"
#include "imaging/imagingerror.h"
#include "imaging/outputoptions.h"
#include "metadata/metadatawriter.h"

namespace velmora {

class FileSystemCalls;
class MemoryBudget;
class ColourConversions;

// The run's settings, read once per file by the caller (the window or the command line).
struct BatchOptions {
  bool scale = true;     // apply the size rule
  int sizeLimit = 1280;  // N of the size rule; below 1 is an error when scaling
  bool enlarge = false;  // also enlarge pictures with both sides below N
  NameMode nameMode = NameMode::Prefix;
  std::string affix = "_";  // the prefix or suffix; may be empty
  std::filesystem::path destFolder;
  bool keepMetadata = false;  // carry the source's metadata over (see carryOverMetadata)
  // "usuń dane GPS": with keepMetadata, the position goes neither in the EXIF block nor in the XMP.
  bool stripGps = false;
  // Turn or mirror the picture upright by its EXIF Orientation before the size rule and the caption.
  bool rotate = true;
  // Lets the output replace the source file itself (same folder, empty affix). Off, such a file is
  // refused; the window turns it on only after the user has agreed to lose the originals.
  bool allowReplaceSource = false;
  // "kolory" = "sRGB": a picture tagged with another profile, a CMYK one and a profiled grey one are
  // converted to sRGB and tagged so (colour.h). Off ("zrodlo"): the source's RGB profile is carried.
  bool convertColours = true;
  // The run's conversions, shared by its files (prepareRun makes them); null: each file makes its own.
  std::shared_ptr<ColourConversions> colourConversions;
  // The system calls the output is written with; null: the real ones (a test's seam for a full disk).
  const FileSystemCalls* fileCalls = nullptr;
  // The memory the run's files in flight share: a file waits there for what its picture needs, and
  // one needing more than its per-file limit fails. Null: each file alone, held to kDecodeMemoryLimit.
  MemoryBudget* memory = nullptr;
  // Quality, size limit, sharpening, encoder and date of the written file ("Opcje zapisu").
  OutputOptions output;
  // This file's output name below destFolder as the run's plan gave it ("sub/a.jpg"), and the file name
  // before numbering; empty: the naming rule on the source's name. Set per file by the run.
  std::string outputName;
  std::string outputBase;
  // Every name the run's plan gives its files: a number taken at write time avoids them. Null: none.
  std::shared_ptr<const std::set<std::string>> plannedNames;
  // Stamps the caption onto the scaled picture (Format_RGB32, the run's final size); empty: no caption.
  // Called on the thread that runs processFile.
  std::function<void(QImage&)> caption;
};

struct FileOutcome {
  std::filesystem::path output;
  int width = 0;  // of the written picture
  int height = 0;
  ScaleAction action = ScaleAction::Keep;
  int quality = 0;  // the written file's; below the options' when the size limit lowered it
  std::uintmax_t bytes = 0;  // the written file's size
  // What the written file goes without of the source's metadata, and why; empty when nothing was lost
  // (what the user asked to strip is no loss).
  std::vector<TOutputNote> notes;
  bool skipped = false;  // an existing output was kept ("pomiń")
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
// of that name only once the new one is complete, or, as output.existing says, keeping a file that is
// there at the moment of the write (outcome.skipped) or taking the next free "name (n).ext". Refuses to replace the source itself unless
// options.allowReplaceSource. Throws BatchFileError; an EAbort from the caption hook passes through as it is.
FileOutcome processFile(const std::filesystem::path& source, const BatchOptions& options);

class TImgData;

// What the output takes from the source file's bytes: its segments up to the scan, for the colour
// profile and the orientation and, with keepMetadata, the metadata. Metadata that cannot be read
// leaves only what the plain save needs. Never throws for damaged metadata.
std::unique_ptr<TImgData> readSourceSegments(ByteView jpeg, bool keepMetadata);

// The bytes to write for an encoded picture: the output the options ask for (WriteJpegOutput),
// or, when carrying the metadata fails for any reason, a plain save with only the colour profile;
// when even that fails, the encoded bytes unchanged. The picture is never lost to its metadata, and
// what it goes without is added to `notes` (the fallback with the failure's text as the cause).
Bytes carryOverMetadata(Bytes encoded, const TImgData& source, const TOutputOptions& options,
                        std::vector<TOutputNote>* notes = nullptr);

// The thumbnail turn the metadata writer asks for: decode, turn upright, encode (without APP0, which
// an EXIF thumbnail does not carry). Throws the codec's errors.
std::optional<Bytes> turnThumbnail(ByteView jpeg, int orientation);

}  // namespace velmora
