#include "settings/environment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QStringList>
#include <clocale>
#include <cstdio>

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

TEnvironment::TEnvironment(TEnvironmentInputs inputs) : report_(std::move(inputs.Report)) {
  ApplyProcessFormats();
  fileVersion_ = FileVersionFromText(inputs.Version);

  const QFileInfo exe(inputs.ExePath);
  exeFolder_ = WithDelimiter(exe.absolutePath());
  const QString exeName = exe.fileName();
  appTitle_ = AppTitleFromExeName(exeName);

  const QString appData = WithDelimiter(inputs.ConfigRoot);
  companyFolder_ = appData + QStringLiteral("Velmora");

  settingsFolder_ = exeFolder_;
  if (ExistsOrMade(appData) && ExistsOrMade(companyFolder_)) {
    const QString titled = companyFolder_ + kPathDelimiter + appTitle_;
    if (!appTitle_.isEmpty() && ExistsOrMade(titled)) settingsFolder_ = titled + kPathDelimiter;
  }

  const QString temp = settingsFolder_ + QStringLiteral("TEMP");
  if (!FolderExists(temp)) MakeFolder(temp);
  tempFolder_ = temp + kPathDelimiter;

  propsFileName_ = settingsFolder_ + NameWithoutExt(exeName) + QStringLiteral(".props");
  if (QFileInfo::exists(propsFileName_)) {
    try {
      props_.LoadFromText(LoadFileToText(propsFileName_));
    } catch (const EFileError&) {
      // Starting is worth more than these settings, and overwriting them would lose them for good.
      props_.Clear();
      settingsUnreadable_ = true;
      Tell(QStringLiteral("Nie można odczytać pliku ustawień \"%1\". Program użyje ustawień domyślnych "
                          "i nie zapisze tego pliku.")
               .arg(propsFileName_));
    }
  }

  lastChosenFolder_ = props_.Get(QString::fromLatin1(kLastChosenFolderKey));
}

TEnvironment::~TEnvironment() {
  try {
    Shutdown();
  } catch (...) {
    // Nothing may leave a destructor; Shutdown itself reports what it can.
  }
}

bool TEnvironment::Shutdown() {
  if (shutDown_) return written_;
  shutDown_ = true;
  if (settingsUnreadable_) return false;
  QSaveFile file(propsFileName_);
  bool ok = file.open(QIODevice::WriteOnly);
  if (ok) {
    try {
      WriteTextToStream(props_.ToText(), file);
    } catch (const EFileError&) {
      ok = false;
    }
  }
  // commit() renames the finished temporary file over the old one; cancelled or failed, the old stays.
  if (ok) ok = file.commit();
  if (!ok) {
    file.cancelWriting();
    Tell(QStringLiteral("Nie można zapisać pliku ustawień \"%1\": %2").arg(propsFileName_, file.errorString()));
  }
  written_ = ok;
  return ok;
}

void TEnvironment::Tell(const QString& message) const {
  if (report_) {
    report_(message);
    return;
  }
  std::fprintf(stderr, "%s\n", message.toUtf8().constData());
}

}  // namespace velmora
