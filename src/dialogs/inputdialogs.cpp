#include "dialogs/inputdialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTextCursor>
#include <QValidator>
#include <algorithm>

#include "dialogs/dialogform.h"
#include "dialogs/dialogplacement.h"
#include "dialogs/dialogstate.h"

namespace velmora {

namespace {

const QString kSearchPrompt = QStringLiteral("Szukany tekst: ");

// Limits what the user types, like an edit control's text limit: a longer start value stays whole, typing
// that would grow the text past the limit is cut, deleting is always allowed. The line edit hands the
// validator its new text, so the length before the change is tracked here.
class TTypingLimit : public QValidator {
 public:
  // Set it after the start value: the line edit validates setText too.
  TTypingLimit(int maxLength, QLineEdit* edit) : QValidator(edit), max_(maxLength), before_(edit->text().size()) {
    connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { before_ = text.size(); });
  }
  State validate(QString& input, int& pos) const override {
    if (max_ <= 0 || input.size() <= max_ || input.size() <= before_) return Acceptable;
    const qsizetype allowed = std::max<qsizetype>(max_, before_);
    const qsizetype excess = std::min<qsizetype>(input.size() - allowed, pos);
    input.remove(pos - excess, excess);
    pos -= static_cast<int>(excess);
    return input.size() <= allowed ? Acceptable : Invalid;
  }

 private:
  int max_;
  qsizetype before_;
};

QString AsciiUpper(const QString& s) {
  QString r = s;
  for (QChar& c : r)
    if (c >= u'a' && c <= u'z') c = QChar(c.unicode() - 32);
  return r;
}

// The extension with its dot, from the last "." after the last path separator; empty when none.
QString ExtensionOf(const QString& name) {
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  const qsizetype sep = std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QDir::separator()));
  return dot > sep ? name.mid(dot) : QString();
}

}  // namespace

bool TextInputDialog(const QString& caption, const QString& prompt, QString& value, int maxLength) {
  TDialogForm form;
  form.setObjectName(QStringLiteral("TextInputDialog"));
  form.setWindowTitle(caption);
  const TDialogUnits du(form.font());
  const int clientWidth = du.H(180);

  auto* label = new QLabel(prompt, &form);
  label->setObjectName(QStringLiteral("Prompt"));
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  const QRect natural =
      QFontMetrics(form.font()).boundingRect(QRect(0, 0, du.H(164), 0), Qt::AlignLeft | Qt::TextWordWrap, prompt);
  const int labelWidth = std::min(natural.width(), du.H(164));
  label->setGeometry(du.H(8), du.V(8), labelWidth, std::max(label->heightForWidth(labelWidth), natural.height()));

  auto* edit = new QLineEdit(&form);
  edit->setObjectName(QStringLiteral("Edit"));
  edit->setText(value);
  edit->setValidator(new TTypingLimit(maxLength, edit));
  edit->setGeometry(label->x(), label->y() + label->height() + 5, du.H(164), edit->sizeHint().height());
  edit->selectAll();

  const int buttonTop = edit->y() + edit->height() + 15;
  QPushButton* ok = form.AddResultButton(QStringLiteral("OK"), mrOk, QRect(du.H(38), buttonTop, du.H(50), du.V(14)));
  QPushButton* cancel =
      form.AddResultButton(QStringLiteral("Anuluj"), mrCancel, QRect(du.H(92), buttonTop, du.H(50), du.V(14)));
  ok->setObjectName(QStringLiteral("OK"));
  cancel->setObjectName(QStringLiteral("Anuluj"));
  form.SetDefaultButton(ok);
  form.SetCancelButton(cancel);
  form.SetClientSize(clientWidth, cancel->y() + cancel->height() + 13);
  form.CentreOnScreen();
  edit->setFocus(Qt::OtherFocusReason);

  if (form.ShowModal() != mrOk) return false;
  value = edit->text();
  return true;
}

QString InputOrEmpty(const QString& caption, const QString& prompt, const QString& defaultValue, int maxLength) {
  QString result = defaultValue;
  if (!TextInputDialog(caption, prompt, result, maxLength)) result.clear();
  return result;
}

QString AskText(const QString& prompt, const QString& defaultValue, int maxLength) {
  return InputOrEmpty(QStringLiteral("Podaj"), prompt, defaultValue, maxLength);
}

bool AskSearchText() {
  const QString answer = AskText(kSearchPrompt, DialogState().LastSearchText, 255);
  if (answer.isEmpty()) return false;
  DialogState().LastSearchText = answer;
  return true;
}

bool FindInMemo(QPlainTextEdit& memo) {
  QString& last = DialogState().LastSearchText;
  if (last.isEmpty()) {
    const QString answer = AskText(kSearchPrompt, QString(), 255);
    if (!answer.isEmpty()) last = answer;
  }
  if (last.isEmpty()) return false;

  const QString text = memo.toPlainText();
  QTextCursor cursor = memo.textCursor();
  qsizetype found = text.indexOf(last, cursor.selectionEnd(), Qt::CaseInsensitive);
  if (found < 0 && cursor.selectionStart() > 0) found = text.indexOf(last, 0, Qt::CaseInsensitive);
  if (found < 0) return false;
  cursor.setPosition(static_cast<int>(found));
  cursor.setPosition(static_cast<int>(found + last.size()), QTextCursor::KeepAnchor);
  memo.setTextCursor(cursor);
  memo.ensureCursorVisible();
  return true;
}

TSaveFilter PrepareSaveFilter(const QString& filter, const QString& proposedName) {
  TSaveFilter result;
  if (filter.isEmpty()) return result;
  const QString ext = ExtensionOf(proposedName);
  const QString wanted = AsciiUpper(QStringLiteral("*") + ext + QStringLiteral(";"));
  int index = 0;
  if (filter.contains(QLatin1Char('|'))) {
    const QStringList fields = filter.split(QLatin1Char('|'));
    for (qsizetype i = 1; i < fields.size(); i += 2) {
      if (AsciiUpper(fields[i] + QStringLiteral(";")).contains(wanted)) {
        index = static_cast<int>(i / 2 + 1);
        break;
      }
    }
  } else if (filter == QStringLiteral("*") + ext) {
    index = 1;
  }
  if (index > 0) {
    result.Filter = filter;
    result.Index = index;
  } else {
    result.Filter = QStringLiteral("plik ") + ext + QStringLiteral("|*") + ext + QStringLiteral("|") + filter;
    result.Index = 1;
  }
  result.DefaultExt = ext;
  return result;
}

QStringList QtNameFilters(const QString& filter) {
  QStringList result;
  if (filter.isEmpty()) return result;
  if (!filter.contains(QLatin1Char('|'))) return {filter};
  static const QRegularExpression trailingGroup(QStringLiteral("\\(([^()]*)\\)\\s*$"));
  const QStringList fields = filter.split(QLatin1Char('|'));
  for (qsizetype i = 0; i < fields.size(); i += 2) {
    const QString description = fields[i].trimmed();
    QString patterns = i + 1 < fields.size() ? fields[i + 1] : QString();
    patterns = patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts).join(QLatin1Char(' ')).trimmed();
    if (patterns.isEmpty()) patterns = QStringLiteral("*");
    // Qt reads the patterns from the description's last "(...)": keep a description that already shows them.
    const QRegularExpressionMatch m = trailingGroup.match(description);
    if (m.hasMatch() && m.captured(1).trimmed().compare(patterns, Qt::CaseInsensitive) == 0)
      result << description;
    else
      result << description + QStringLiteral(" (") + patterns + QStringLiteral(")");
  }
  return result;
}

QString ChooseSaveFile(const QString& filter, const QString& proposedName) {
  const TSaveFilter setup = PrepareSaveFilter(filter, proposedName);
  QFileDialog dialog;
  dialog.setObjectName(QStringLiteral("ChooseSaveFile"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  const QStringList nameFilters = QtNameFilters(setup.Filter);
  if (!nameFilters.isEmpty()) {
    dialog.setNameFilters(nameFilters);
    if (setup.Index >= 1 && setup.Index <= nameFilters.size()) dialog.selectNameFilter(nameFilters[setup.Index - 1]);
  }
  if (setup.DefaultExt.size() > 1) dialog.setDefaultSuffix(setup.DefaultExt.mid(1));

  const qsizetype sep =
      std::max(proposedName.lastIndexOf(QLatin1Char('/')), proposedName.lastIndexOf(QDir::separator()));
  const QString folder = sep >= 0 ? proposedName.left(sep + 1) : QString();
  if (!folder.isEmpty() && QDir(folder).exists()) dialog.setDirectory(folder);
  dialog.selectFile(proposedName.mid(sep + 1));

  if (ExecPlaced(dialog) != QDialog::Accepted) return QString();
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? QString() : files.first();
}

}  // namespace velmora
