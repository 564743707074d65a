#pragma once

// TForm1: the program's main window. Source and destination folders with their histories, the file
// list with its preview, the name, size, caption and metadata settings, the run with its progress and
// stop, and the popup menus of every command. Settings come from the environment's store at creation
// and go back to it at close (the caption's own keys as soon as they change).
//
// Controls are public, as a form's published fields are, so tests can drive the window as a user does.
// Every handler runs inside RunGuarded; the handlers themselves may throw (EAbort ends them silently).

#include <QImage>
#include <QLabel>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLineEdit;
class QListWidget;
class QMenu;
class QRadioButton;
class QSpinBox;
class QScrollArea;
class QTimer;
class QToolButton;
class QUrl;

namespace velmora {

class BatchRun;
class CaptionStamper;
class TEnvironment;
class TProps;
class TQMTBorderPanel;
class TQMTGauge;
class TQMTPropsCB;
struct BatchOptions;
struct FileOutcome;
struct TOutputNote;
struct FileResult;
struct RunQuestions;
struct RunRequest;
struct RunSummary;

// The noun after a count of files, as Polish wants it: 1 plik, 2-4 pliki (12-14 plików), 5 plików, 22 pliki.
QString FilesNoun(int files);

// A label that reports a left click, for the "O..." link.
class TClickLabel : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;
 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

// An image control: draws its picture at the top left as it is or, when Proportional, scaled to fit the
// control keeping its proportions and centred on the control's own background (so nothing behind it
// shows beside a portrait). Empty: draws nothing, so its parent shows through, or the message when one
// is set (a file that cannot be shown).
class TImageBox : public QWidget {
  Q_OBJECT
 public:
  explicit TImageBox(QWidget* parent = nullptr);
  const QImage& Picture() const { return picture_; }
  // Clears the message.
  void SetPicture(const QImage& picture);
  const QString& Message() const { return message_; }
  // Clears the picture.
  void SetMessage(const QString& message);
  bool Proportional = false;
  // Where the picture lands inside the control (logical pixels).
  QRect PictureRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
  QString message_;
};

// The size of the list preview (Image1) as designed; it grows with the window.
inline constexpr int kPreviewWidth = 160;
inline constexpr int kPreviewHeight = 120;
// The window's client area as designed, its size at first start; and the least it may be shrunk to.
inline constexpr QSize kDesignSize(518, 591);
inline constexpr QSize kMinimumWindowSize(240, 160);

class TForm1 : public QWidget {
  Q_OBJECT
 public:
  // Builds the window and runs FormCreate; env must outlive the window.
  explicit TForm1(TEnvironment& env, QWidget* parent = nullptr);
  ~TForm1() override;

  // --- controls, top to bottom
  QLabel* Label3 = nullptr;
  TClickLabel* LabelO = nullptr;
  TQMTBorderPanel* QMTBorderPanel1 = nullptr;
  QLabel* Label1 = nullptr;
  QComboBox* eFoldZ = nullptr;
  QToolButton* sbOpenZ = nullptr;
  QLabel* Label6 = nullptr;
  QComboBox* eFoldDo = nullptr;
  QToolButton* sbOpenDo = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* lPl = nullptr;
  // A short notice about a typed or dropped path, right of the counter; empty when there is none.
  QLabel* lUwaga = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QToolButton* SpeedButton2 = nullptr;
  QToolButton* SpeedButton3 = nullptr;
  QListWidget* CLB = nullptr;
  QFrame* Panel1 = nullptr;
  TImageBox* Image1 = nullptr;
  QLabel* lPodgl = nullptr;
  QToolButton* sbKlucz = nullptr;
  QLineEdit* eKlucz = nullptr;
  QLabel* Label7 = nullptr;
  TQMTPropsCB* cbZapUst = nullptr;
  TQMTBorderPanel* QMTBorderPanel2 = nullptr;
  QRadioButton* rbPref = nullptr;
  QRadioButton* rbSuf = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* lnp = nullptr;
  QLabel* lPref = nullptr;
  QLabel* lExt = nullptr;
  QLineEdit* EPref = nullptr;
  QCheckBox* cbEXIF = nullptr;
  // "usuń dane GPS": with "zachowaj EXIF", the output carries no GPS position (EXIF or XMP).
  QCheckBox* cbUsunGPS = nullptr;
  QCheckBox* cbPodp = nullptr;
  TImageBox* iPodp = nullptr;
  QToolButton* sbKonfPodp = nullptr;
  QCheckBox* cbSize = nullptr;
  QSpinBox* seSize = nullptr;
  QLabel* Label5 = nullptr;
  QCheckBox* CBPow = nullptr;
  QCheckBox* cbObroc = nullptr;  // "obróć wg EXIF": turn pictures upright by their EXIF Orientation
  QToolButton* sbWyk = nullptr;
  QLabel* lProgress = nullptr;
  TQMTGauge* Gauge1 = nullptr;
  QToolButton* sbStop = nullptr;
  // "pomijaj błędne pliki": a failed file does not end the run; the "Błędy" report lists it at the end.
  QCheckBox* cbPomijaj = nullptr;
  // Right of it: during a run the file in work and the time left, after it what the run did.
  QLabel* lStan = nullptr;
  // "Opcje zapisu ...": the options beyond the design's, and the line saying which differ from its defaults.
  QToolButton* sbOpcje = nullptr;
  QLabel* lOpcje = nullptr;
  QToolButton* sbNazwy = nullptr;  // "Podgląd nazw": the run's plan in the list dialog
  // After a run, in place of the gauge: the destination in the desktop's file manager.
  QToolButton* sbOtworz = nullptr;
  // How "Otwórz folder docelowy" opens a folder; a test may watch it.
  std::function<bool(const QUrl&)> OpenUrl;

  // --- popup menus and their items
  QMenu* PopupMenu1 = nullptr;
  QAction* Zaznaczwszystko1 = nullptr;
  QAction* Odznaczwszystko1 = nullptr;
  QAction* Zaznaczdokoca1 = nullptr;
  QAction* OdznaczDoKonca1 = nullptr;
  QAction* Odznaczdopocztku1 = nullptr;

  QMenu* pmKonfPodp = nullptr;
  QAction* Podpis1 = nullptr;
  QAction* Czcionka1 = nullptr;
  QAction* Kolotta1 = nullptr;
  QAction* Tlonegatywowe1 = nullptr;
  QAction* Bezta1 = nullptr;
  QAction* Przezroczyste1 = nullptr;
  QAction* Czcionkinegatywowe1 = nullptr;
  QAction* Dodajgrafik1 = nullptr;

  QMenu* pmFoldDo = nullptr;
  QAction* akisamjakrdowy1 = nullptr;
  QAction* Usuzlisty2 = nullptr;
  QAction* Edytujlist2 = nullptr;
  QAction* Wyczy2 = nullptr;

  QMenu* pmFoldZ = nullptr;
  QAction* Jakdocelowy1 = nullptr;
  QAction* Usuzlisty1 = nullptr;
  QAction* Edytujlist1 = nullptr;
  QAction* Wyczy1 = nullptr;

  // --- state
  // True while no run is active, or once a stop was asked for.
  bool StopFlag() const { return stopFlag_; }
  bool Running() const { return running_; }
  const QString& LastPreviewPath() const { return lastPreviewPath_; }
  // The caption as the run stamps it: rebuilt by BuildCaptionMask, never per file. Null only when the
  // last rebuild failed.
  std::shared_ptr<const CaptionStamper> CaptionMask() const { return captionMask_; }
  // The clean stock picture of iPodp that every preview starts from.
  const QImage& PreviewBackground() const { return previewBackground_; }

  // --- size and place
  // The area that scrolls when the window is smaller than the design's size; it holds every control.
  QWidget* Client() const { return client_; }
  // The window's place and client size as the settings key "okno" remembers them ("x,y,w,h", the frame's
  // top-left corner and the client size); nothing when the key is absent or unreadable.
  std::optional<QRect> RememberedGeometry();
  // Sizes and places the window inside the available area of its screen: the remembered or the design's
  // size, made smaller where it does not fit with its frame; the remembered place, moved inside, or else
  // centred. Once the window manager has drawn the frame it runs again with the frame's real size.
  void FitToScreen(const std::optional<QRect>& wanted);
  // Lays the controls out for the client area's size: the design's places at the design's size; beyond it
  // the file list and the preview grow and every other control keeps its place next to its neighbours.
  void LayoutControls(QSize client);

  // --- handlers (each called inside RunGuarded by its control or menu item)
  void FormCreate();
  void FormClose(QCloseEvent& event);
  // The folder, or the folder of the file, becomes the source folder as "---" would make it; a file is
  // then highlighted and previewed. A path that does not exist is told with ErrorNotice.
  void OpenGivenPath(const QString& path);
  // Paths dropped on the window: a folder becomes the source; files make their folder the source with
  // just those files ticked.
  void DropPaths(const QStringList& paths);
  void LabelO1Click();

  // --- the settings file and the end of the session (form1_session.cpp)
  // Before the window is first shown: tells the user that the settings file was not read (and why),
  // so the defaults the window shows come as no surprise.
  void WarnIfSettingsUnread();
  // The end of the desktop session: the keys a close writes go to the store and the store to the file,
  // the window stays. A failure is shown when the session manager lets the program ask (mayShow).
  void SaveSession(bool mayShow);
  // A termination signal: closes open dialogs (as cancelled) and then the window, by the normal close
  // path; a run still going is stopped first and the window closes once it has ended.
  void RequestQuit();

  // The run.
  void Podpiszwszystkiewfolderze1Click();
  void sbStopClick();
  void sbOtworzClick();

  // The file list.
  void eFoldZChange();
  // Lists the source folder again (its subfolders too with "z podfolderami"), keeping the ticks of the
  // names listed before.
  void RefillFileList();
  void Zaznaczwszystko1Click();
  void Odznaczwszystko1Click();
  void SpeedButton3Click();
  void Zaznaczdokoca1Click();
  void OdznaczDoKonca1Click();
  void Odznaczdopocztku1Click();
  void CLBClickCheck();
  void sbKluczClick();
  void CLBClick();

  // Folders and the name sample.
  void BOpenClick();
  void sbOpenDoClick();
  void Jakdocelowy1Click();
  void akisamjakrdowy1Click();
  void Usuzlisty1Click();
  void Usuzlisty2Click();
  void Edytujlist1Click();
  void Edytujlist2Click();
  void Wyczy1Click();
  void Wyczy2Click();
  void eFoldDoChange();
  // Enter in a folder field, or leaving it, after typing or pasting a path: taken as a folder chosen
  // with "---"; a path that is no folder is told in lUwaga.
  void eFoldZEntered();
  void eFoldDoEntered();
  void EPrefChange();
  void rbPrefClick();
  void UpdateNameSample();

  // The caption.
  void BuildCaptionMask();
  void sbKonfPodpClick();
  void Podpis1Click();
  void Czcionka1Click();
  void Kolotta1Click();
  void Tlonegatywowe1Click();
  void Bezta1Click();
  void Przezroczyste1Click();
  void Czcionkinegatywowe1Click();
  void Dodajgrafik1Click();
  // "obróć wg EXIF": stored at once, as the caption keys are.
  void cbObrocClick();
  // "usuń dane GPS": stored at once too.
  void cbUsunGPSClick();
  // The "Opcje zapisu" dialog, its button and its summary line (form1_output.cpp).
  void BuildOutputOptionsControls(QWidget* panel);
  void sbOpcjeClick();
  void sbNazwyClick();
  // The run's request as "Wykonaj" builds it, before prepareRun: the folder, the ticked names, the options.
  RunRequest RunRequestOfWindow() const;
  void UpdateOutputSummary();
  // Counts a written file's metadata notes and keeps its output notes (size limit, date) for the end.
  void NoteOutcome(const std::string& name, const std::vector<TOutputNote>& notes);
  void ShowOutputNotes();

  // The selected history entry of a folder field: -1 when the text was typed by hand.
  static int SelectedEntry(const QComboBox& field);
  // Position of the path in the field's history; -1 when absent. The same text first; else one that
  // differs only in case, unless the two name two existing, different folders.
  static int HistoryIndexOf(const QComboBox& field, const QString& path);
  // The field's history entries in list order.
  static QStringList HistoryOf(const QComboBox& field);

  // The workers of a run: the "watki" setting when it is a positive number, else 0 (as many as the
  // process has cores).
  int RunWorkers();

 signals:
  // The run has shown one more finished file (written or failed) in the gauge; on the window's thread.
  void FileCompleted(int completed);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  // One file of the run, on a worker thread (never the window's); a test may watch it.
  virtual FileOutcome ProcessOneFile(const std::filesystem::path& source, const BatchOptions& options);

 private:
  class RunScope;
  // How a control follows the window beyond the design's size.
  struct TAnchor {
    QWidget* widget;
    QRect design;
    int rules;
  };
  void RecordAnchors();

  TProps& Props();
  // The window's background and the design colours for the application's palette.
  void ApplyWindowPalette();

  // The remembered settings (form1_settings.cpp): each key of the window's own once, with its control.
  // How a key's text becomes its control's state, and back.
  enum class TKeyKind {
    Flag,      // a check or radio button: on exactly for "T"; written "T" or "N"
    FlagOn,    // the same, but on unless "N"
    Remember,  // the remember box: on for what TextToBool takes
    Text,      // a line edit's text as it is
    Size,      // the size field: a whole number of at least 1, else 1280
    Folder,    // a folder field's text
    History,   // a folder field's history, joined with ";"
    Geometry,  // the frame's place and the client size as "x,y,w,h"
    Workers,   // the run's workers ("watki"): set by hand in the file, never written
  };
  // When a key is written: at close while the remember box is ticked, at every close, as soon as its
  // control changes, or never.
  enum class TKeyWrite { AtClose, Always, AtOnce, Never };
  struct TSettingKey;
  std::vector<TSettingKey> SettingKeys();
  // The key of the control's value of that kind.
  QString KeyOf(const QObject* control, TKeyKind kind);
  QString StoredValue(const QObject* control, TKeyKind kind);
  // Sets the controls that stand for a key alone (boxes, size, texts, the remember box).
  void LoadSettingControls();
  QString ValueToStore(const TSettingKey& key) const;
  // The keys a close stores (all of them while cbZapUst is ticked, its own state always).
  void StoreSettings();
  // The key of a control that is stored as soon as it changes.
  void StoreAtOnce(const QObject* control);
  // The store to the settings file; a failure is shown while the window is still there.
  void SaveSettingsFile();
  void BuildControls();
  void BuildMenus();
  void ConnectHandlers();
  // Connects a user action to a handler, inside the guard.
  template <typename Signal, typename Sender>
  void Bind(Sender* sender, Signal signal, void (TForm1::*handler)());

  // Helpers of the folder fields.
  void AddAndSelect(QComboBox& field, const QString& path);
  static void SelectEntry(QComboBox& field, int index);
  static void SetHistory(QComboBox& field, const QStringList& entries);
  void HideProgress();
  void ShowNotice(const QString& text);
  // A typed path taken into the field's history and selected; false when it names no folder (told).
  bool TakeTypedFolder(QComboBox& field, bool destination);
  void ColourFolderFields(bool same);
  void ApplyPrefixRule();
  void ForgetTypedSelection(QComboBox& field);
  // The list-editing dialog over the history: nothing when cancelled, else whether the field's text is
  // still an entry (then selected).
  std::optional<bool> EditHistory(QComboBox& field, const QString& title);
  void Recount();
  void FillFileList(bool keepTicks);
  int HighlightedEntry() const;
  void SetRunControlsEnabled(bool enabled);
  // "Zatrzymaj" and a close request during a run.
  void RequestRunStop();
  // Waits for the run's end with the window live, showing each finished file.
  void FollowRun(BatchRun& run);
  void ShowFailureReport(const std::vector<FileResult>& failures);
  // "Zapisz raport ..." of the "Błędy" report: the last run's report (runreport.h) where the user says.
  void SaveRunReport() const;
  // Once at the end of a run: how many files went out without some of their source's metadata.
  // What files of the run were written without: some metadata, the conversion of their colours.
  void ShowMetadataNotice(int files, int colourFiles = 0);
  // At the end of a run, in the window: what it did, and the way to its files.
  void ShowRunSummary(const RunSummary& summary);
  void ShowRunStatus(int completed, int total, double seconds);
  BatchOptions RunOptions() const;
  // What a run asks the user before it starts, and the caption it stamps.
  RunQuestions RunQuestionsAsked();
  void ToggleCaptionMode(QAction* item, const char* key);

  TEnvironment& env_;
  bool stopFlag_ = true;
  QString lastPreviewPath_;
  QImage previewBackground_;
  std::shared_ptr<const CaptionStamper> captionMask_;
  bool running_ = false;
  bool applyingPalette_ = false;
  QScrollArea* scroll_ = nullptr;
  QWidget* client_ = nullptr;
  std::vector<TAnchor> anchors_;
  // A preview made again for the area's new size, once the resizing rests.
  QTimer* previewTimer_ = nullptr;
  // The size and place asked for at start, applied again once the frame is known.
  std::optional<QRect> wantedGeometry_;
  bool refitted_ = false;
  BatchRun* activeRun_ = nullptr;  // the run in progress, owned by the run handler
  QStringList outputNotes_;        // of the run in progress: "NAME: what the size limit or the date says"
  int filesWithNotes_ = 0;         // of the run in progress: written without some metadata
  int filesWithColourNotes_ = 0;   // and written without the conversion to sRGB
  std::vector<std::string> runReport_;  // of the last run: its report's lines, every file and the summary
  bool quitting_ = false;          // a termination signal came: nothing may open a dialog any more
  // The file a worker took up last, for the status line; set on the workers' threads.
  std::mutex startedMutex_;
  std::string lastStarted_;
};

}  // namespace velmora
