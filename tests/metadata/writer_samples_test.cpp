// Carries the metadata of every sample photo over with velmora-batch --exif (scaled to 1280, as the
// window's "zachowaj EXIF" run does) and checks the outputs with outside readers and our own:
// exiftool's validation and values, exiv2, and TImgData reading the output back. exiftool runs once over
// the samples and once over the outputs. Every difference that remains is listed below with its reason.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "json_reader.h"
#include "metadata/fileio.h"
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
  enum Kind { kWarning, kNoIfd1, kMakerNoteUnchecked, kLastCommentOnly } kind;
  const char* detail;
  const char* why;
};

constexpr FileRule kFileRules[] = {
    {"nikon_d1x_iptc.jpg", FileRule::kWarning, "Bad NikonScanIFD directory",
     "the source's scan directory runs past the end of its EXIF block (exiftool: \"Bad NikonScanIFD "
     "SubDirectory start\"); the output keeps what there is, and exiftool words the same fault this way"},
    {"kodak_dc210.jpg", FileRule::kNoIfd1, "",
     "IFD1 describes an uncompressed thumbnail whose strips the reader does not keep: IFD1 is not written"},
    {"canon_powershot_s330_quicktime.jpg", FileRule::kMakerNoteUnchecked, "",
     "the source's maker-note offsets were already wrong (re-saved by QuickTime): exiftool reads unrelated "
     "bytes for some of its tags, in the source as in the output"},
    {"synthetic_two_comments.jpg", FileRule::kLastCommentOnly, "",
     "the reader keeps one comment, the last COM segment's, and that one is carried over"},
};

bool Rule(const std::string& file, FileRule::Kind kind, std::string_view detail = "") {
  return std::any_of(std::begin(kFileRules), std::end(kFileRules),
                     [&](const FileRule& r) { return file == r.file && r.kind == kind && detail == r.detail; });
}

// The record version 2:00 is neither kept nor written.
constexpr const char* kIptcNotWritten = "ApplicationRecordVersion";
// Maker-note groups compared tag for tag; file positions ("...Start", "...Offset") move with the segments.
const std::set<std::string> kMakerGroups = {"Canon", "Casio",   "FujiFilm", "Kodak",     "Minolta",
                                            "Nikon", "Olympus", "Sanyo",    "PreviewIFD"};
const std::set<std::string> kExifGroups = {"IFD0", "ExifIFD", "GPS", "InteropIFD", "IFD1"};

// ---- The run and exiftool's view -------------------------------------------------------------------

struct Tags {
  std::map<std::pair<std::string, std::string>, std::vector<const Json*>> values;  // (group, name): in order
  std::map<std::pair<std::string, int>, std::set<std::string>> names;              // (group, id): names
  std::multiset<std::string> warnings;                                             // without "[minor] "
};

struct BatchRun {
  QTemporaryDir dir;
  fs::path out;
  std::vector<std::string> names;
  std::string error;
  Json sourceDoc, outputDoc;
  std::map<std::string, Tags> sources, outputs;  // by the sample's file name
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
                     {"-j", "-n", "-G1:4", "-a", "-D", "-b", "-validate", "-warning", "-all:all",
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
    QStringList args{"--exif", QString::fromStdString(kSamples.string()), QString::fromStdString(run.out.string())};
    for (const auto& e : fs::directory_iterator(kSamples)) {
      const std::string name = e.path().filename().string();
      // The one sample the decoder refuses: it has no output to check.
      if (e.path().extension() != ".jpg" || name == "synthetic_truncated.jpg") continue;
      run.names.push_back(name);
      args << QString::fromStdString(name);
    }
    std::sort(run.names.begin(), run.names.end());
    run.error = RunProcess(VELMORA_BATCH_EXE, args);
    if (run.error.empty()) ReadExifTool(kSamples, run.sourceDoc, run.sources, run.error);
    if (run.error.empty()) ReadExifTool(run.out, run.outputDoc, run.outputs, run.error);
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
  void Exiv2ReadsTheOutputs();
  void OurReaderReadsTheSameEntriesBack();
};

// ---- The checks ------------------------------------------------------------------------------------

void WriterSamples::ExifToolFindsNoNewFault() {
  for (const std::string& file : run().names) {
    SCOPED_TRACE(file);
    ASSERT_TRUE(run().outputs.contains(file));
    const Tags& src = run().sources.at(file);
    for (const std::string& w : run().outputs.at(file).warnings) {
      const bool known = src.warnings.contains(w) || kSizeWarnings.contains(w) || Rule(file, FileRule::kWarning, w);
      EXPECT_TRUE(known) << "new exiftool warning: " << w;
    }
  }
}

void WriterSamples::ExifToolReadsTheSameValues() {
  for (const std::string& file : run().names) {
    SCOPED_TRACE(file);
    const Tags& src = run().sources.at(file);
    const Tags& out = run().outputs.at(file);
    const auto picture = [&](const char* name) { return out.values.at({"File", name}).at(0)->text; };

    // Every EXIF entry our reader keeps reads back as in the source, the size as the new picture's.
    TImgData img(255);
    img.OpenFile((kSamples / file).string());
    if (img.exifInfo) {
      std::vector<const TTagEntry*> kept;
      for (const auto& e : img.exifInfo->entries)
        if (e.kind == 0) kept.push_back(&e);
      if (!Rule(file, FileRule::kNoIfd1))
        for (const auto& e : img.exifInfo->thumbEntries) kept.push_back(&e);
      for (const TTagEntry* e : kept) {
        const std::string group = GroupOf(e->parentId);
        const auto names = src.names.find({group, e->tag});
        if (group.empty() || names == src.names.end()) continue;
        for (const std::string& name : names->second) {
          if (group == "IFD1" && name == "ThumbnailOffset") continue;  // the thumbnail moves
          const auto theirs = out.values.find({group, name});
          ASSERT_NE(theirs, out.values.end()) << group << ":" << name << " is missing";
          if (group == "IFD0" && (e->tag == 0x0100 || e->tag == 0x0101)) {
            EXPECT_EQ(theirs->second.back()->text, picture(e->tag == 0x0100 ? "ImageWidth" : "ImageHeight")) << name;
            continue;
          }
          EXPECT_TRUE(SameValues(theirs->second, src.values.at({group, name})))
              << group << ":" << name << ": " << Shown(src.values.at({group, name})) << " became "
              << Shown(theirs->second);
        }
      }
    }
    // Nothing appears in the EXIF directories but the new size.
    for (const auto& [key, values] : out.values) {
      if (!kExifGroups.contains(key.first) || src.values.contains(key)) continue;
      EXPECT_TRUE(key.first == "IFD0" && (key.second == "ImageWidth" || key.second == "ImageHeight"))
          << "new " << key.first << ":" << key.second;
    }
    // IPTC datasets, the comment and the maker notes as they were.
    if (Rule(file, FileRule::kLastCommentOnly)) {
      EXPECT_TRUE(SameJson(*out.values.at({"File", "Comment"}).at(0), *src.values.at({"File", "Comment"}).back()));
    }
    for (const auto& [key, values] : src.values) {
      const bool iptc = key.first == "IPTC" && key.second != kIptcNotWritten;
      const bool comment = key.first == "File" && key.second == "Comment" && !Rule(file, FileRule::kLastCommentOnly);
      const bool maker = kMakerGroups.contains(key.first) && !Rule(file, FileRule::kMakerNoteUnchecked) &&
                         key.second.find("Start") == std::string::npos &&
                         key.second.find("Offset") == std::string::npos;
      if (!iptc && !comment && !maker) continue;
      const auto theirs = out.values.find(key);
      ASSERT_NE(theirs, out.values.end()) << key.first << ":" << key.second << " is missing";
      EXPECT_TRUE(SameValues(theirs->second, values))
          << key.first << ":" << key.second << ": " << Shown(values) << " became " << Shown(theirs->second);
    }
    for (const auto& [key, values] : out.values)
      EXPECT_TRUE(key.first != "IPTC" || src.values.contains(key)) << "new IPTC " << key.second;
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
  // An entry as it must read back: ASCII values gain their zero byte; pointers and the thumbnail
  // offset hold new offsets; the size is the new picture's.
  const auto key = [](const TTagEntry& e) {
    Bytes raw = e.raw;
    if (e.type == kAscii && (raw.empty() || raw.back() != 0)) raw.push_back(0);
    const bool moved = e.tag == 0x8769 || e.tag == 0x8825 || e.tag == 0xA005 || (e.parentId == 1 && e.tag == 0x0201);
    return std::make_tuple(e.parentId, e.tag, e.type, moved ? Bytes{} : raw);
  };
  for (const std::string& file : run().names) {
    SCOPED_TRACE(file);
    TImgData src(255), out(255);
    src.OpenFile((kSamples / file).string());
    out.OpenFile(output(file).string());
    EXPECT_EQ(out.HasExif(), src.HasExif());
    EXPECT_EQ(out.comment, src.comment);
    if (src.exifInfo && out.exifInfo) {
      EXPECT_EQ(out.exifInfo->GetImageWidth(), out.imageWidth);
      EXPECT_EQ(out.exifInfo->GetImageHeight(), out.imageHeight);
      std::multiset<decltype(key(TTagEntry{}))> before, after;
      for (const auto& e : src.exifInfo->entries)
        if (e.kind == 0 && e.tag != 0x0100 && e.tag != 0x0101 && e.tag != 0x014A && e.parentId != 0x014A)
          before.insert(key(e));
      for (const auto& e : out.exifInfo->entries)
        if (e.kind == 0 && e.tag != 0x0100 && e.tag != 0x0101) after.insert(key(e));
      EXPECT_TRUE(before == after) << before.size() << " entries read from the source, " << after.size() << " back";
      if (!Rule(file, FileRule::kNoIfd1)) {
        EXPECT_EQ(out.exifInfo->thumbnail, src.exifInfo->thumbnail);
        std::multiset<decltype(key(TTagEntry{}))> thumbBefore, thumbAfter;
        for (const auto& e : src.exifInfo->thumbEntries) thumbBefore.insert(key(e));
        for (const auto& e : out.exifInfo->thumbEntries) thumbAfter.insert(key(e));
        if (src.exifInfo->HasThumbnail()) {
          EXPECT_TRUE(thumbBefore == thumbAfter);
        }
      }
    }
    // The colour profile, byte for byte (an RGB one: the output is RGB).
    TImgData srcIcc(255), outIcc(255);
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
  Exiv2ReadsTheOutputs();
  OurReaderReadsTheSameEntriesBack();
}

}  // namespace
}  // namespace velmora
