#include "settings/environment.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <future>

#include "settings/textutils.h"
#include "support/faulty_calls.h"
#include "support/small_tmpfs.h"

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

TEST_F(EnvironmentTest, NulInTheFileLosesOnlyItsLineAtTheNextSave) {
  ASSERT_TRUE(QDir().mkpath(config + "/Velmora/velmora"));
  const QString file = config + "/Velmora/velmora/velmora.props";
  WriteAll(file, QByteArray("a=1\rb=2\0c=3\rZapUst=T\r", 21));
  TEnvironment(Inputs()).Shutdown();
  EXPECT_EQ(ReadAll(file), QByteArray("a=1\rZapUst=T\r"));
}

// Two windows closing one after the other: the second keeps the history entries the first added, its
// own first, and what it removed stays removed.
TEST_F(EnvironmentTest, ListKeysAreMergedWithTheFileAtEachSave) {
  ASSERT_TRUE(QDir().mkpath(config + "/Velmora/velmora"));
  const QString file = config + "/Velmora/velmora/velmora.props";
  WriteAll(file, "folderyZ=/a;/b\r");
  TEnvironment first(Inputs()), second(Inputs());
  for (TEnvironment* env : {&first, &second}) env->MergeListsOnSave({"folderyZ"});
  first.AppProps().Set("folderyZ", "/a;/b;/c");
  ASSERT_EQ(first.SaveSettings(), TSaveOutcome::Written);
  second.AppProps().Set("folderyZ", "/d;/A");
  ASSERT_EQ(second.SaveSettings(), TSaveOutcome::Written);
  EXPECT_EQ(ReadAll(file), "folderyZ=/d;/A;/c\r");
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

// A settings path that is no regular file, or a file too large to be settings: never opened (a pipe would
// block the start for ever, /dev/zero would never end), never parsed, never written; the program starts
// with its defaults and says why.
TEST_F(EnvironmentTest, PathsThatAreNoSettingsFileAreNeverOpenedNorOverwritten) {
  const QString folder = config + "/Velmora/velmora";
  const QString file = folder + "/velmora.props";
  QByteArray large(kMaxTextFileBytes + 1, '\0');
  QRandomGenerator random(11);
  for (char& c : large) c = static_cast<char>(random.bounded(256));
  struct Row {
    const char* name;
    std::function<void()> make;
    std::function<bool()> unchanged;
    QString reason;
  };
  const Row rows[] = {
      {"named pipe", [&] { ASSERT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0600), 0); },
       [&] { return QFileInfo(file).isFile() == false && QFileInfo(file).exists() && !QFileInfo(file).isDir(); },
       u"to nie jest zwykły plik"_s},
      {"device", [&] { ASSERT_TRUE(QFile::link("/dev/zero", file)); },
       [&] { return QFileInfo(file).symLinkTarget() == "/dev/zero"; }, u"to nie jest zwykły plik"_s},
      {"folder", [&] { ASSERT_TRUE(QDir().mkdir(file)); }, [&] { return QFileInfo(file).isDir(); },
       u"to nie jest zwykły plik"_s},
      {"random bytes over the limit", [&] { WriteAll(file, large); }, [&] { return ReadAll(file) == large; },
       u"plik jest większy niż 4194304 bajtów"_s},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ASSERT_TRUE(QDir(config).removeRecursively() || !QFileInfo::exists(config));
    ASSERT_TRUE(QDir().mkpath(folder));
    r.make();
    reports.clear();
    test::FaultyCalls calls;
    TEnvironmentInputs in = Inputs();
    in.FileCalls = &calls;
    auto start = std::async(std::launch::async, [&] { return std::make_unique<TEnvironment>(std::move(in)); });
    if (start.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      ADD_FAILURE() << "start-up blocked on the settings path";
      // A writer that comes and goes gives the blocked reader its end of file.
      ::close(::open(QFile::encodeName(file).constData(), O_WRONLY | O_NONBLOCK));
    }
    std::unique_ptr<TEnvironment> env = start.get();
    EXPECT_TRUE(env->SettingsUnreadable());
    EXPECT_EQ(env->AppProps().Count(), 0);
    EXPECT_EQ(env->StartupProblem(),
              u"Nie można odczytać pliku ustawień \"%1\": %2. Program użyje ustawień "
              u"domyślnych i nie zapisze tego pliku."_s.arg(file, r.reason));
    EXPECT_EQ(reports, QStringList{env->StartupProblem()});
    env->AppProps().Set("size", "800");
    EXPECT_EQ(env->SaveSettings(), TSaveOutcome::Kept);
    EXPECT_FALSE(env->Shutdown());
    EXPECT_TRUE(r.unchanged());
    EXPECT_EQ(calls.opens, 0);
  }
}

TEST_F(EnvironmentTest, AFileOfExactlyTheLimitIsRead) {
  ASSERT_TRUE(QDir().mkpath(config + "/Velmora/velmora"));
  QByteArray bytes = "size=640\rk=" + QByteArray(kMaxTextFileBytes - 12, 'v') + "\r";
  ASSERT_EQ(bytes.size(), kMaxTextFileBytes);
  WriteAll(config + "/Velmora/velmora/velmora.props", bytes);
  TEnvironment env(Inputs());
  EXPECT_FALSE(env.SettingsUnreadable());
  EXPECT_EQ(env.AppProps().Get("size"), "640");
  EXPECT_EQ(env.AppProps().Get("k").size(), kMaxTextFileBytes - 12);
}

// The writer seam fails each call in turn: the old file stays byte for byte, the failure is told once,
// in Polish, and kept for the window to show.
TEST_F(EnvironmentTest, AFailedSaveKeepsTheOldFileAndTellsWhy) {
  using Step = test::FaultyCalls::Step;
  const QString folder = config + "/Velmora/velmora";
  const QString file = folder + "/velmora.props";
  const QByteArray old = u"folderyZ=/zdjęcia/2023;/zdjęcia/2024\rsize=640\r"_s.toUtf8();
  const std::pair<Step, QString> rows[] = {
      {Step::Write, u"brak miejsca na dysku"_s},
      {Step::Fsync, u"brak miejsca na dysku"_s},
      {Step::Close, u"brak miejsca na dysku"_s},
      {Step::Open, u"brak miejsca na dysku"_s},
  };
  for (const auto& [step, reason] : rows) {
    SCOPED_TRACE(static_cast<int>(step));
    ASSERT_TRUE(QDir().mkpath(folder));
    WriteAll(file, old);
    test::FaultyCalls calls;
    calls.failAt = step;
    calls.writeBudget = 20;
    TEnvironmentInputs in = Inputs();
    in.FileCalls = &calls;
    reports.clear();
    TEnvironment env(std::move(in));
    env.AppProps().Set("size", "800");
    EXPECT_EQ(env.SaveSettings(), TSaveOutcome::Failed);
    const QString message = u"Nie można zapisać pliku ustawień \"%1\": %2."_s.arg(file, reason);
    EXPECT_EQ(env.SaveProblem(), message);
    // The close has told it; the end of the program does not try the same again.
    EXPECT_FALSE(env.Shutdown());
    EXPECT_EQ(reports, QStringList{message});
    EXPECT_EQ(ReadAll(file), old);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"velmora.props"});
  }
}

TEST_F(EnvironmentTest, WhatACloseWroteIsNotWrittenAgainUnlessItChanged) {
  ASSERT_TRUE(QDir().mkdir(config));
  test::FaultyCalls calls;
  {
    TEnvironmentInputs in = Inputs();
    in.FileCalls = &calls;
    TEnvironment env(std::move(in));
    env.AppProps().Set("size", "800");
    EXPECT_EQ(env.SaveSettings(), TSaveOutcome::Written);
    EXPECT_TRUE(env.SaveProblem().isEmpty());
    EXPECT_TRUE(env.Shutdown());
    EXPECT_EQ(calls.opens, 1);
  }
  {
    TEnvironmentInputs in = Inputs();
    in.FileCalls = &calls;
    TEnvironment env(std::move(in));
    EXPECT_EQ(env.SaveSettings(), TSaveOutcome::Written);
    env.AppProps().Set("ostWskazanyFolder", "/a");  // changed after the close
    EXPECT_TRUE(env.Shutdown());
    EXPECT_EQ(calls.opens, 3);
  }
  EXPECT_EQ(ReadAll(config + "/Velmora/velmora/velmora.props"), "size=800\rostWskazanyFolder=/a\r");
}

TEST_F(EnvironmentTest, AKilledShutDownsTemporaryIsRemovedAtStart) {
  const QString folder = config + "/Velmora/velmora";
  ASSERT_TRUE(QDir().mkpath(folder));
  test::LeftoverTemporary(QFile::encodeName(folder).toStdString());
  WriteAll(folder + "/.velmora.props.tmp123", "someone else's");
  TEnvironment env(Inputs());
  EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{".velmora.props.tmp123"});
}

// A real full disk, as root: the settings folder on a tmpfs filled to its last byte.
TEST_F(EnvironmentTest, OnAFullDiskTheSettingsFileStaysByteForByte) {
  const QString folder = config + "/Velmora/velmora";
  ASSERT_TRUE(QDir().mkpath(folder));
  test::SmallTmpfs disk(QFile::encodeName(folder).toStdString(), 64 * 1024);
  if (!disk.Mounted()) GTEST_SKIP() << "needs root to mount a tmpfs";
  QByteArray old;
  for (int i = 0; i < 600; ++i) old += u"klucz %1=/zdjęcia/wakacje/%1\r"_s.arg(i).toUtf8();
  WriteAll(folder + "/velmora.props", old);
  TEnvironment env(Inputs());
  ASSERT_EQ(env.AppProps().Count(), 600);
  env.AppProps().Set("podpis", u"Zdjęcie: Łódź"_s);
  ASSERT_TRUE(disk.FillUp());
  EXPECT_FALSE(env.Shutdown());
  EXPECT_EQ(ReadAll(folder + "/velmora.props"), old);
  EXPECT_TRUE(env.SaveProblem().endsWith(u"brak miejsca na dysku."_s)) << env.SaveProblem().toStdString();
}

TEST_F(EnvironmentTest, OneStrayByteGarblesOneLineOnly) {
  ASSERT_TRUE(QDir().mkpath(config + "/Velmora/velmora"));
  const QString file = config + "/Velmora/velmora/velmora.props";
  WriteAll(file,
           "folderZ=/zdj\xc4\x99"
           "cia\rkolor t\xb3"
           "a podpisu=255\rpodpis=\xc5\x81\xc3\xb3"
           "d\xc5\xba\x80\rEXIF=T\r");
  {
    TEnvironment env(Inputs());
    EXPECT_EQ(env.AppProps().Get("folderZ"), u"/zdjęcia"_s);
    EXPECT_EQ(env.AppProps().Get(u"kolor tła podpisu"_s), "255");
    EXPECT_EQ(env.AppProps().Get("podpis"), u"Ĺ\uFFFDĂłdĹş€"_s);  // the one line with the stray byte
    EXPECT_EQ(env.AppProps().Get("EXIF"), "T");
  }
  EXPECT_EQ(ReadAll(file), u"folderZ=/zdjęcia\rkolor tła podpisu=255\rpodpis=Ĺ\uFFFDĂłdĹş€\rEXIF=T\r"_s.toUtf8());
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
