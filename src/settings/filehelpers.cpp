#include "settings/filehelpers.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>

#include "settings/textutils.h"

namespace velmora {

namespace {

// Windows' "*.*" matches every name, dotless ones included; Qt's needs a dot.
QString PlatformPattern(const QString& pattern) {
  return pattern == QStringLiteral("*.*") ? QStringLiteral("*") : pattern;
}

// The extension of a file name as the file layer sees it: from the last "." of the name part on.
qsizetype ExtensionStart(const QString& path) {
  const qsizetype dot = path.lastIndexOf(u'.');
  return dot > path.lastIndexOf(kPathDelimiter) ? dot : -1;
}

}  // namespace

TFileNameOrder::TFileNameOrder() : collator_(QLocale(QLocale::Polish, QLocale::Poland)) {
  collator_.setCaseSensitivity(Qt::CaseInsensitive);
  collator_.setNumericMode(true);
}

bool TFileNameOrder::operator()(const QString& a, const QString& b) const {
  const int order = collator_.compare(a, b);
  // "IMG_1" and "img_1", or "img01" and "img1", are equal to the collator; some order must still hold.
  return order != 0 ? order < 0 : a < b;
}

void SortFileNames(QStringList& names) { std::sort(names.begin(), names.end(), TFileNameOrder()); }

void ListFolderFiles(const QString& folder, QStringList& list, bool recurse, const QString& pattern) {
  if (recurse) list.append(folder);
  if (folder.isEmpty() || pattern.isEmpty()) return;
  const QString prefix = folder.endsWith(kPathDelimiter) ? folder : folder + kPathDelimiter;
  // No QDir::CaseSensitive: the pattern matches without regard to case. Hidden and system entries are
  // asked for as the attribute mask 0x3F did; what they are is decided below.
  QDirIterator it(prefix, {PlatformPattern(pattern)},
                  QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  // Linux file systems list in hash order; the entries are taken by name, folders in their place.
  QList<QFileInfo> entries;
  while (it.hasNext()) {
    it.next();
    entries.append(it.fileInfo());
  }
  const TFileNameOrder order;
  std::sort(entries.begin(), entries.end(),
            [&order](const QFileInfo& a, const QFileInfo& b) { return order(a.fileName(), b.fileName()); });
  for (const QFileInfo& info : entries) {
    if (info.isDir()) {
      if (recurse && !info.isSymLink()) ListFolderFiles(prefix + info.fileName(), list, true, QStringLiteral("*.*"));
      continue;
    }
    // Only regular files: opening a pipe named like a photo would block the program.
    if (info.isFile()) list.append(prefix + info.fileName());
  }
}

QString NameWithoutExt(const QString& path) {
  const QString name = path.mid(path.lastIndexOf(kPathDelimiter) + 1);
  const qsizetype dot = name.lastIndexOf(u'.');
  return dot < 0 ? name : name.left(dot);
}

bool FolderExists(const QString& path) { return !path.isEmpty() && QFileInfo(path).isDir(); }

int SpecialFolderPath(int id, QString& path) {
  if (id != kCsidlAppData) return kStatusInvalidArg;
  QString found = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (found.isEmpty()) return kStatusUnexpected;
  if (!found.endsWith(kPathDelimiter)) found += kPathDelimiter;
  path = found;
  return kStatusOk;
}

QString CompleteExtensionFromFilter(const QString& chosen, const QString& filter) {
  const qsizetype ext = ExtensionStart(chosen);
  if (!((!filter.isEmpty() && ext < 0) || chosen.endsWith(u'.'))) return chosen;
  QString pattern = filter.contains(u'|') ? ExtractField(2, filter, u'|') : filter;
  pattern = ExtractField(1, pattern, u';');
  pattern.remove(u'*');
  // "*.*" and "*" leave a bare "."; "foo." names another file than "foo" here, so that is no extension.
  if (!pattern.startsWith(u'.') || pattern.size() < 2 || pattern.contains(u'?')) return chosen;
  return (ext < 0 ? chosen : chosen.left(ext)) + pattern;
}

QString FilterToNameFilters(const QString& filter) {
  const QStringList fields = filter.split(u'|', Qt::KeepEmptyParts);
  QStringList filters;
  for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
    QString patterns = fields[i + 1];
    patterns.replace(u';', u' ');
    // Qt takes the patterns from the last parenthesised group and, with details hidden, shows what
    // precedes it: the description exactly as given.
    filters.append(QStringLiteral("%1 (%2)").arg(fields[i], patterns.simplified()));
  }
  return filters.join(QStringLiteral(";;"));
}

TFilePickerStart FilePickerStart(const QString& startPath) {
  if (startPath.isEmpty()) return {};
  const QFileInfo info(startPath);
  if (info.isFile()) return {info.absolutePath(), info.fileName()};
  if (info.isDir()) return {startPath, QString()};
  return {QString(), startPath};
}

bool RememberChosenFolder(const QString& chosen, QString& lastChosenFolder, TProps& props) {
  if (chosen.isEmpty() || chosen == lastChosenFolder) return false;
  lastChosenFolder = chosen;
  props.Set(QString::fromLatin1(kLastChosenFolderKey), chosen);
  return true;
}

}  // namespace velmora
