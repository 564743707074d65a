#pragma once

// One-line text input, the search in a memo, and the save-file choice, laid out in dialog units like the
// message dialogs.

#include <QString>
#include <QStringList>

class QPlainTextEdit;

namespace velmora {

// A modal "OK"/"Anuluj" input. True after "OK", with value set to the edited text; false after any other
// close, value unchanged. maxLength limits typing (0 or less: no limit); a longer start value is shown whole.
bool TextInputDialog(const QString& caption, const QString& prompt, QString& value, int maxLength);
// The edited text after "OK", otherwise the empty text (callers treat the empty text as "change nothing").
QString InputOrEmpty(const QString& caption, const QString& prompt, const QString& defaultValue, int maxLength);
// InputOrEmpty with the caption "Podaj".
QString AskText(const QString& prompt, const QString& defaultValue, int maxLength);

// Asks "Szukany tekst: " offering DialogState().LastSearchText; a non-empty answer becomes the last search
// text and gives true.
bool AskSearchText();
// Selects the next case-insensitive hit of the last search text after the selection, wrapping to the top
// once (not when the selection starts at 0). Asks for the text first when there is none. True when found.
bool FindInMemo(QPlainTextEdit& memo);

// The filter setup of the save dialog. Filters are "description|pattern|description|pattern..." lists.
struct TSaveFilter {
  QString Filter;      // the filter the dialog gets
  int Index = 0;       // its entry to start on, from 1; 0 when the filter is empty
  QString DefaultExt;  // with its dot; empty when the proposed name has none
};
// Finds the proposed name's extension among the filter's patterns; when it is not there, an entry
// "plik <ext>|*<ext>" is put first and chosen.
TSaveFilter PrepareSaveFilter(const QString& filter, const QString& proposedName);
// The same filter as Qt name filters, "description (patterns)".
QStringList QtNameFilters(const QString& filter);

// The platform's save dialog (asks before overwriting); the chosen full path, or empty when cancelled.
// It starts in the folder part of proposedName when that exists, proposing its name part.
QString ChooseSaveFile(const QString& filter, const QString& proposedName);

}  // namespace velmora
