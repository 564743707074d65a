#include "app_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "app/form1.h"
#include "dialogs/messagedialogs.h"
#include "support/modal_helpers.h"

namespace velmora::test {

AppHome::AppHome() {
  QDir(dir_.path()).mkpath(QStringLiteral("bin"));
  TEnvironmentInputs in;
  in.ExePath = Path(QStringLiteral("bin/velmora"));
  in.ConfigRoot = Path(QStringLiteral("config"));
  in.Report = [](const QString&) {};
  env_ = std::make_unique<TEnvironment>(std::move(in));
}

QString AppHome::Path(const QString& relative) const { return dir_.filePath(relative); }

QString AppHome::PhotoFolder(const QString& relative, const QStringList& samples) const {
  const QString folder = QDir::isAbsolutePath(relative) ? relative : Path(relative);
  QDir().mkpath(folder);
  for (const QString& sample : samples) {
    const QString from = sample.section(u'=', 0, 0);
    const QString to = sample.contains(u'=') ? sample.section(u'=', 1) : from;
    QFile::copy(QStringLiteral(VELMORA_TEST_DATA "/samples/") + from, folder + u'/' + to);
  }
  return folder;
}

QString AppHome::WriteSettingsFile(const QString& relative) const {
  const QString path = Path(relative);
  QFile file(path);
  if (file.open(QIODevice::WriteOnly)) file.write(env_->AppProps().ToText().toUtf8());
  return path;
}

void ChooseEntry(QComboBox* field, int index) {
  field->setCurrentIndex(index);
  emit field->activated(index);
}

void ChooseSourceFolder(TForm1& form, const QString& folder) {
  int index = TForm1::HistoryIndexOf(*form.eFoldZ, folder);
  if (index < 0) {
    form.eFoldZ->addItem(folder);
    index = form.eFoldZ->count() - 1;
  }
  ChooseEntry(form.eFoldZ, index);
}

void ClickEntry(QListWidget* list, int row) {
  QListWidgetItem* item = list->item(row);
  list->scrollToItem(item);
  const QRect r = list->visualItemRect(item);
  // Right of the check box, on the name.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(r.left() + 40, r.center().y()));
}

QStringList Ticked(const QListWidget* list) {
  QStringList names;
  for (int i = 0; i < list->count(); ++i) {
    if (list->item(i)->checkState() == Qt::Checked) names << list->item(i)->text();
  }
  return names;
}

QStringList Names(const QListWidget* list) {
  QStringList names;
  for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
  return names;
}

QStringList FilesIn(const QString& folder) { return QDir(folder).entryList(QDir::Files, QDir::Name); }

namespace {

QString DialogText(QWidget* dialog) {
  if (auto* form = qobject_cast<TMessageForm*>(dialog)) return form->MessageText();
  if (auto* box = qobject_cast<QMessageBox*>(dialog)) return box->text();
  return dialog->windowTitle();
}

void Press(QWidget* dialog, const QString& button) {
  if (auto* b = dialog->findChild<QPushButton*>(button)) {
    b->click();
  } else {
    dialog->close();
  }
}

void AnswerFrom(const std::shared_ptr<MessageAnswers>& answers, QStringList buttons, QWidget* after) {
  if (buttons.isEmpty()) return;
  answers->Watch = OnNextModal(
      [answers, buttons](QWidget* dialog) mutable {
        answers->Texts.append(DialogText(dialog));
        const QString button = buttons.takeFirst();
        // The next watch first: the button may start the next dialog at once.
        AnswerFrom(answers, buttons, dialog);
        Press(dialog, button);
      },
      after);
}

}  // namespace

void MessageAnswer::Cancel() { CancelWatch(Watch); }

std::shared_ptr<MessageAnswer> AnswerNextMessage(const QString& button) {
  auto answer = std::make_shared<MessageAnswer>();
  answer->Watch = OnNextModal([answer, button](QWidget* dialog) {
    answer->Shown = true;
    answer->Text = DialogText(dialog);
    Press(dialog, button);
  });
  return answer;
}

void MessageAnswers::Cancel() { CancelWatch(Watch); }

std::shared_ptr<MessageAnswers> AnswerMessages(const QStringList& buttons) {
  auto answers = std::make_shared<MessageAnswers>();
  AnswerFrom(answers, buttons, nullptr);
  return answers;
}

}  // namespace velmora::test
