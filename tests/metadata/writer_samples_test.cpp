// Carries the metadata of every sample photo over with velmora-batch --exif --keep-profile (scaled to 1280,
// as the window's "zachowaj EXIF" run does, colours as stored), and once more with --strip-gps, and checks the outputs
// with outside readers and our own: exiftool's validation and every tag it reads from the EXIF directories, the IPTC
// datasets and the XMP, exiv2, and TImgData reading the output back. exiftool runs once over the samples
// and once over each run's outputs. Every difference that remains is listed below with its reason.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "base/fileio.h"
#include "json_reader.h"
#include "metadata/jpegsegments.h"
#include "metadata_test_util.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::GroupOf;
using test::Json;

const fs::path kSamples = fs::path(VELMORA_TEST_DATA) / "samples";

// ---- Differences that remain -----------------------------------------------------------------------

// exiftool warns about these on every output whose source had no IFD0 ImageWidth/ImageLength: the new
// size goes there (appended when absent), where exiftool does not expect it in a JPEG.
const std::set<std::string> kSizeWarnings = {"IFD0 tag 0x0100 ImageWidth is not allowed in JPEG",
                                             "IFD0 tag 0x0101 ImageHeight is not allowed in JPEG"};

struct FileRule {
  const char* file;
  enum Kind { kWarning, kMakerNoteUnchecked, kLastCommentOnly, kGroupNotCarried } kind;
  const char* detail;
  const char* why;
};

constexpr FileRule kFileRules[] = {
    {"nikon_d1x_iptc.jpg", FileRule::kWarning, "Bad NikonScanIFD directory",
     "the source's scan directory runs past the end of its EXIF block (exiftool: \"Bad NikonScanIFD "
     "SubDirectory start\"); the output keeps what there is, and exiftool words the same fault this way"},
    {"canon_powershot_s330_quicktime.jpg", FileRule::kMakerNoteUnchecked, "",
     "the source's maker-note offsets were already wrong (re-saved by QuickTime): exiftool reads unrelated "
     "bytes for some of its tags, in the source as in the output"},
    {"synthetic_two_comments.jpg", FileRule::kLastCommentOnly, "",
     "the reader keeps one comment, the last COM segment's, and that one is carried over"},
    {"nikon_e995_iptc.jpg", FileRule::kGroupNotCarried, "IPTC2",
     "a second IPTC block in a FotoStation trailer after the picture's end (EOI), no APP13: the output has no "
     "trailer"},
};

bool Rule(const std::string& file, FileRule::Kind kind, std::string_view detail = "") {
  return std::any_of(std::begin(kFileRules), std::end(kFileRules),
                     [&](const FileRule& r) { return file == r.file && r.kind == kind && detail == r.detail; });
}

// The record version 2:00 is written anew, first in record 2: the source's value, or 4.
constexpr const char* kIptcVersion = "ApplicationRecordVersion";
// Maker-note groups compared tag for tag; file positions ("...Start", "...Offset") move with the segments.
const std::set<std::string> kMakerGroups = {"Canon", "Casio",   "FujiFilm", "Kodak",     "Minolta",
                                            "Nikon", "Olympus", "Sanyo",    "PreviewIFD"};
const std::set<std::string> kExifGroups = {"IFD0", "ExifIFD", "GPS", "InteropIFD", "IFD1"};
// Tags of those directories that state sizes, offsets or padding of the source's layout (or its
// Orientation), compared another way or not at all.
const std::set<std::pair<std::string, std::string>> kLayoutTags = {
    {"IFD0", "ImageWidth"},        {"IFD0", "ImageHeight"},
    {"ExifIFD", "ExifImageWidth"}, {"ExifIFD", "ExifImageHeight"},
    {"IFD1", "ThumbnailOffset"},   {"IFD1", "StripOffsets"},
    {"IFD0", "Padding"},           {"ExifIFD", "Padding"},
    {"ExifIFD", "OffsetSchema"},   {"IFD0", "Orientation"},
    {"IFD1", "Orientation"}};

// The picture's size: the written one.
const std::set<std::pair<std::string, std::string>> kSizeTags = {
    {"IFD0", "ImageWidth"}, {"IFD0", "ImageHeight"}, {"ExifIFD", "ExifImageWidth"}, {"ExifIFD", "ExifImageHeight"}};

// The groups whose every tag must read back: the EXIF directories, the IPTC datasets, the XMP.
bool Carried(const std::string& group) {
  return kExifGroups.contains(group) || group.rfind("IPTC", 0) == 0 || group.rfind("XMP", 0) == 0;
}
// What --strip-gps takes out: the GPS directory and XMP's exif:GPS* properties.
bool Position(const std::pair<std::string, std::string>& key) {
  return key.first == "GPS" || (key.first == "XMP-exif" && key.second.rfind("GPS", 0) == 0);
}

// ---- The run and exiftool's view -------------------------------------------------------------------

struct Tags {
  std::map<std::pair<std::string, std::string>, std::vector<const Json*>> values;  // (group, name): in order
  std::map<std::pair<std::string, int>, std::set<std::string>> names;              // (group, id): names
  std::multiset<std::string> warnings;                                             // without "[minor] "
};

struct BatchRun {
  QTemporaryDir dir, stripDir;
  fs::path out, stripped;
  std::vector<std::string> names;
  std::string error;
  QByteArray stderrText, stripStderrText;
  Json sourceDoc, outputDoc, strippedDoc;
  std::map<std::string, Tags> sources, outputs, strippedOutputs;  // by the sample's file name
};

std::string RunProcess(const QString& program, const QStringList& args, QByteArray* out = nullptr,
                       QByteArray* err = nullptr) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(300000)) return program.toStdString() + " did not run: " + p.errorString().toStdString();
  if (out) *out = p.readAllStandardOutput();
  if (err) *err = p.readAllStandardError();
  if (p.exitStatus() != QProcess::NormalExit) return program.toStdString() + " crashed";
  if (p.exitCode() != 0 && program != "exiv2")
    return program.toStdString() + " exit code " + std::to_string(p.exitCode()) + ": " +
           p.readAllStandardError().toStdString();
  return "";
}

void ReadExifTool(const fs::path& folder, Json& doc, std::map<std::string, Tags>& files, std::string& error) {
  QByteArray out;
  error = RunProcess("exiftool",
                     {"-j", "-n", "-G1:4", "-a", "-u", "-D", "-b", "-validate", "-warning", "-all:all",
                      QString::fromStdString(folder.string())},
                     &out);
  if (!error.empty()) return;
  doc = test::ParseJson(std::string_view(out.constData(), static_cast<std::size_t>(out.size())));
  for (const auto& fileObj : doc.items) {
    Tags t;
    std::string name;
    for (const auto& [key, v] : fileObj.members) {
      if (key == "SourceFile") name = fs::path(v.text).filename().string();
      const auto first = key.find(':'), last = key.rfind(':');
      const Json* val = v.find("val");
      if (first == std::string::npos || !val) continue;
      const std::string group = key.substr(0, first), tag = key.substr(last + 1);  // "Group:CopyN:Name"
      if (group == "ExifTool" && tag == "Warning") {
        t.warnings.insert(val->text.rfind("[minor] ", 0) == 0 ? val->text.substr(8) : val->text);
        continue;
      }
      t.values[{group, tag}].push_back(val);
      if (const Json* id = v.find("id"); id && id->isNumber())
        t.names[{group, static_cast<int>(id->number)}].insert(tag);
    }
    if (name.rfind('_', 0) == 0 && folder != kSamples) name = name.substr(1);  // the default prefix
    files[name] = std::move(t);
  }
}

const BatchRun& TheRun() {
  static BatchRun r = [] {
    BatchRun run;
    run.out = fs::path(run.dir.path().toStdString());
    run.stripped = fs::path(run.stripDir.path().toStdString());
    QStringList names;
    for (const auto& e : fs::directory_iterator(kSamples)) {
      const std::string name = e.path().filename().string();
      // The one sample the decoder refuses: it has no output to check.
      if (e.path().extension() != ".jpg" || name == "synthetic_truncated.jpg") continue;
      run.names.push_back(name);
      names << QString::fromStdString(name);
    }
    std::sort(run.names.begin(), run.names.end());
    const QString samples = QString::fromStdString(kSamples.string());
    run.error =
        RunProcess(VELMORA_BATCH_EXE,
                   QStringList{"--exif", "--keep-profile", samples, QString::fromStdString(run.out.string())} + names,
                   nullptr, &run.stderrText);
    if (run.error.empty())
      run.error = RunProcess(VELMORA_BATCH_EXE,
                             QStringList{"--exif", "--strip-gps", "--keep-profile", samples,
                                         QString::fromStdString(run.stripped.string())} +
                                 names,
                             nullptr, &run.stripStderrText);
    if (run.error.empty()) ReadExifTool(kSamples, run.sourceDoc, run.sources, run.error);
    if (run.error.empty()) ReadExifTool(run.out, run.outputDoc, run.outputs, run.error);
    if (run.error.empty()) ReadExifTool(run.stripped, run.strippedDoc, run.strippedOutputs, run.error);
    return run;
  }();
  return r;
}

bool SameJson(const Json& a, const Json& b) {
  if (a.kind != b.kind || a.text != b.text || a.items.size() != b.items.size()) return false;
  for (std::size_t i = 0; i < a.items.size(); ++i)
    if (!SameJson(a.items[i], b.items[i])) return false;
  return true;
}

std::string Shown(const std::vector<const Json*>& values) {
  std::string s;
  for (const Json* v : values) s += (s.empty() ? "" : " | ") + v->text.substr(0, 60);
  return s;
}

bool SameValues(const std::vector<const Json*>& a, const std::vector<const Json*>& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](auto x, auto y) { return SameJson(*x, *y); });
}

class WriterSamples : public testing::Test {
 protected:
  void SetUp() override {
    const BatchRun& run = TheRun();
    ASSERT_EQ(run.error, "");
    ASSERT_GE(run.names.size(), 40u);
  }
  const BatchRun& run() const { return TheRun(); }
  fs::path output(const std::string& file) const { return run().out / ("_" + file); }

  void ExifToolFindsNoNewFault();
  void ExifToolReadsTheSameValues();
  void StripGpsTakesThePositionOnly();
  void NothingIsSaidLost();
  void Exiv2ReadsTheOutputs();
  void OurReaderReadsTheSameEntriesBack();
};

// ---- The checks ------------------------------------------------------------------------------------

void WriterSamples::ExifToolFindsNoNewFault() {
  for (const auto* outputs : {&run().outputs, &run().strippedOutputs}) {
    for (const std::string& file : run().names) {
      SCOPED_TRACE(file);
      ASSERT_TRUE(outputs->contains(file));
      const Tags& src = run().sources.at(file);
      for (const std::string& w : outputs->at(file).warnings) {
        const bool known = src.warnings.contains(w) || kSizeWarnings.contains(w) || Rule(file, FileRule::kWarning, w);
        EXPECT_TRUE(known) << "new exiftool warning: " << w;
      }
    }
  }
}

void WriterSamples::ExifToolReadsTheSameValues() {
  for (const std::string& file : run().names) {
    SCOPED_TRACE(file);
    const Tags& src = run().sources.at(file);
    const Tags& out = run().outputs.at(file);
    const auto picture = [&](const char* name) { return out.values.at({"File", name}).at(0)->text; };
    const bool hasRecord2 = std::any_of(src.values.begin(), src.values.end(), [](const auto& kv) {
      return kv.first.first == "IPTC" && kv.first.second != kIptcVersion;
    });

    // Every tag of the EXIF directories, the IPTC datasets and the XMP reads back as in the source,
    // duplicates included; the picture's size as the new picture's.
    for (const auto& [key, values] : src.values) {
      const auto& [group, name] = key;
      if (!Carried(group) || Rule(file, FileRule::kGroupNotCarried, group)) continue;
      const auto theirs = out.values.find(key);
      if (key == std::pair<std::string, std::string>{"IPTC", kIptcVersion}) {
        ASSERT_NE(theirs, out.values.end()) << "IPTC:" << name << " is missing";
        EXPECT_TRUE(SameValues(theirs->second, values)) << Shown(values) << " became " << Shown(theirs->second);
        continue;
      }
      if (kSizeTags.contains(key)) {
        ASSERT_NE(theirs, out.values.end()) << group << ":" << name << " is missing";
        for (const Json* v : theirs->second)
          EXPECT_EQ(v->text, picture(name.ends_with("Width") ? "ImageWidth" : "ImageHeight")) << group << ":" << name;
        continue;
      }
      if (kLayoutTags.contains(key)) continue;
      ASSERT_NE(theirs, out.values.end()) << group << ":" << name << " is missing";
      EXPECT_TRUE(SameValues(theirs->second, values))
          << group << ":" << name << ": " << Shown(values) << " became " << Shown(theirs->second);
    }
    // Nothing appears there but the new size and the record version IIM asks for.
    for (const auto& [key, values] : out.values) {
      if (!Carried(key.first) || src.values.contains(key)) continue;
      const bool size = key.first == "IFD0" && (key.second == "ImageWidth" || key.second == "ImageHeight");
      const bool version = key.first == "IPTC" && key.second == kIptcVersion && hasRecord2;
      EXPECT_TRUE(size || version) << "new " << key.first << ":" << key.second;
      if (version) {
        EXPECT_EQ(values.at(0)->text, "4") << "a record version the source did not have";
      }
    }
    // The comment and the maker notes as they were.
    if (Rule(file, FileRule::kLastCommentOnly)) {
      EXPECT_TRUE(SameJson(*out.values.at({"File", "Comment"}).at(0), *src.values.at({"File", "Comment"}).back()));
    }
    for (const auto& [key, values] : src.values) {
      const bool comment = key.first == "File" && key.second == "Comment" && !Rule(file, FileRule::kLastCommentOnly);
      const bool maker = kMakerGroups.contains(key.first) && !Rule(file, FileRule::kMakerNoteUnchecked) &&
                         key.second.find("Start") == std::string::npos &&
                         key.second.find("Offset") == std::string::npos;
      if (!comment && !maker) continue;
      const auto theirs = out.values.find(key);
      ASSERT_NE(theirs, out.values.end()) << key.first << ":" << key.second << " is missing";
      EXPECT_TRUE(SameValues(theirs->second, values))
          << key.first << ":" << key.second << ": " << Shown(values) << " became " << Shown(theirs->second);
    }
  }
}

void WriterSamples::StripGpsTakesThePositionOnly() {
  int positions = 0;
  for (const std::string& file : run().names) {
    SCOPED_TRACE(file);
    const Tags& src = run().sources.at(file);
    const Tags& plain = run().outputs.at(file);
    const Tags& stripped = run().strippedOutputs.at(file);
    for (const auto& [key, values] : stripped.values) EXPECT_FALSE(Position(key)) << key.first << ":" << key.second;
    for (const auto& [key, values] : src.values) positions += Position(key);
    // Everything else goes out as without the option: Make, Model, DateTimeOriginal and the rest.
    for (const auto& [key, values] : plain.values) {
      if (Position(key) || key.first == "File" || key.first == "System" || key.first == "Composite" ||
          key.first == "ExifTool")
        continue;
      if (kLayoutTags.contains(key)) continue;  // the block is shorter by the GPS directory
      const auto theirs = stripped.values.find(key);
      ASSERT_NE(theirs, stripped.values.end()) << key.first << ":" << key.second << " is missing";
      EXPECT_TRUE(SameValues(theirs->second, values)) << key.first << ":" << key.second;
    }
    for (const char* name : {"Make", "Model"})
      if (src.values.contains({"IFD0", name})) {
        EXPECT_TRUE(stripped.values.contains({"IFD0", name})) << name;
      }
    if (src.values.contains({"ExifIFD", "DateTimeOriginal"})) {
      EXPECT_TRUE(stripped.values.contains({"ExifIFD", "DateTimeOriginal"}));
    }
  }
  EXPECT_GT(positions, 20) << "the samples hold GPS positions in EXIF and XMP to strip";
}

void WriterSamples::NothingIsSaidLost() {
  // Every sample's metadata goes out whole, so velmora-batch names no file as written without some.
  for (const QByteArray* text : {&run().stderrText, &run().stripStderrText}) {
    EXPECT_FALSE(text->contains("zapisano bez")) << text->toStdString();
  }
}

void WriterSamples::Exiv2ReadsTheOutputs() {
  for (const std::string& file : run().names) {
    SCOPED_TRACE(file);
    QByteArray out, err, sourceErr;
    ASSERT_EQ(RunProcess("exiv2", {"-pa", QString::fromStdString(output(file).string())}, &out, &err), "");
    if (err.isEmpty()) continue;
    // Only what it already says about the source.
    ASSERT_EQ(RunProcess("exiv2", {"-pa", QString::fromStdString((kSamples / file).string())}, &out, &sourceErr), "");
    EXPECT_EQ(err.toStdString(), sourceErr.toStdString());
  }
}

void WriterSamples::OurReaderReadsTheSameEntriesBack() {
  // An entry as it must read back: ASCII values gain their zero byte; pointers and the thumbnail's
  // offsets hold new offsets; the sizes are the new picture's (checked apart); Microsoft's Padding and
  // OffsetSchema, which describe the source's layout, are left out.
  const auto key = [](const TTagEntry& e) {
    Bytes raw = e.raw;
    if (e.type == kAscii && !raw.empty() && raw.back() != 0) raw.push_back(0);
    const bool moved = e.tag == 0x8769 || e.tag == 0x8825 || e.tag == 0xA005 ||
                       (e.parentId == 1 && (e.tag == 0x0201 || e.tag == 0x0111));
    return std::make_tuple(e.parentId, e.tag, moved ? std::uint16_t{0} : e.type, moved ? Bytes{} : raw);
  };
  const auto compared = [](const TTagEntry& e) {
    return e.kind == 0 && e.tag != 0x0100 && e.tag != 0x0101 && e.tag != 0xA002 && e.tag != 0xA003 && e.tag != 0xEA1C &&
           e.tag != 0xEA1D && e.tag != 0x014A && e.parentId != 0x014A;
  };
  for (const std::string& file : run().names) {
    SCOPED_TRACE(file);
    TImgData src, out;
    src.OpenFile((kSamples / file).string());
    out.OpenFile(output(file).string());
    EXPECT_EQ(out.HasExif(), src.HasExif());
    EXPECT_EQ(out.comment, src.comment);
    if (src.exifInfo && out.exifInfo) {
      EXPECT_EQ(out.exifInfo->GetImageWidth(), out.imageWidth);
      EXPECT_EQ(out.exifInfo->GetImageHeight(), out.imageHeight);
      std::multiset<decltype(key(TTagEntry{}))> before, after;
      for (const auto& e : src.exifInfo->entries)
        if (compared(e)) before.insert(key(e));
      for (const auto& e : out.exifInfo->entries)
        if (compared(e)) after.insert(key(e));
      EXPECT_TRUE(before == after) << before.size() << " entries read from the source, " << after.size() << " back";
      for (const auto& e : out.exifInfo->entries) {
        if (e.parentId != kParentExif || (e.tag != 0xA002 && e.tag != 0xA003)) continue;
        EXPECT_EQ(out.exifInfo->GetTagNumber(e.name), e.tag == 0xA002 ? out.imageWidth : out.imageHeight) << e.name;
      }
      {
        EXPECT_EQ(out.exifInfo->thumbnail, src.exifInfo->thumbnail);
        EXPECT_EQ(out.exifInfo->thumbStrips, src.exifInfo->thumbStrips);
        std::multiset<decltype(key(TTagEntry{}))> thumbBefore, thumbAfter;
        for (const auto& e : src.exifInfo->thumbEntries) thumbBefore.insert(key(e));
        for (const auto& e : out.exifInfo->thumbEntries) thumbAfter.insert(key(e));
        if (src.exifInfo->HasThumbnail()) {
          EXPECT_TRUE(thumbBefore == thumbAfter);
        }
      }
    }
    // The colour profile, byte for byte (an RGB one: the output is RGB).
    TImgData srcIcc, outIcc;
    srcIcc.ScanJpegSegments(readFileBytes(kSamples / file), kPartIcc);
    outIcc.ScanJpegSegments(readFileBytes(output(file)), kPartIcc);
    const ByteView carried = srcIcc.CarriedIccProfile();
    EXPECT_EQ(outIcc.iccProfile, Bytes(carried.span().begin(), carried.span().end()));
    ASSERT_EQ(out.HasIptc(), src.HasIptc());
    if (!src.HasIptc()) continue;
    ASSERT_EQ(out.iptcData->Count(), src.iptcData->Count());
    for (int i = 0; i < src.iptcData->Count(); ++i) {
      EXPECT_EQ(out.iptcData->EntryAt(i).tag, src.iptcData->EntryAt(i).tag);
      EXPECT_EQ(out.iptcData->EntryAt(i).raw, src.iptcData->EntryAt(i).raw);
      EXPECT_EQ(out.iptcData->EntryAt(i).data, src.iptcData->EntryAt(i).data);
    }
  }
}

// One test, so that the batch and exiftool run once.
TEST_F(WriterSamples, OutsideReadersAndOurOwnReadTheSourcesMetadata) {
  ExifToolFindsNoNewFault();
  ExifToolReadsTheSameValues();
  StripGpsTakesThePositionOnly();
  NothingIsSaidLost();
  Exiv2ReadsTheOutputs();
  OurReaderReadsTheSameEntriesBack();
}

}  // namespace
}  // namespace velmora
