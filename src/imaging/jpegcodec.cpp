#include "imaging/jpegcodec.h"

// clang-format off
#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "imaging/jpegmessages.h"
#include "imaging/resampler.h"

// libjpeg reports errors through a callback that must not return. It jumps back (longjmp) into the
// codec method that made the call; every such method holds only trivially destructible locals and
// calls libjpeg directly, so the jump crosses no C++ frame that needs cleaning up. The exception is
// thrown only after the jump has landed. The libjpeg objects are freed by destructors.

namespace velmora {

namespace {

// A progressive file may hold any number of scans, each one a full pass over the coefficients; real
// cameras and editors write about ten. Far more means a file built to stall the decoder.
constexpr int kMaxScans = 1000;
// Format_RGB32 holds 0xFFRRGGBB in native order: bytes B, G, R, X on little-endian machines.
constexpr bool kHostLittleEndian = std::endian::native == std::endian::little;
constexpr J_COLOR_SPACE kRgb32Space = kHostLittleEndian ? JCS_EXT_BGRX : JCS_EXT_XRGB;
constexpr int kRed = kHostLittleEndian ? 2 : 1, kGreen = kHostLittleEndian ? 1 : 2, kBlue = kHostLittleEndian ? 0 : 3,
              kPad = kHostLittleEndian ? 3 : 0;
// Rows handed over per libjpeg call.
constexpr int kRowBatch = 4;
// The streamed decode's ring of rows: those the resampler may still read, and room for the two a
// libjpeg call usually gives.
constexpr int kRingRows = kHeldRows + 1;
// libjpeg's tables and small pools, and the resampler's per-axis spans and accumulator rows: a
// generous round figure.
constexpr std::uint64_t kDecoderOverhead = std::uint64_t{8} << 20;

struct ErrorManager {
  jpeg_error_mgr pub;  // first, so libjpeg's pointer to it is a pointer to the whole
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  // The header up to the first scan has been read: every marker looked for from now on follows
  // entropy-coded data.
  bool inScans = false;
};

[[noreturn]] void jumpWithMessage(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  char original[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, original);
  polishJpegMessage(cinfo->err->msg_code, cinfo->err->msg_parm.i, original, err->message, sizeof err->message);
  std::longjmp(err->jump, 1);
}

void onError(j_common_ptr cinfo) { jumpWithMessage(cinfo); }

// libjpeg's warnings, in this one place. Those that mean picture data was lost or made up fail the
// file with libjpeg's text, so a broken picture is never published padded with grey or garbled; those
// about bytes outside the picture data change no pixel and let the file through. A warning missing
// here (a newer libjpeg's) fails the file: nothing says it is harmless.
enum class Verdict {
  kPasses,
  kFails,
  // Harmless in the header before the first scan, fatal once the scans have begun.
  kFailsInScans,
};
struct WarningRule {
  int code;
  Verdict verdict;
  const char* why;
};
constexpr WarningRule kWarnings[] = {
    {JWRN_JPEG_EOF, Verdict::kFails, "the data ends inside the scan: the rest of the picture is made up"},
    {JWRN_HIT_MARKER, Verdict::kFails, "a marker inside the entropy-coded data: the blocks after it are made up"},
    {JWRN_HUFF_BAD_CODE, Verdict::kFails, "an invalid Huffman code: the block's coefficients are lost"},
    {JWRN_ARITH_BAD_CODE, Verdict::kFails, "an invalid arithmetic code: the block's coefficients are lost"},
    {JWRN_MUST_RESYNC, Verdict::kFails, "a restart marker missing or out of turn: blocks are skipped or made up"},
    {JWRN_BOGUS_PROGRESSION, Verdict::kFails, "a refinement scan without the scan it refines: coefficients made up"},
    // After entropy-coded data (before EOI, a restart marker or the next scan's segments) the data did
    // not end where it should: its blocks were decoded from the wrong bits. Before the first scan the
    // bytes lie between two segments (a segment length too short, as one editor writes it) and are
    // skipped.
    {JWRN_EXTRANEOUS_DATA, Verdict::kFailsInScans, "bytes before a marker: garbled blocks in a scan, else none"},
    {JWRN_NOT_SEQUENTIAL, Verdict::kPasses, "a baseline scan header's progression fields not zero: they mean nothing"},
    {JWRN_JFIF_MAJOR, Verdict::kPasses, "an unknown JFIF version: only the APP0 header is in question"},
    {JWRN_ADOBE_XFORM, Verdict::kPasses, "an unknown Adobe transform code: libjpeg takes the usual YCbCr (YCCK)"},
    {JWRN_BOGUS_ICC, Verdict::kPasses, "a bad ICC marker, met only when libjpeg reads the profile, which we do not"},
    {JWRN_TOO_MUCH_DATA, Verdict::kPasses, "rows asked for past the end: nothing is read or changed"},
};

bool isEntropyEnd(int marker) { return marker == 0xD9 || (marker >= 0xD0 && marker <= 0xD7); }

bool failsTheFile(const jpeg_error_mgr& err, bool inScans) {
  for (const WarningRule& rule : kWarnings) {
    if (rule.code != err.msg_code) continue;
    if (rule.verdict != Verdict::kFailsInScans) return rule.verdict == Verdict::kFails;
    // The marker the stray bytes stood before is the warning's second parameter.
    return inScans || isEntropyEnd(err.msg_parm.i[1]);
  }
  return true;
}

void onMessage(j_common_ptr cinfo, int level) {
  // Level 0 and up are trace messages.
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  if (level < 0 && failsTheFile(err->pub, err->inScans)) jumpWithMessage(cinfo);
}

void onProgress(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::snprintf(err->message, sizeof err->message, "Plik JPEG ma więcej niż %d skanów", kMaxScans);
    std::longjmp(err->jump, 1);
  }
}

// The file's bytes in memory, handed to libjpeg in the 4096-byte buffers its own file source reads, on
// the same boundaries. libjpeg-turbo decodes with a fast Huffman path while its buffer holds enough
// bytes and a careful one near the buffer's end, and the two meet a corrupt stream differently: the
// careful path reports a bad code, while the fast path decodes it into garbled blocks without a word and
// only leaves entropy-coded data that does not end where it should. Fed as djpeg reads a file, the
// decoder takes the same paths, so it sees every warning djpeg gives.
constexpr std::size_t kSourceChunk = 4096;

struct Source {
  jpeg_source_mgr pub;  // first, as with the error manager
  const JOCTET* data;
  std::size_t size;
  std::size_t next;  // the first byte not handed out yet
};

void initSource(j_decompress_ptr) {}

boolean fillSource(j_decompress_ptr cinfo) {
  static const JOCTET kEoi[] = {0xFF, JPEG_EOI};
  auto* src = reinterpret_cast<Source*>(cinfo->src);
  if (src->size == 0) ERREXIT(cinfo, JERR_INPUT_EMPTY);
  if (src->next >= src->size) {
    // As libjpeg's own sources do at the end of the data: a warning, then a made-up end marker.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->pub.next_input_byte = kEoi;
    src->pub.bytes_in_buffer = sizeof kEoi;
    return TRUE;
  }
  const std::size_t count = std::min(kSourceChunk, src->size - src->next);
  src->pub.next_input_byte = src->data + src->next;
  src->pub.bytes_in_buffer = count;
  src->next += count;
  return TRUE;
}

void skipSource(j_decompress_ptr cinfo, long count) {
  // Buffer by buffer, as the file source skips, so the boundaries stay where its reads put them.
  auto* src = reinterpret_cast<Source*>(cinfo->src);
  if (count <= 0) return;
  auto skip = static_cast<std::size_t>(count);
  while (skip > src->pub.bytes_in_buffer) {
    skip -= src->pub.bytes_in_buffer;
    fillSource(cinfo);
  }
  src->pub.next_input_byte += skip;
  src->pub.bytes_in_buffer -= skip;
}

void termSource(j_decompress_ptr) {}

void installErrorManager(ErrorManager& err) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = onError;
  err.pub.emit_message = onMessage;
  err.message[0] = '\0';
}

[[noreturn]] void throwOutOfMemory(int width, int height) { throw JpegError(noMemoryForImageText(width, height)); }

void checkPixelCount(std::uint64_t width, std::uint64_t height, std::uint64_t maxPixels) {
  if (width * height > maxPixels) {
    throw JpegError(
        "Obraz jest za duży: " + pixelSizeText(static_cast<std::int64_t>(width), static_cast<std::int64_t>(height)) +
        " (najwyżej " + std::to_string(maxPixels) + " pikseli)");
  }
}

// Stored CMYK values to RGB in place, four bytes a pixel. Adobe's writers store the inks inverted
// (0 = full ink), so R = C * K / 255; without the Adobe marker the values are plain inks.
void cmykToRgb32(std::uint8_t* row, int width, bool inverted) {
  for (int x = 0; x < width; ++x) {
    std::uint8_t* p = row + 4 * static_cast<std::size_t>(x);
    unsigned c = p[0], m = p[1], y = p[2], k = p[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    // Exact rounding of v / 255 for v up to 255 * 255.
    auto div255 = [](unsigned v) { return static_cast<std::uint8_t>((v + 128 + ((v + 128) >> 8)) >> 8); };
    p[kBlue] = div255(y * k);
    p[kGreen] = div255(m * k);
    p[kRed] = div255(c * k);
    p[kPad] = 0xFF;
  }
}

class Decompressor {
 public:
  explicit Decompressor(std::span<const std::uint8_t> jpeg, bool storedInks = false) : storedInks_(storedInks) {
    installErrorManager(err_);
    cinfo_.err = &err_.pub;
    progress_.progress_monitor = onProgress;
    create(jpeg);
  }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;
  ~Decompressor() {
    if (created_) jpeg_destroy_decompress(&cinfo_);
  }

  // Reads the header and checks the size against the cap; returns the picture's size.
  QSize readHeader(std::uint64_t maxPixels) {
    readHeaderGuarded();
    checkPixelCount(cinfo_.image_width, cinfo_.image_height, maxPixels);
    return QSize(static_cast<int>(cinfo_.image_width), static_cast<int>(cinfo_.image_height));
  }

  void start() {
    cinfo_.dct_method = JDCT_ISLOW;
    cinfo_.do_fancy_upsampling = TRUE;
    cinfo_.do_block_smoothing = TRUE;
    cmyk_ = cinfo_.jpeg_color_space == JCS_CMYK || cinfo_.jpeg_color_space == JCS_YCCK;
    cinfo_.out_color_space = cmyk_ ? JCS_CMYK : kRgb32Space;
    startGuarded();
    if (cinfo_.output_components != 4) {
      throw JpegError("Nieobsługiwany układ kolorów JPEG (" + std::to_string(cinfo_.output_components) + " składowe)");
    }
  }

  // Decodes up to count rows (4 bytes a pixel, RGB32 order) into the given row pointers; returns how
  // many came out. A decoder that makes no progress means the data ran out.
  int readRows(std::uint8_t** rows, int count) {
    const int got = readRowsGuarded(rows, count);
    if (got <= 0) throw JpegError(kJpegEndsEarly);
    if (cmyk_ && !storedInks_) {
      for (int i = 0; i < got; ++i) cmykToRgb32(rows[i], width(), cinfo_.saw_Adobe_marker != 0);
    }
    return got;
  }

  // Reads what is left, so damage after the last row is found too.
  void finish() {
    std::vector<std::uint8_t> scratch;
    std::uint8_t* row = nullptr;
    while (cinfo_.output_scanline < cinfo_.output_height) {
      if (scratch.empty()) {
        scratch.resize(static_cast<std::size_t>(width()) * 4);
        row = scratch.data();
      }
      readRows(&row, 1);
    }
    finishGuarded();
  }

  // What libjpeg holds at its peak once the header is read, before it allocates any of it: the
  // coefficients of every block when the picture comes in several scans (all of them are read
  // before the first row comes out), and the sample rows of the upsampling and colour conversion.
  std::uint64_t decoderBytes() {
    const bool buffered = jpeg_has_multiple_scans(&cinfo_);
    std::uint64_t bytes = kDecoderOverhead;
    for (int c = 0; c < cinfo_.num_components; ++c) {
      const jpeg_component_info& comp = cinfo_.comp_info[c];
      const auto up = [](std::uint64_t n, std::uint64_t m) { return m == 0 ? n : (n + m - 1) / m * m; };
      const std::uint64_t columns = up(comp.width_in_blocks, static_cast<std::uint64_t>(comp.h_samp_factor));
      const std::uint64_t rows = up(comp.height_in_blocks, static_cast<std::uint64_t>(comp.v_samp_factor));
      if (buffered) bytes += columns * rows * sizeof(JBLOCK);
      bytes += columns * DCTSIZE * static_cast<std::uint64_t>(comp.v_samp_factor) * DCTSIZE * 3;
    }
    return bytes +
           std::uint64_t{cinfo_.image_width} * 4 * static_cast<std::uint64_t>(cinfo_.max_v_samp_factor) * DCTSIZE * 2;
  }

  StoredColour storedColour() const {
    if (cinfo_.jpeg_color_space == JCS_GRAYSCALE) return StoredColour::kGrey;
    if (cinfo_.jpeg_color_space != JCS_CMYK && cinfo_.jpeg_color_space != JCS_YCCK) return StoredColour::kRgb;
    return cinfo_.saw_Adobe_marker ? StoredColour::kInvertedCmyk : StoredColour::kCmyk;
  }

  int width() const { return static_cast<int>(cinfo_.output_width); }
  int height() const { return static_cast<int>(cinfo_.output_height); }
  int nextRow() const { return static_cast<int>(cinfo_.output_scanline); }

 private:
  [[noreturn]] void fail() { throw JpegError(err_.message); }

  void create(std::span<const std::uint8_t> jpeg) {
    // Thrown from the constructor, so the destructor will not run: free here.
    if (setjmp(err_.jump) != 0) {
      if (created_) jpeg_destroy_decompress(&cinfo_);
      created_ = false;
      throw JpegError(err_.message);
    }
    jpeg_create_decompress(&cinfo_);
    created_ = true;
    // A backstop behind the estimate below: libjpeg refuses a coefficient buffer above this rather
    // than allocate it.
    cinfo_.mem->max_memory_to_use = static_cast<long>(kDecodeMemoryLimit);
    cinfo_.progress = &progress_;
    src_.pub.init_source = initSource;
    src_.pub.fill_input_buffer = fillSource;
    src_.pub.skip_input_data = skipSource;
    src_.pub.resync_to_restart = jpeg_resync_to_restart;
    src_.pub.term_source = termSource;
    src_.data = jpeg.data();
    src_.size = jpeg.size();
    src_.next = 0;
    cinfo_.src = &src_.pub;
  }
  void readHeaderGuarded() {
    if (setjmp(err_.jump) != 0) fail();
    jpeg_read_header(&cinfo_, TRUE);
    err_.inScans = true;
  }
  void startGuarded() {
    if (setjmp(err_.jump) != 0) fail();
    jpeg_start_decompress(&cinfo_);
  }
  int readRowsGuarded(std::uint8_t** rows, int count) {
    if (setjmp(err_.jump) != 0) fail();
    return static_cast<int>(jpeg_read_scanlines(&cinfo_, rows, static_cast<JDIMENSION>(count)));
  }
  void finishGuarded() {
    if (setjmp(err_.jump) != 0) fail();
    jpeg_finish_decompress(&cinfo_);
  }

  jpeg_decompress_struct cinfo_{};
  ErrorManager err_{};
  jpeg_progress_mgr progress_{};
  Source src_{};
  bool created_ = false;
  bool cmyk_ = false;
  bool storedInks_ = false;
};

QImage newPicture(QSize size) {
  QImage picture(size, QImage::Format_RGB32);
  if (picture.isNull()) throwOutOfMemory(size.width(), size.height());
  return picture;
}

// Decodes every row straight into the picture's own memory.
QImage decodeWhole(Decompressor& dec) {
  dec.start();
  QImage picture = newPicture(QSize(dec.width(), dec.height()));
  std::uint8_t* bits = picture.bits();
  const qsizetype stride = picture.bytesPerLine();
  std::uint8_t* rows[kRowBatch];
  while (dec.nextRow() < dec.height()) {
    const int count = std::min(kRowBatch, dec.height() - dec.nextRow());
    for (int i = 0; i < count; ++i) rows[i] = bits + (dec.nextRow() + i) * stride;
    dec.readRows(rows, count);
  }
  dec.finish();
  return picture;
}

// Feeds decoded rows to the resampler through a ring of a few rows, keeping those it may still read.
class DecodedRows : public RowSource {
 public:
  explicit DecodedRows(Decompressor& dec)
      : dec_(dec), stride_(static_cast<std::size_t>(dec.width()) * 4), buffer_(stride_ * kRingRows) {}

  const std::uint8_t* row(int y) override {
    // Rows already handed over are gone; the resampler never asks for them again.
    if (y < begin_) throw std::logic_error("decoded row requested twice");
    while (y >= end_) {
      begin_ = std::max(begin_, end_ - (kHeldRows - 1));
      std::uint8_t* rows[kRingRows];
      const int count = std::min(kRingRows - (end_ - begin_), dec_.height() - end_);
      if (count <= 0) throw JpegError(kJpegEndsEarly);
      for (int i = 0; i < count; ++i) rows[i] = slot(end_ + i);
      end_ += dec_.readRows(rows, count);
    }
    return slot(y);
  }

 private:
  std::uint8_t* slot(int y) { return buffer_.data() + static_cast<std::size_t>(y % kRingRows) * stride_; }

  Decompressor& dec_;
  std::size_t stride_;
  std::vector<std::uint8_t> buffer_;
  int begin_ = 0;  // the rows begin_ to end_ - 1 are in the ring
  int end_ = 0;
};

// Output into a growing byte vector. Growth happens inside a libjpeg callback, so an allocation
// failure is caught there and handed to libjpeg's error exit instead of unwinding through C.
struct Destination {
  jpeg_destination_mgr pub;  // first, as with the error manager
  Bytes* out;
  std::size_t written;
};

void initDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
  dest->pub.next_output_byte = dest->out->data();
  dest->pub.free_in_buffer = dest->out->size();
}

boolean growDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
  const std::size_t used = dest->out->size();
  bool grown = false;
  try {
    dest->out->resize(used * 2);
    grown = true;
  } catch (...) {
  }
  if (!grown) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 1);
  dest->pub.next_output_byte = dest->out->data() + used;
  dest->pub.free_in_buffer = dest->out->size() - used;
  return TRUE;
}

void termDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
  dest->written = dest->out->size() - dest->pub.free_in_buffer;
}

class Compressor {
 public:
  explicit Compressor(Bytes& out) {
    installErrorManager(err_);
    cinfo_.err = &err_.pub;
    dest_.pub.init_destination = initDestination;
    dest_.pub.empty_output_buffer = growDestination;
    dest_.pub.term_destination = termDestination;
    dest_.out = &out;
    dest_.written = 0;
    create();
  }
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;
  ~Compressor() {
    if (created_) jpeg_destroy_compress(&cinfo_);
  }

  // Encodes the whole picture (RGB32 layout); returns the number of bytes written.
  std::size_t encode(const QImage& picture, const EncoderOptions& options) {
    encodeGuarded(picture.constBits(), picture.bytesPerLine(), picture.width(), picture.height(), options);
    return dest_.written;
  }

 private:
  void create() {
    if (setjmp(err_.jump) != 0) throw JpegError(err_.message);
    jpeg_create_compress(&cinfo_);
    created_ = true;
    cinfo_.dest = &dest_.pub;
  }

  void encodeGuarded(const std::uint8_t* bits, qsizetype stride, int width, int height, const EncoderOptions& options) {
    if (setjmp(err_.jump) != 0) throw JpegError(err_.message);
    cinfo_.image_width = static_cast<JDIMENSION>(width);
    cinfo_.image_height = static_cast<JDIMENSION>(height);
    cinfo_.in_color_space = kRgb32Space;
    cinfo_.input_components = 4;
    jpeg_set_defaults(&cinfo_);
    jpeg_set_quality(&cinfo_, std::clamp(options.quality, 1, 100), TRUE);
    cinfo_.optimize_coding = options.optimizeHuffman ? TRUE : FALSE;
    if (options.chroma == ChromaSampling::k444) {
      cinfo_.comp_info[0].h_samp_factor = 1;
      cinfo_.comp_info[0].v_samp_factor = 1;
    }
    // A progressive scan script always optimises its tables: libjpeg ignores the flag there.
    if (options.progressive) jpeg_simple_progression(&cinfo_);
    jpeg_start_compress(&cinfo_, TRUE);
    JSAMPROW rows[kRowBatch];
    while (cinfo_.next_scanline < cinfo_.image_height) {
      const JDIMENSION first = cinfo_.next_scanline;
      const JDIMENSION count = std::min<JDIMENSION>(kRowBatch, cinfo_.image_height - first);
      // libjpeg takes non-const rows but only reads them.
      for (JDIMENSION i = 0; i < count; ++i) rows[i] = const_cast<JSAMPROW>(bits + (first + i) * stride);
      jpeg_write_scanlines(&cinfo_, rows, count);
    }
    jpeg_finish_compress(&cinfo_);
  }

  jpeg_compress_struct cinfo_{};
  ErrorManager err_{};
  Destination dest_{};
  bool created_ = false;
};

}  // namespace

std::string tooMuchMemoryMessage(std::uint64_t bytes) {
  constexpr std::uint64_t kMB = std::uint64_t{1} << 20;
  return "Obraz wymaga za dużo pamięci (" + std::to_string((bytes + kMB - 1) / kMB) + " MB)";
}

namespace {

// The decode's peak for a result of this size, handed to the gate (or checked against the limit)
// before anything big is allocated.
void admit(Decompressor& dec, QSize full, QSize result, const MemoryGate& gate) {
  std::uint64_t bytes = dec.decoderBytes() + std::uint64_t(result.width()) * std::uint64_t(result.height()) * 4;
  if (result != full) bytes += std::uint64_t(full.width()) * 4 * kRingRows + std::uint64_t(result.width()) * 64;
  if (gate) {
    gate(bytes);
  } else if (bytes > kDecodeMemoryLimit) {
    throw JpegError(tooMuchMemoryMessage(bytes));
  }
}

}  // namespace

QImage decodeJpeg(std::span<const std::uint8_t> jpeg, std::uint64_t maxPixels) {
  Decompressor dec(jpeg);
  const QSize full = dec.readHeader(maxPixels);
  admit(dec, full, full, {});
  return decodeWhole(dec);
}

StoredColour jpegStoredColour(std::span<const std::uint8_t> jpeg) {
  Decompressor dec(jpeg);
  // The size is the decoder's to refuse, with its own message.
  dec.readHeader(std::numeric_limits<std::uint64_t>::max());
  return dec.storedColour();
}

QImage decodeJpegScaled(std::span<const std::uint8_t> jpeg, const TargetSize& target, std::uint64_t maxPixels,
                        const MemoryGate& gate, bool storedInks) {
  Decompressor dec(jpeg, storedInks);
  const QSize full = dec.readHeader(maxPixels);
  const QSize size = target(full);
  if (size != full) {
    if (size.isEmpty()) {
      throw JpegError("Nieprawidłowy rozmiar obrazu: " + std::to_string(size.width()) + " x " +
                      std::to_string(size.height()) + " pikseli");
    }
    checkPixelCount(static_cast<std::uint64_t>(size.width()), static_cast<std::uint64_t>(size.height()), maxPixels);
  }
  admit(dec, full, size, gate);
  if (size == full) return decodeWhole(dec);
  dec.start();
  QImage picture = newPicture(size);
  DecodedRows rows(dec);
  resampleHalftone(rows, full.width(), full.height(), picture.bits(), picture.bytesPerLine(), size.width(),
                   size.height());
  dec.finish();
  return picture;
}

QImage loadJpeg(const std::filesystem::path& path, std::uint64_t maxPixels) {
  const Bytes bytes = readRegularFile(path, kMaxSourceBytes);
  return decodeJpeg(bytes, maxPixels);
}

Bytes encodeJpeg(const QImage& picture, int quality) {
  EncoderOptions options;
  options.quality = quality;
  return encodeJpeg(picture, options);
}

Bytes encodeJpeg(const QImage& picture, const EncoderOptions& options) {
  if (picture.isNull()) throw JpegError("Brak obrazu do zapisania");
  const bool direct = picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32;
  const QImage source = direct ? picture : picture.convertToFormat(QImage::Format_RGB32);
  if (source.isNull()) throwOutOfMemory(picture.width(), picture.height());
  // Quality 90 at 4:2:0 takes about 2 to 4 bits a pixel on photographs; the buffer doubles when short.
  Bytes out(static_cast<std::size_t>(source.width()) * static_cast<std::size_t>(source.height()) / 2 + 4096);
  Compressor compressor(out);
  out.resize(compressor.encode(source, options));
  return out;
}

void saveJpeg(const QImage& picture, const std::filesystem::path& path, int quality) {
  writeFileAtomically(path, encodeJpeg(picture, quality));
}

}  // namespace velmora
