#pragma once

// A temporary home for one window test: the settings folder, photo folders made from copies of the
// bundled samples, and helpers that drive the window as a user does.

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

#include "settings/environment.h"

class QComboBox;
class QListWidget;

namespace velmora {
class TForm1;
}

namespace velmora::test {

class AppHome {
 public:
  AppHome();
  bool Valid() const { return dir_.isValid(); }
  // A path inside the home.
  QString Path(const QString& relative) const;
  // Makes the folder (with its parents; a relative path is inside the home) and copies the samples into it, each under
  // its own name or, as "sample=name", under another. Returns the folder's path.
  QString PhotoFolder(const QString& relative, const QStringList& samples) const;
  TEnvironment& Env() { return *env_; }
  TProps& Props() { return env_->AppProps(); }
  // The settings as a file, as the environment writes it at shut-down.
  QString WriteSettingsFile(const QString& relative) const;

 private:
  QTemporaryDir dir_;
  std::unique_ptr<TEnvironment> env_;
};

// Picks the history entry from the field's drop-down list.
void ChooseEntry(QComboBox* field, int index);
// Adds the folder to the source history through the window and picks it, as "---" would.
void ChooseSourceFolder(TForm1& form, const QString& folder);
// Clicks the list entry (it becomes the highlighted one).
void ClickEntry(QListWidget* list, int row);
// The ticked entries' names.
QStringList Ticked(const QListWidget* list);
QStringList Names(const QListWidget* list);
// The file names in a folder, sorted.
QStringList FilesIn(const QString& folder);

// Answers the next message dialog with the button of that caption ("OK", "Tak", "Nie") and keeps its
// text; the text stays empty when no dialog came.
struct MessageAnswer {
  QString Text;
  bool Shown = false;
  QPointer<QTimer> Watch;
  // Stops waiting, so a later dialog is not taken for this one.
  void Cancel();
};
std::shared_ptr<MessageAnswer> AnswerNextMessage(const QString& button);
// Answers the next dialogs one after another with these buttons, keeping their texts in the order they
// came. A button more than the dialogs that came guards against a dialog that should not come; Cancel
// then stops waiting for it.
struct MessageAnswers {
  QStringList Texts;
  QPointer<QTimer> Watch;
  void Cancel();
};
std::shared_ptr<MessageAnswers> AnswerMessages(const QStringList& buttons);

}  // namespace velmora::test
