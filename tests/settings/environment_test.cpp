#include "settings/environment.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <cstdio>

namespace velmora {
namespace {

using namespace Qt::StringLiterals;

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
  ASSERT_EQ(f.write(bytes), bytes.size());
}

// A temporary home: <tmp>/bin holds the executable's folder, <tmp>/config the per-user configuration.
class EnvironmentTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp.isValid());
    ASSERT_TRUE(QDir(tmp.path()).mkpath("bin"));
    bin = tmp.filePath("bin") + "/";
    config = tmp.filePath("config");
  }
  TEnvironmentInputs Inputs(const QString& exeName = "velmora") {
    TEnvironmentInputs in;
    in.ExePath = bin + exeName;
    in.ConfigRoot = config;
    in.Version = "2.1.0.0";
    in.Report = [this](const QString& m) { reports.append(m); };
    return in;
  }

  QTemporaryDir tmp;
  QString bin, config;
  QStringList reports;
};

TEST_F(EnvironmentTest, FirstStartCreatesFoldersAndShutdownWritesSecondStartLoads) {
  ASSERT_TRUE(QDir().mkdir(config));
  const QString settings = config + "/Velmora/velmora/";
  {
    TEnvironment env(Inputs());
    EXPECT_EQ(env.ExeFolder(), bin);
    EXPECT_EQ(env.CompanyFolder(), config + "/Velmora");
    EXPECT_EQ(env.SettingsFolder(), settings);
    EXPECT_EQ(env.TempFolder(), settings + "TEMP/");
    EXPECT_TRUE(QFileInfo(settings + "TEMP").isDir());
    EXPECT_EQ(env.PropsFileName(), settings + "velmora.props");
    EXPECT_EQ(env.FileVersion(), "2.1.0.0");
    EXPECT_EQ(env.AppProps().Count(), 0);
    EXPECT_EQ(env.LastChosenFolder(), "");
    EXPECT_FALSE(QFile::exists(env.PropsFileName()));  // written at shut-down, not before
    env.AppProps().Set("size", "1280");
    env.AppProps().Set(u"kolor tła podpisu"_s, "32768");
    env.AppProps().Set("ostWskazanyFolder", u"/home/ala/zdjęcia"_s);
  }  // the destructor shuts down
  EXPECT_EQ(ReadAll(settings + "velmora.props"), QByteArray("size=1280\rkolor t\xc5\x82"
                                                            "a podpisu=32768\rostWskazanyFolder=/home/ala/zdj\xc4\x99"
                                                            "cia\r"));
  EXPECT_TRUE(reports.isEmpty());

  TEnvironment second(Inputs());
  EXPECT_EQ(second.AppProps().Get("SIZE"), "1280");
  EXPECT_EQ(second.LastChosenFolder(), u"/home/ala/zdjęcia"_s);
  EXPECT_TRUE(second.Shutdown());
  EXPECT_TRUE(second.Shutdown());
}

// Each row puts an obstacle (a file where a folder should be, or nothing) somewhere on the road to
// <config>/Velmora/velmora and says where the settings end up. Files as obstacles work for root too.
TEST_F(EnvironmentTest, SettingsFolderFallbacks) {
  struct Row {
    const char* name;
    QString configRoot;  // relative to the temporary home; "" for none
    QStringList folders, files;
    bool nextToExe;
  };
  const Row rows[] = {
      {"config made one level", "config", {}, {}, false},
      {"config parent missing", "nope/config", {}, {}, true},
      {"no config root", "", {}, {}, true},
      {"config is a file", "config", {}, {"config"}, true},
      {"company is a file", "config", {"config"}, {"config/Velmora"}, true},
      {"title is a file", "config", {"config/Velmora"}, {"config/Velmora/velmora"}, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    QTemporaryDir home;
    QDir h(home.path());
    ASSERT_TRUE(h.mkdir("bin"));
    for (const QString& f : r.folders) ASSERT_TRUE(h.mkpath(f));
    for (const QString& f : r.files) WriteAll(h.filePath(f), "x");
    TEnvironmentInputs in;
    in.ExePath = h.filePath("bin/velmora");
    in.ConfigRoot = r.configRoot.isEmpty() ? QString() : h.filePath(r.configRoot);
    in.Report = [](const QString&) {};
    TEnvironment env(std::move(in));
    const QString expected = r.nextToExe ? h.filePath("bin") + "/" : h.filePath("config/Velmora/velmora") + "/";
    EXPECT_EQ(env.SettingsFolder(), expected);
    EXPECT_EQ(env.PropsFileName(), expected + "velmora.props");
    EXPECT_TRUE(QFileInfo(expected + "TEMP").isDir());
    EXPECT_TRUE(env.Shutdown());
    EXPECT_TRUE(QFile::exists(expected + "velmora.props"));
  }
}

TEST_F(EnvironmentTest, UnwritableCompanyFolderFallsBackToExeFolder) {
  if (geteuid() == 0) GTEST_SKIP() << "root may create folders anywhere";
  ASSERT_TRUE(QDir().mkpath(config + "/Velmora"));
  QFile::setPermissions(config + "/Velmora", QFileDevice::ReadOwner | QFileDevice::ExeOwner);
  TEnvironment env(Inputs());
  EXPECT_EQ(env.SettingsFolder(), bin);
  QFile::setPermissions(config + "/Velmora", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(EnvironmentTest, ExecutableNameDecidesTitleFolderAndFile) {
  ASSERT_TRUE(QDir().mkdir(config));
  TEnvironment env(Inputs("PICTA.Tool.bin"));
  EXPECT_EQ(env.AppTitle(), "Picta");
  EXPECT_EQ(env.SettingsFolder(), config + "/Velmora/Picta/");
  EXPECT_EQ(env.PropsFileName(), config + "/Velmora/Picta/PICTA.Tool.props");
}

TEST(FileVersionFromText, FourNumbersOrNothing) {
  const std::pair<QString, QString> rows[] = {
      {"2.1.0.0", "2.1.0.0"}, {"0.1.0.1", "0.1.0.1"}, {"1.2", "1.2.0.0"}, {"", ""}, {"1.x", ""},
      {"70000.0.0.0", ""},    {"1.2.3.4.5", ""},
  };
  for (const auto& [text, expected] : rows) EXPECT_EQ(FileVersionFromText(text), expected) << text.toStdString();
  EXPECT_EQ(TEnvironmentInputs().Version, QString(VELMORA_VERSION));
}

TEST_F(EnvironmentTest, Windows1250FileKeepsPolishKeysAndIsRewrittenAsUtf8) {
  ASSERT_TRUE(QDir().mkpath(config + "/Velmora/velmora"));
  const QString file = config + "/Velmora/velmora/velmora.props";
  WriteAll(file,
           "kolor t\xb3"
           "a podpisu=255\r\nzmie\xf1 rozmiar=T\r");
  {
    TEnvironment env(Inputs());
    EXPECT_EQ(env.AppProps().Get(u"kolor tła podpisu"_s), "255");
    EXPECT_EQ(env.AppProps().Get(u"ZMIEŃ ROZMIAR"_s), "T");
  }
  EXPECT_EQ(ReadAll(file), QByteArray("kolor t\xc5\x82"
                                      "a podpisu=255\rzmie\xc5\x84 rozmiar=T\r"));
}

TEST_F(EnvironmentTest, NulInTheFileLosesWhatFollowsAtTheNextSave) {
  ASSERT_TRUE(QDir().mkpath(config + "/Velmora/velmora"));
  const QString file = config + "/Velmora/velmora/velmora.props";
  WriteAll(file, QByteArray("a=1\rb=2\0c=3\r", 12));
  TEnvironment(Inputs()).Shutdown();
  EXPECT_EQ(ReadAll(file), QByteArray("a=1\rb=2\r"));
}

TEST_F(EnvironmentTest, UnreadableSettingsFileIsReportedAndKept) {
  ASSERT_TRUE(QDir().mkpath(config + "/Velmora/velmora/velmora.props"));  // a folder where the file should be
  TEnvironment env(Inputs());
  EXPECT_TRUE(env.SettingsUnreadable());
  EXPECT_EQ(env.AppProps().Count(), 0);
  ASSERT_EQ(reports.size(), 1);
  EXPECT_TRUE(reports[0].contains(u"Nie można odczytać pliku ustawień"_s)) << reports[0].toStdString();
  env.AppProps().Set("size", "800");
  EXPECT_FALSE(env.Shutdown());
  EXPECT_TRUE(QFileInfo(env.PropsFileName()).isDir());
  EXPECT_EQ(reports.size(), 1);
}

TEST_F(EnvironmentTest, FileWithoutReadPermissionIsNotOverwritten) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads any file";
  ASSERT_TRUE(QDir().mkpath(config + "/Velmora/velmora"));
  const QString file = config + "/Velmora/velmora/velmora.props";
  WriteAll(file, "size=640\r");
  QFile::setPermissions(file, QFileDevice::WriteOwner);
  {
    TEnvironment env(Inputs());
    EXPECT_TRUE(env.SettingsUnreadable());
    EXPECT_EQ(env.AppProps().Get("size"), "");
  }
  QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  EXPECT_EQ(ReadAll(file), "size=640\r");
}

TEST_F(EnvironmentTest, FailedWriteIsReportedAndLeavesNoStrayFile) {
  ASSERT_TRUE(QDir().mkdir(config));
  TEnvironment env(Inputs());
  env.AppProps().Set("size", "800");
  ASSERT_TRUE(QDir(config + "/Velmora").removeRecursively());  // the settings folder is gone
  EXPECT_FALSE(env.Shutdown());
  ASSERT_EQ(reports.size(), 1);
  EXPECT_TRUE(reports[0].startsWith(u"Nie można zapisać pliku ustawień"_s)) << reports[0].toStdString();
  EXPECT_FALSE(QFileInfo::exists(config + "/Velmora"));
}

TEST_F(EnvironmentTest, FailedWriteKeepsTheOldFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  const QString folder = config + "/Velmora/velmora";
  ASSERT_TRUE(QDir().mkpath(folder + "/TEMP"));
  WriteAll(folder + "/velmora.props", "size=640\r");
  TEnvironment env(Inputs());
  env.AppProps().Set("size", "800");
  QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
  EXPECT_FALSE(env.Shutdown());
  QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  EXPECT_EQ(ReadAll(folder + "/velmora.props"), "size=640\r");
  EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{"velmora.props"});
}

TEST_F(EnvironmentTest, ShutdownWritesOnceAndAnEmptyStoreGivesAnEmptyFile) {
  ASSERT_TRUE(QDir().mkdir(config));
  TEnvironment env(Inputs());
  EXPECT_TRUE(env.Shutdown());
  EXPECT_EQ(QFileInfo(env.PropsFileName()).size(), 0);
  env.AppProps().Set("late", "1");
  EXPECT_TRUE(env.Shutdown());
  EXPECT_EQ(QFileInfo(env.PropsFileName()).size(), 0);
}

TEST(ProcessFormats, DotAndFixedDatesWhateverTheLocale) {
  QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
  ASSERT_EQ(QLocale().toString(1.5), "1,5");  // the fixture really is a comma locale
  ApplyProcessFormats();
  EXPECT_EQ(QLocale().toString(1.5), "1.5");
  EXPECT_EQ(QLocale().toDouble("2.25"), 2.25);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.1f", 2.5);
  EXPECT_STREQ(buf, "2.5");
  const QDateTime t(QDate(2024, 3, 5), QTime(7, 8, 9));
  EXPECT_EQ(FormatDateTime(t), "2024-03-05 07:08:09");
  EXPECT_EQ(FormatShortDate(t.date()), "2024-03-05");
  EXPECT_EQ(FormatLongTime(t.time()), "07:08:09");
  EXPECT_TRUE(FormatLongDate(t.date()).startsWith("05 ")) << FormatLongDate(t.date()).toStdString();
  EXPECT_TRUE(FormatLongDate(t.date()).endsWith(" 2024"));
}

}  // namespace
}  // namespace velmora
