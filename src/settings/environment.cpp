#include "settings/environment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringList>
#include <clocale>
#include <cstdio>
#include <filesystem>

#include "base/fileio.h"
#include "settings/filehelpers.h"
#include "settings/textutils.h"

namespace velmora {

namespace {

// A single-level create; its failure is a result, never an error.
bool MakeFolder(const QString& path) { return !path.isEmpty() && QDir().mkdir(path); }

bool ExistsOrMade(const QString& path) { return FolderExists(path) || MakeFolder(path); }

QString WithDelimiter(const QString& path) {
  return path.isEmpty() || path.endsWith(kPathDelimiter) ? path : path + kPathDelimiter;
}

QStringList ListOf(const QString& value) { return SplitToList(value, {U';'}, true); }

bool Holds(const QStringList& list, const QString& entry) { return list.contains(entry, Qt::CaseInsensitive); }

}  // namespace

void ApplyProcessFormats() {
  std::setlocale(LC_NUMERIC, "C");
  std::setlocale(LC_TIME, "C");
  QLocale::setDefault(QLocale::c());
}

QString FormatShortDate(const QDate& date) { return date.toString(QLatin1String(kFormatSettings.ShortDateFormat)); }

QString FormatLongDate(const QDate& date) {
  if (!date.isValid()) return {};
  return QStringLiteral("%1 %2 %3")
      .arg(date.day(), 2, 10, QChar(u'0'))
      .arg(QLocale::system().standaloneMonthName(date.month(), QLocale::LongFormat))
      .arg(date.year(), 4, 10, QChar(u'0'));
}

QString FormatLongTime(const QTime& time) { return time.toString(QLatin1String(kFormatSettings.LongTimeFormat)); }

QString FormatDateTime(const QDateTime& dateTime) {
  return FormatShortDate(dateTime.date()) + u' ' + FormatLongTime(dateTime.time());
}

TEnvironmentInputs TEnvironmentInputs::ForThisProcess() {
  TEnvironmentInputs inputs;
  inputs.ExePath = QCoreApplication::applicationFilePath();
  SpecialFolderPath(kCsidlAppData, inputs.ConfigRoot);
  return inputs;
}

QString AppTitleFromExeName(const QString& exeFileName) {
  const QString name = exeFileName.section(u'.', 0, 0);
  if (name.isEmpty()) return name;
  return name.left(1) + name.mid(1).toLower();
}

TSettingsPlace SettingsPlaceFor(const QString& configRoot, const QString& exeFileName) {
  TSettingsPlace place;
  place.CompanyFolder = WithDelimiter(configRoot) + QStringLiteral("Velmora");
  const QString title = AppTitleFromExeName(exeFileName);
  if (!configRoot.isEmpty() && !title.isEmpty()) place.UserFolder = place.CompanyFolder + kPathDelimiter + title;
  place.FileName = NameWithoutExt(exeFileName) + QStringLiteral(".props");
  return place;
}

QString FileVersionFromText(const QString& version) {
  if (version.isEmpty()) return {};
  const QStringList parts = version.split(u'.');
  if (parts.size() > 4) return {};
  int numbers[4] = {0, 0, 0, 0};
  for (qsizetype i = 0; i < parts.size(); ++i) {
    bool ok = false;
    const uint n = parts[i].toUInt(&ok);
    // Each number is a 16-bit half of a version word.
    if (!ok || n > 0xFFFF) return {};
    numbers[i] = static_cast<int>(n);
  }
  return QStringLiteral("%1.%2.%3.%4").arg(numbers[0]).arg(numbers[1]).arg(numbers[2]).arg(numbers[3]);
}

TEnvironment::TEnvironment(TEnvironmentInputs inputs)
    : report_(std::move(inputs.Report)), fileCalls_(inputs.FileCalls) {
  ApplyProcessFormats();
  fileVersion_ = FileVersionFromText(inputs.Version);

  const QFileInfo exe(inputs.ExePath);
  exeFolder_ = WithDelimiter(exe.absolutePath());
  const QString exeName = exe.fileName();
  appTitle_ = AppTitleFromExeName(exeName);

  const TSettingsPlace place = SettingsPlaceFor(inputs.ConfigRoot, exeName);
  companyFolder_ = place.CompanyFolder;

  settingsFolder_ = exeFolder_;
  if (ExistsOrMade(WithDelimiter(inputs.ConfigRoot)) && ExistsOrMade(companyFolder_) && !place.UserFolder.isEmpty() &&
      ExistsOrMade(place.UserFolder)) {
    settingsFolder_ = place.UserFolder + kPathDelimiter;
  }

  const QString temp = settingsFolder_ + QStringLiteral("TEMP");
  if (!FolderExists(temp)) MakeFolder(temp);
  tempFolder_ = temp + kPathDelimiter;

  propsFileName_ = settingsFolder_ + place.FileName;
  // A shut-down killed between writing and renaming leaves its temporary here.
  removeStaleTemporaries(std::filesystem::path(QFile::encodeName(settingsFolder_).toStdString()));
  // exists() asks the file system about the path without opening it, so a pipe there cannot block.
  if (QFileInfo::exists(propsFileName_)) {
    try {
      props_.LoadFromText(LoadFileToText(propsFileName_));
    } catch (const FileError& e) {
      // Starting is worth more than these settings, and overwriting them would lose them for good.
      props_.Clear();
      settingsUnreadable_ = true;
      startupProblem_ = QStringLiteral(
                            "Nie można odczytać pliku ustawień \"%1\": %2. Program użyje ustawień "
                            "domyślnych i nie zapisze tego pliku.")
                            .arg(propsFileName_, QString::fromStdString(e.reason()));
      Tell(startupProblem_);
    }
  }

  lastChosenFolder_ = props_.Get(QString::fromLatin1(kLastChosenFolderKey));
}

void TEnvironment::MergeListsOnSave(const QStringList& keys) {
  mergedKeys_ = keys;
  RememberLists(props_);
}

void TEnvironment::RememberLists(const TProps& file) {
  for (const QString& key : mergedKeys_) knownLists_[key] = ListOf(file.Get(key));
}

void TEnvironment::MergeListsFromFile() {
  if (mergedKeys_.isEmpty() || !QFileInfo::exists(propsFileName_)) return;
  TProps file(props_.Separator);
  try {
    file.LoadFromText(LoadFileToText(propsFileName_));
  } catch (const FileError&) {
    return;  // nothing to merge with; the write says what is wrong, if anything
  }
  for (const QString& key : mergedKeys_) {
    const QStringList mine = ListOf(props_.Get(key));
    const QStringList& known = knownLists_[key];
    QStringList merged = mine;
    for (const QString& entry : ListOf(file.Get(key)))
      if (!Holds(known, entry) && !Holds(merged, entry)) merged << entry;
    if (merged != mine) props_.Set(key, JoinList(merged, QStringLiteral(";"), false));
  }
}

TEnvironment::~TEnvironment() {
  try {
    Shutdown();
  } catch (...) {
    // Nothing may leave a destructor; Shutdown itself reports what it can.
  }
}

TSaveOutcome TEnvironment::SaveSettings() {
  if (settingsUnreadable_) return TSaveOutcome::Kept;
  MergeListsFromFile();
  attempted_ = true;
  attemptedRevision_ = props_.Revision();
  const QByteArray bytes = props_.ToText().toUtf8();
  try {
    writeFileAtomically(
        std::filesystem::path(QFile::encodeName(propsFileName_).toStdString()),
        {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())},
        fileCalls_ != nullptr ? *fileCalls_ : systemFileCalls());
  } catch (const FileError& e) {
    saveProblem_ = QStringLiteral("Nie można zapisać pliku ustawień \"%1\": %2.")
                       .arg(propsFileName_, QString::fromStdString(e.reason()));
    Tell(saveProblem_);
    lastOutcome_ = TSaveOutcome::Failed;
    return lastOutcome_;
  }
  saveProblem_.clear();
  RememberLists(props_);
  lastOutcome_ = TSaveOutcome::Written;
  return lastOutcome_;
}

bool TEnvironment::Shutdown() {
  if (shutDown_) return written_;
  shutDown_ = true;
  // What a close has just written, or failed to write and told, is not done over again.
  if (attempted_ && attemptedRevision_ == props_.Revision()) {
    written_ = lastOutcome_ == TSaveOutcome::Written;
  } else {
    written_ = SaveSettings() == TSaveOutcome::Written;
  }
  return written_;
}

void TEnvironment::Tell(const QString& message) const {
  if (report_) {
    report_(message);
    return;
  }
  std::fprintf(stderr, "%s\n", message.toUtf8().constData());
}

}  // namespace velmora
