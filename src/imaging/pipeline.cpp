#include "imaging/pipeline.h"

#include <new>
#include <system_error>
#include <utility>

#include "imaging/jpegcodec.h"
#include "metadata/fileio.h"
#include "metadata/jpegsegments.h"
#include "settings/eabort.h"

namespace velmora {

namespace {

namespace fs = std::filesystem;

// The encoded picture with the source's metadata and the new size; the encoded picture alone when the
// source has none. Throws when that cannot be done.
Bytes mergeSourceMetadata(Bytes encoded, const fs::path& source, int width, int height) {
  TImgData img(255);
  return img.SaveWithMetadata(encoded, width, height, std::string(), true, source.string());
}

// With an empty prefix and the source folder as destination the output would be the source itself:
// the original would be lost.
void refuseOverwritingSource(const fs::path& source, const fs::path& output) {
  std::error_code ec;
  if (fs::exists(output, ec) && fs::equivalent(source, output, ec)) {
    throw ImagingError("Plik wynikowy zastąpiłby plik źródłowy: \"" + output.string() + "\"");
  }
}

}  // namespace

BatchFileError::BatchFileError(std::string fileName, std::string cause)
    : ImagingError(fileName + ": " + cause), fileName_(std::move(fileName)), cause_(std::move(cause)) {}

Bytes carryOverMetadata(Bytes encoded, const fs::path& source, int width, int height, bool keepMetadata) {
  if (!keepMetadata) return encoded;
  // A failure here must not lose the picture: it goes out plain, without a message.
  Bytes plain = encoded;
  try {
    return mergeSourceMetadata(std::move(encoded), source, width, height);
  } catch (const std::exception&) {
    return plain;
  }
}

FileOutcome processFile(const fs::path& source, const BatchOptions& options) {
  const std::string name = source.filename().string();
  try {
    if (options.destFolder.empty()) throw ImagingError("Nie wskazano folderu docelowego");
    // Refuse a bad limit before any work, not after the file was read.
    if (options.scale) applySizeRule(1, 1, options.sizeLimit, false);
    FileOutcome outcome;
    outcome.output = outputPath(options.destFolder, name, options.nameMode, options.affix);
    if (!options.allowReplaceSource) refuseOverwritingSource(source, outcome.output);
    // A name the file system cannot take fails now, not after the picture was made.
    checkFileNameFits(outcome.output);

    const Bytes jpeg = readFileBytes(source);
    QImage picture = decodeJpegScaled(jpeg, [&](QSize full) {
      if (!options.scale) return full;
      const ScalePlan plan = applySizeRule(full.width(), full.height(), options.sizeLimit, options.enlarge);
      outcome.action = plan.action;
      return QSize(plan.width, plan.height);
    });
    if (options.caption) options.caption(picture);
    outcome.width = picture.width();
    outcome.height = picture.height();

    Bytes bytes = carryOverMetadata(encodeJpeg(picture), source, outcome.width, outcome.height, options.keepMetadata);
    writeFileAtomically(outcome.output, bytes, options.fileCalls ? *options.fileCalls : systemFileCalls());
    return outcome;
  } catch (const BatchFileError&) {
    throw;
  } catch (const EAbort&) {
    throw;  // a hook ending the command silently stays silent
  } catch (const std::bad_alloc&) {
    throw BatchFileError(name, "Brak pamięci");
  } catch (const std::exception& e) {
    throw BatchFileError(name, e.what());
  }
}

}  // namespace velmora
