// velmora-batch --caption: its options, where it finds the window's settings, and the caption it stamps.

#include "cli/batch_caption.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <filesystem>
#include <sstream>

#include "cli/batch_cli.h"
#include "imaging/jpegcodec.h"

namespace velmora::batch {
namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;

void WriteText(const QString& path, const QByteArray& text) {
  QDir().mkpath(QFileInfo(path).path());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(text);
}

TEST(BatchCaption, OptionsAndWhenTheyNeedFonts) {
  const CliOptions o = parseArguments({"--caption", "--settings", "/x/v.props", "in", "out"});
  EXPECT_TRUE(o.caption);
  EXPECT_EQ(o.settingsFile, fs::path("/x/v.props"));
  EXPECT_FALSE(parseArguments({"in", "out"}).caption);
  EXPECT_THROW(parseArguments({"--settings", "/x/v.props", "in", "out"}), UsageError);

  EXPECT_TRUE(wantsCaption({"--size", "9", "--caption", "a", "b"}));
  EXPECT_FALSE(wantsCaption({"a", "b"}));
  EXPECT_FALSE(wantsCaption({"a", "--", "--caption"}));  // a file name after "--"
}

TEST(BatchCaption, FindsTheWindowsSettingsFile) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
  const fs::path bin = dir.filePath("bin").toStdString();
  QDir().mkpath(dir.filePath("config"));

  EXPECT_FALSE(windowSettingsFile(bin).has_value());
  WriteText(dir.filePath("bin/velmora.props"), "podpis=A\r");
  EXPECT_EQ(windowSettingsFile(bin), bin / "velmora.props");
  // The configuration folder comes first, as the window puts its file there when it can.
  WriteText(dir.filePath("config/Velmora/velmora/velmora.props"), "podpis=B\r");
  EXPECT_EQ(windowSettingsFile(bin), fs::path(dir.filePath("config/Velmora/velmora/velmora.props").toStdString()));

  if (oldConfig.isNull()) {
    qunsetenv("XDG_CONFIG_HOME");
  } else {
    qputenv("XDG_CONFIG_HOME", oldConfig);
  }
}

TEST(BatchCaption, ReadsTheKeysWithTheWindowsDefaults) {
  QTemporaryDir dir;
  const QString file = dir.filePath("v.props");
  WriteText(file, QString::fromUtf8("podpis=Łódź\rfont size=x\rfont color=255\rpodpBezTla=T\r").toUtf8());
  const CaptionSettings s = captionSettingsFromFile(file.toStdString());
  EXPECT_EQ(s.Text, QString::fromUtf8("Łódź"));
  EXPECT_EQ(s.FontSize, 18);
  EXPECT_EQ(s.FontColor, 255u);
  EXPECT_TRUE(s.NoBackground);
  EXPECT_TRUE(s.Italic);
  EXPECT_EQ(s.BackColor, kDefaultCaptionBackColor);
}

TEST(BatchCaption, StampsTheLowerLeftCornerOnly) {
  QTemporaryDir dir;
  const fs::path root = dir.path().toStdString();
  fs::create_directory(root / "in");
  fs::copy_file(fs::path(VELMORA_TEST_DATA "/samples/sanyo_sr662.jpg"), root / "in" / "a.jpg");
  const QString settings = dir.filePath("v.props");
  WriteText(settings, "podpis=Velmora\r");

  std::ostringstream out, err;
  ASSERT_EQ(batchMain({"--size", "300", "--caption", "--settings", settings.toStdString(), (root / "in").string(),
                       (root / "cap").string()},
                      out, err),
            0)
      << err.str();
  ASSERT_EQ(batchMain({"--size", "300", (root / "in").string(), (root / "plain").string()}, out, err), 0);
  const QImage cap = loadJpeg(root / "cap" / "_a.jpg");
  const QImage plain = loadJpeg(root / "plain" / "_a.jpg");
  ASSERT_EQ(cap.size(), plain.size());
  // The caption lies in the rows from h - 2 * th - 1 down, from column th + 4 on (th, the height of "X",
  // is under 30 pixels here); the rows well above it, clear of the 16-pixel blocks the encoder shares with
  // it, decode alike.
  EXPECT_EQ(cap.copy(0, 0, 300, 150), plain.copy(0, 0, 300, 150));
  EXPECT_NE(cap.copy(28, 180, 80, 20), plain.copy(28, 180, 80, 20));

  // A settings file named but missing: nothing is written.
  std::ostringstream err2;
  EXPECT_EQ(batchMain({"--caption", "--settings", dir.filePath("brak.props").toStdString(), (root / "in").string(),
                       (root / "none").string()},
                      out, err2),
            1);
  EXPECT_THAT(err2.str(), HasSubstr("brak.props"));
  EXPECT_FALSE(fs::exists(root / "none" / "_a.jpg"));

  // A named pipe as the settings file is refused at once instead of blocking the batch for ever.
  const std::string pipe = dir.filePath("potok.props").toStdString();
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  std::ostringstream err3;
  EXPECT_EQ(batchMain({"--caption", "--settings", pipe, (root / "in").string(), (root / "none").string()}, out, err3),
            1);
  EXPECT_THAT(err3.str(), HasSubstr("potok.props\": to nie jest zwykły plik"));
  EXPECT_FALSE(fs::exists(root / "none" / "_a.jpg"));
}

}  // namespace
}  // namespace velmora::batch
