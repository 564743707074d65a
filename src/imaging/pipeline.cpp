#include "imaging/pipeline.h"

#include <new>
#include <system_error>
#include <utility>

#include "base/fileio.h"
#include "imaging/colour.h"
#include "imaging/colourtags.h"
#include "imaging/jpegcodec.h"
#include "imaging/memorybudget.h"
#include "imaging/orientation.h"
#include "imaging/outputformat.h"
#include "imaging/resampler.h"
#include "imaging/runplan.h"
#include "imaging/sharpen.h"
#include "imaging/sizelimit.h"
#include "imaging/sourceformat.h"
#include "imaging/sourcepicture.h"
#include "metadata/jpeglayout.h"
#include "metadata/jpegmarkers.h"
#include "metadata/jpegsegments.h"
#include "metadata/segmentreader.h"
#include "settings/eabort.h"

namespace velmora {

namespace {

namespace fs = std::filesystem;

// "zapisano bez metadanych: ..." for a header the segment scan stopped short of.
std::string headerCutText(std::size_t at) {
  return "nagłówek pliku przekracza " + std::to_string(TImgData::kHeaderBudget >> 20) + " MiB; segmenty od bajtu " +
         std::to_string(at) + " nieodczytane";
}

// An EXIF thumbnail is small; a larger one is no thumbnail worth decoding.
constexpr std::uint64_t kMaxThumbnailPixels = std::uint64_t{1} << 22;

// With an empty prefix and the source folder as destination the output would be the source itself:
// the original would be lost.
void refuseOverwritingSource(const fs::path& source, const fs::path& output) {
  std::error_code ec;
  if (fs::exists(output, ec) && fs::equivalent(source, output, ec)) {
    throw ImagingError("Plik wynikowy zastąpiłby plik źródłowy: \"" + output.string() + "\"");
  }
}

// What a WebP or AVIF output carries, in the container's own places: the EXIF block without its
// thumbnail (both have their own previews), the XMP packet, the profile. A save with metadata that
// fails carries the profile alone, as a JPEG's plain save does.
ContainerMetadata containerMetadata(const TImgData& source, const TOutputOptions& output, OutputFormat format,
                                    std::vector<TOutputNote>& notes) {
  const TPieceLimits limits{.tiffFits = {}, .thumbnail = false};
  try {
    const TOutputMetadata pieces = MakeOutputMetadata(source, output, limits);
    notes.insert(notes.end(), pieces.notes.begin(), pieces.notes.end());
    if (!pieces.iptc.empty())
      notes.push_back({TOutputNote::Kind::kOutput,
                       "zapisano bez IPTC: format " + std::string(outputFormatTitle(format)) + " go nie przechowuje"});
    const ByteView xmp = pieces.XmpPacket();
    return {pieces.tiff, Bytes(xmp.span().begin(), xmp.span().end()), pieces.icc};
  } catch (const std::exception& e) {
    if (!output.metadata) return {};
    notes.push_back({TOutputNote::Kind::kMetadata, e.what()});
  }
  TOutputOptions plain;
  plain.iccProfile = output.iccProfile;
  plain.convertedToSrgb = output.convertedToSrgb;
  try {
    return {{}, {}, MakeOutputMetadata(source, plain, limits).icc};
  } catch (const std::exception&) {
  }
  return {};
}

// The file's bytes: encoded at the options' quality or, under a size limit, at the highest that fits.
Bytes encodeOutput(const QImage& picture, const OutputOptions& options, const TImgData& segments,
                   const TOutputOptions& output, FileOutcome& outcome) {
  // The search finishes more than one file; only the notes of the one written count.
  std::vector<TOutputNote> notes;
  EncodeAt encode;
  FinishFile finish;
  if (options.format == OutputFormat::kJpeg) {
    encode = JpegEncodeAt(picture, options.encoder);
    finish = [&](Bytes encoded) {
      notes.clear();
      return carryOverMetadata(std::move(encoded), segments, output, &notes);
    };
  } else {
    // The metadata goes inside the container at every quality: the sizes the search sees are exact.
    const ContainerMetadata metadata = containerMetadata(segments, output, options.format, notes);
    const auto encoder = options.format == OutputFormat::kWebp ? &encodeWebp : &encodeAvif;
    encode = [&picture, metadata, encoder](int quality) { return encoder(picture, quality, metadata); };
    finish = [](Bytes file) { return file; };
  }
  if (options.maxBytes == 0) {
    outcome.quality = options.encoder.quality;
    Bytes file = finish(encode(options.encoder.quality));
    outcome.notes.insert(outcome.notes.end(), notes.begin(), notes.end());
    return file;
  }
  const FittedFile fitted =
      EncodeWithinLimit(options.encoder.quality, options.maxBytes, kLimitFloorQuality, encode, finish);
  outcome.quality = fitted.quality;
  outcome.notes.insert(outcome.notes.end(), notes.begin(), notes.end());
  if (!fitted.fits) {
    const auto kb = [](std::uint64_t bytes) { return std::to_string((bytes + kBytesPerKB - 1) / kBytesPerKB); };
    outcome.notes.push_back({TOutputNote::Kind::kOutput, "nie zmieścił się w " + kb(options.maxBytes) +
                                                             " KB (zapisano " + kb(fitted.bytes.size()) + " KB)"});
  }
  return fitted.bytes;
}

// Galleries and photo managers sort by it; a file whose date cannot be set is still written.
void keepSourceDate(const fs::path& source, FileOutcome& outcome) {
  std::error_code ec;
  const fs::file_time_type time = fs::last_write_time(source, ec);
  if (!ec) fs::last_write_time(outcome.output, time, ec);
  if (ec)
    outcome.notes.push_back(
        {TOutputNote::Kind::kOutput, "nie ustawiono daty pliku źródłowego: " + systemErrorText(ec)});
}

}  // namespace

BatchFileError::BatchFileError(std::string fileName, std::string cause)
    : ImagingError(fileName + ": " + cause), fileName_(std::move(fileName)), cause_(std::move(cause)) {}

std::unique_ptr<TImgData> readSourceSegments(ByteView jpeg, bool keepMetadata) {
  const ReadParts parts = (keepMetadata ? kPartsAll : kPartNone) | kPartIcc | kPartOrientation;
  for (const ReadParts tried : {parts, kPartIcc | kPartOrientation}) {
    auto img = std::make_unique<TImgData>();
    try {
      img->ScanJpegSegments(jpeg, tried);
      return img;
    } catch (const EMetadata&) {
    } catch (const ByteRangeError&) {
    }
  }
  return std::make_unique<TImgData>();
}

Bytes carryOverMetadata(Bytes encoded, const TImgData& source, const TOutputOptions& options,
                        std::vector<TOutputNote>* notes) {
  // A failure here must not lose the picture: it goes out plain, and the notes say why.
  const auto lost = [notes](const std::exception& e) {
    if (notes) notes->push_back({TOutputNote::Kind::kMetadata, e.what()});
  };
  try {
    return WriteJpegOutput(source, encoded, options, notes);
  } catch (const std::exception& e) {
    if (!options.metadata) return encoded;  // the profile alone failed: the picture as encoded
    lost(e);
  }
  TOutputOptions plain;
  plain.iccProfile = options.iccProfile;
  plain.convertedToSrgb = options.convertedToSrgb;
  try {
    return WriteJpegOutput(source, encoded, plain);
  } catch (const std::exception&) {
  }
  return encoded;
}

std::optional<Bytes> turnThumbnail(ByteView jpeg, int orientation) {
  Bytes turned = encodeJpeg(TurnUpright(decodeJpeg(jpeg.span(), kMaxThumbnailPixels), orientation));
  // Our encoder's SOI is followed by its JFIF APP0, which a thumbnail goes without.
  JpegSegmentReader reader(turned);
  if (const auto first = reader.Next(); first && first->marker == kMarkerApp0 && first->start == 3)
    turned.erase(turned.begin() + 2, turned.begin() + static_cast<std::ptrdiff_t>(first->end()));
  return turned;
}

namespace {

// The source's metadata: a JPEG's own segments, or the blocks another format's decoder found, laid
// out as a JPEG header holds them. What the header scan or the layout had to leave out is noted.
std::unique_ptr<const TImgData> sourceMetadata(ByteView file, const SourceMetadata* decoded, bool keepMetadata,
                                               std::vector<TOutputNote>& notes) {
  std::vector<std::string> dropped;
  const Bytes header = decoded ? jpegHeaderOf(*decoded, dropped) : Bytes{};
  std::unique_ptr<const TImgData> segments = readSourceSegments(decoded ? ByteView(header) : file, keepMetadata);
  if (keepMetadata)
    for (std::string& cause : dropped) notes.push_back({TOutputNote::Kind::kMetadata, std::move(cause)});
  if (segments->report.headerCut)
    notes.push_back({TOutputNote::Kind::kMetadata, headerCutText(segments->report.headerCutAt)});
  return segments;
}

// The colour step on the scaled picture; the output then says it is sRGB, or the file is noted.
void convertColours(const ColourConversion& colour, QImage& picture, TOutputOptions& output,
                    std::vector<TOutputNote>& notes) {
  if (colour.Converts()) {
    colour.Apply(picture);
    output.convertedToSrgb = SrgbConversion();
  } else if (!colour.Failure().empty()) {
    notes.push_back({TOutputNote::Kind::kColour, colour.Failure()});
  }
}

// What the output takes of the source: its metadata at the picture's size, upright.
void carryOptions(TOutputOptions& output, const BatchOptions& options, const FileOutcome& outcome, int turnedFrom) {
  output.metadata = options.keepMetadata;
  output.width = outcome.width;
  output.height = outcome.height;
  output.turnedFrom = turnedFrom;
  output.turnThumbnail = turnThumbnail;
  output.stripGps = options.stripGps;
}

// A whole decoded picture scaled to target(its size); the full-size one is let go at once.
QImage scaledOnce(QImage full, const TargetSize& target) {
  const QSize size = target(full.size());
  // A 16-bit picture goes through the resampler even at its own size: it is reduced to 8 bits there.
  return size == full.size() && full.format() == QImage::Format_RGB32 ? full : scaleHalftone(full, size);
}

// Writes the output under outcome.output. Other than "zastąp", what the plan found free may have been
// taken since: such a file is never replaced, but skipped or numbered on (outcome says which).
void writeOutput(const Bytes& bytes, const BatchOptions& options, FileOutcome& outcome) {
  const FileSystemCalls& calls = options.fileCalls ? *options.fileCalls : systemFileCalls();
  if (options.output.existing == ExistingOutput::Replace) {
    writeFileAtomically(outcome.output, bytes, calls);
    return;
  }
  const std::string base = options.outputBase.empty() ? outcome.output.filename().string() : options.outputBase;
  // The planned name may lie below the destination ("sub/a.jpg"): numbers stay in its folder.
  const std::string folder = options.outputName.substr(0, options.outputName.rfind('/') + 1);
  int n = 1;
  while (!writeFileAtomically(outcome.output, bytes, calls, WriteMode::kKeepExisting)) {
    if (options.output.existing == ExistingOutput::Skip) {
      outcome.skipped = true;
      return;
    }
    std::string next;
    std::error_code ec;
    do {
      if (++n > kMaxNumberedName) throw ImagingError("brak wolnej nazwy dla \"" + base + "\"");
      next = numberedName(base, n);
    } while ((options.plannedNames && options.plannedNames->contains(folder + next)) ||
             fs::exists(fs::symlink_status(options.destFolder / (folder + next), ec)));
    outcome.output = options.destFolder / (folder + next);
  }
}

// The conversion the picture takes to sRGB ("kolory"), shared by the run's files where it has them.
std::shared_ptr<const ColourConversion> colourFor(const BatchOptions& options, const FileContents& file, bool decoded,
                                                  const TImgData& segments) {
  if (!options.convertColours) return nullptr;
  const StoredColour stored = decoded ? StoredColour::kRgb : jpegStoredColour(file.span());
  return options.colourConversions ? options.colourConversions->For(stored, segments.iccProfile)
                                   : std::make_shared<const ColourConversion>(stored, segments.iccProfile);
}

}  // namespace

FileOutcome processFile(const fs::path& source, const BatchOptions& options) {
  const std::string name = source.filename().string();
  try {
    if (options.destFolder.empty()) throw ImagingError("Nie wskazano folderu docelowego");
    // Refuse a bad limit before any work, not after the file was read.
    if (options.scale) applySizeRule(1, 1, options.sizeLimit, false);
    FileOutcome outcome;
    outcome.output = options.destFolder /
                     (options.outputName.empty() ? fileOutputName(source, 0, options, nullptr) : options.outputName);
    if (!options.allowReplaceSource) refuseOverwritingSource(source, outcome.output);
    // A name the file system cannot take fails now, not after the picture was made.
    checkFileNameFits(outcome.output);
    // The source is read once: the decoder and the metadata both take these bytes. Only a regular
    // file, and one that can fit the budget, is read at all.
    const FileContents file = readRegularFileContents(source, kMaxSourceBytes);
    const PictureFormat format = checkedFormat(name, file);
    // Held from the header on until the file is written: what its picture needs of the run's memory.
    std::optional<MemoryBudget::Lease> memory;
    QSize planned;
    const auto admit = [&](std::uint64_t decodeBytes) {
      // Besides the decode: the source's bytes, the picture turned upright and the encoder's output.
      const std::uint64_t picture = std::uint64_t(planned.width()) * std::uint64_t(planned.height()) * 4;
      const std::uint64_t need = file.size() + decodeBytes + picture + picture / 2;
      const std::uint64_t limit = options.memory ? options.memory->perFileLimit() : kDecodeMemoryLimit;
      if (need > limit) throw ImagingError(tooMuchMemoryMessage(need));
      if (options.memory) memory.emplace(options.memory->reserve(need));
    };
    // Other formats are decoded whole first: their metadata comes out of the decoder with the picture.
    std::optional<DecodedPicture> decoded;
    if (format != PictureFormat::kJpeg) decoded = decodePicture(file, format, {kMaxPixels, admit});
    const std::unique_ptr<const TImgData> segments =
        sourceMetadata(file, decoded ? &decoded->metadata : nullptr, options.keepMetadata, outcome.notes);
    // A container that turned its picture itself leaves the EXIF Orientation to the metadata alone.
    const bool upright = decoded && decoded->metadata.upright;
    const int orientation = options.rotate && !upright ? segments->Orientation() : kOrientationUpright;
    TOutputOptions output;
    const std::shared_ptr<const ColourConversion> colour = colourFor(options, file, decoded.has_value(), *segments);
    // The size rule applies to the upright picture. The halftone stretch treats both axes alike, so
    // scaling the stored picture and turning the small result gives the same pixels, at less cost.
    const auto target = [&](QSize stored) {
      planned = stored;
      if (!options.scale) return stored;
      const QSize full = UprightSize(stored, orientation);
      const ScalePlan plan = applySizeRule(full.width(), full.height(), options.sizeLimit, options.enlarge);
      outcome.action = plan.action;
      planned = UprightSize(QSize(plan.width, plan.height), orientation);
      return planned;
    };
    QImage picture =
        decoded ? scaledOnce(std::move(decoded->picture), target)
                : decodeJpegScaled(file.span(), target, kMaxPixels, admit, colour && colour->NeedsStoredInks());
    // Before the turn, which moves pixels only, and before the caption, whose colours are sRGB already.
    if (colour) convertColours(*colour, picture, output, outcome.notes);
    picture = TurnUpright(picture, orientation);
    // Only a reduction softens the picture; the caption's edges stay as drawn.
    if (outcome.action == ScaleAction::Reduce) SharpenForScreen(picture, options.output.sharpening);
    if (options.caption) options.caption(picture);
    outcome.width = picture.width();
    outcome.height = picture.height();
    carryOptions(output, options, outcome, upright ? segments->Orientation() : orientation);
    const Bytes bytes = encodeOutput(picture, options.output, *segments, output, outcome);
    writeOutput(bytes, options, outcome);
    if (outcome.skipped) return outcome;
    if (options.output.keepDate) keepSourceDate(source, outcome);
    outcome.bytes = bytes.size();
    return outcome;
  } catch (const BatchFileError&) {
    throw;
  } catch (const EAbort&) {
    throw;  // a hook ending the command silently stays silent
  } catch (const std::bad_alloc&) {
    throw BatchFileError(name, "Brak pamięci");
  } catch (const std::system_error& e) {
    throw BatchFileError(name, systemErrorText(e.code()));
  } catch (const std::exception& e) {
    throw BatchFileError(name, e.what());
  }
}

}  // namespace velmora
