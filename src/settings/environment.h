#pragma once

// The start-up environment: fixed number and date formats, the program's folders, the settings file
// and the settings store AppProps filled from it, the last folder chosen in the folder picker, and the
// file version. main creates one TEnvironment after the QApplication and before the main window, hands
// the window a reference, and lets it go after the window is gone. The window's close (and the end of
// the desktop session) writes AppProps back to the settings file with SaveSettings, so a failure can be
// shown while the window is still there; Shutdown (or the destructor) writes whatever changed after.
//
// How the rest of the program reaches AppProps: through the TEnvironment& the main window receives
// (env.AppProps().Get(...)/Set(...)); dialogs that need it take the reference as an argument. There is
// no global instance, so every test builds its own environment in a temporary folder.
//
//   QApplication app(argc, argv);
//   TEnvironment env(TEnvironmentInputs::ForThisProcess());
//   { TForm1 window(env); window.show(); app.exec(); }
//   env.Shutdown();

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QTime>
#include <cstdint>
#include <functional>

#include "settings/props.h"

namespace velmora {

class FileSystemCalls;

// The process-wide formats, fixed whatever the user's regional settings say.
struct TFormatSettings {
  QChar DecimalSeparator;
  QChar ThousandSeparator;
  QChar DateSeparator;
  QChar TimeSeparator;
  const char* ShortDateFormat;  // in Qt's notation: yyyy-mm-dd
  const char* LongDateFormat;   // dd mmmm yyyy
  const char* LongTimeFormat;   // hh:nn:ss
};
inline constexpr TFormatSettings kFormatSettings{u'.', u' ', u'-', u':', "yyyy-MM-dd", "dd MMMM yyyy", "hh:mm:ss"};

// Makes C's printf/strtod and QLocale's default use "." whatever LANG says. QApplication sets the C
// locale from the environment, so this must run after it; TEnvironment's constructor calls it.
void ApplyProcessFormats();

// Dates and times in the fixed formats (the month name of the long date in the system's language).
QString FormatShortDate(const QDate& date);
QString FormatLongDate(const QDate& date);
QString FormatLongTime(const QTime& time);
// Short date, a space, long time.
QString FormatDateTime(const QDateTime& dateTime);

// Where start-up and shut-down problems are told: stderr unless a test listens. The window shows the
// same texts (StartupProblem, SaveProblem) to the user itself.
using TReport = std::function<void(const QString& message)>;

struct TEnvironmentInputs {
  QString ExePath;     // full path of the running executable
  QString ConfigRoot;  // the per-user configuration folder; empty when the system cannot tell
  QString Version = QStringLiteral(VELMORA_VERSION);  // major.minor.patch.build; empty: none
  TReport Report;                                     // empty: one line on stderr
  // The system calls the settings file is written with; null: the real ones. Must outlive the
  // environment. A test's seam for a full disk or a failing device.
  const FileSystemCalls* FileCalls = nullptr;

  // This process: QCoreApplication::applicationFilePath() and SpecialFolderPath(kCsidlAppData).
  static TEnvironmentInputs ForThisProcess();
};

// The application title from the executable's file name: the name up to its first ".", every character
// after the first in lower case ("Velmora.bin" gives "Velmora", "velmora" gives "velmora").
QString AppTitleFromExeName(const QString& exeFileName);

// Where a program keeps its settings file, the one rule of the window and of velmora-batch looking for
// the window's: UserFolder/FileName, or FileName in the program's own folder when UserFolder cannot be
// had (TEnvironment makes its folders, one level at a time, when missing).
struct TSettingsPlace {
  QString CompanyFolder;  // <config>/Velmora, no "/" at the end
  QString UserFolder;     // CompanyFolder/<title>; empty when the configuration folder or the title is unknown
  QString FileName;       // <name without extension>.props
};
TSettingsPlace SettingsPlaceFor(const QString& configRoot, const QString& exeFileName);

// Four numbers joined by "." (missing ones are 0); empty when the version is empty or not numbers.
QString FileVersionFromText(const QString& version);

enum class TSaveOutcome {
  Written,  // the file now holds AppProps
  Kept,     // the file was refused at start-up and is left as it is (see StartupProblem)
  Failed,   // not written; the old file is as it was (see SaveProblem)
};

class TEnvironment {
 public:
  // Start-up, in order: formats, FileVersion, ExeFolder, CompanyFolder, SettingsFolder (with every
  // fallback to ExeFolder), the TEMP folder, AppProps from PropsFileName, LastChosenFolder. Never
  // throws for folder or file problems. A settings path that is not a regular file (a pipe, a device,
  // a folder) is never opened, and a file over kMaxTextFileBytes is not parsed: like a file that
  // cannot be read, it is reported, AppProps starts empty, and the path is never written.
  explicit TEnvironment(TEnvironmentInputs inputs);
  // Runs Shutdown if it has not run.
  ~TEnvironment();
  TEnvironment(const TEnvironment&) = delete;
  TEnvironment& operator=(const TEnvironment&) = delete;

  // Writes AppProps to PropsFileName now (at a close, at the end of the desktop session), replacing
  // the file only by a complete new one; a failure is reported and leaves the old file as it was.
  // The keys given to MergeListsOnSave are merged with the file's first.
  TSaveOutcome SaveSettings();
  // Keys whose values are lists joined with ";" (the folder histories). At each save the list the file
  // holds then is merged into the store's: the store's entries first (this save is the newest), then
  // those another instance added since this one read the file (compared without regard to case, as the
  // histories look entries up; the design sets no limit on their number). So a second window closing
  // after the first keeps what the first saved; an entry removed here stays removed.
  void MergeListsOnSave(const QStringList& keys);
  // The end: SaveSettings, unless the last SaveSettings saw the store as it is now (its result stands).
  // Runs once; later calls return the first result. True when the file holds AppProps.
  bool Shutdown();

  // Why the settings file was not read at start-up (the message reported then); empty when it was
  // read or did not exist.
  const QString& StartupProblem() const { return startupProblem_; }
  // The message of the last failed SaveSettings; empty after a successful one.
  const QString& SaveProblem() const { return saveProblem_; }

  TProps& AppProps() { return props_; }
  const TProps& AppProps() const { return props_; }
  // The folder last chosen in the folder picker; starts as "ostWskazanyFolder".
  QString& LastChosenFolder() { return lastChosenFolder_; }
  const QString& LastChosenFolder() const { return lastChosenFolder_; }

  const QString& AppTitle() const { return appTitle_; }
  const QString& ExeFolder() const { return exeFolder_; }            // ends in "/"
  const QString& CompanyFolder() const { return companyFolder_; }    // <config>/Velmora, no "/" at the end
  const QString& SettingsFolder() const { return settingsFolder_; }  // ends in "/"
  const QString& TempFolder() const { return tempFolder_; }          // SettingsFolder + "TEMP/"
  const QString& PropsFileName() const { return propsFileName_; }
  const QString& FileVersion() const { return fileVersion_; }
  // True when an existing settings path could not be read at start-up (and will not be overwritten).
  bool SettingsUnreadable() const { return settingsUnreadable_; }

 private:
  void Tell(const QString& message) const;
  // The lists of MergeListsOnSave merged with the file's, into the store.
  void MergeListsFromFile();
  // The lists of the merged keys as the file held them when last read or written.
  void RememberLists(const TProps& file);

  TReport report_;
  const FileSystemCalls* fileCalls_ = nullptr;
  TProps props_{QChar(u'\r')};
  QStringList mergedKeys_;
  QHash<QString, QStringList> knownLists_;
  QString lastChosenFolder_;
  QString appTitle_;
  QString exeFolder_;
  QString companyFolder_;
  QString settingsFolder_;
  QString tempFolder_;
  QString propsFileName_;
  QString fileVersion_;
  QString startupProblem_;
  QString saveProblem_;
  bool settingsUnreadable_ = false;
  bool shutDown_ = false;
  bool written_ = false;
  bool attempted_ = false;
  std::uint64_t attemptedRevision_ = 0;
  TSaveOutcome lastOutcome_ = TSaveOutcome::Failed;
};

}  // namespace velmora
