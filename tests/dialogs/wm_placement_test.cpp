// Dialog placement on a real X server: every dialog's frame centred on the screen (or its corner at the
// pointer) and the pointer on the default button's centre, read back from X itself. The program starts its
// own Xvfb and runs the checks twice in child processes: on the bare server, then under openbox, a window
// manager that reparents the window into a frame with a title bar. Exit code 77 (skipped) when Xvfb or openbox
// is not installed, unless VELMORA_REQUIRE_WM is set (CI), which makes that a failure.

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#include <QApplication>
#include <QCursor>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/application.h"
#include "dialogs/dialogform.h"
#include "dialogs/dialogstate.h"
#include "dialogs/inputdialogs.h"
#include "dialogs/listdialog.h"
#include "dialogs/messagedialogs.h"
#include "settings/eabort.h"
#include "support/modal_helpers.h"

using namespace velmora;

namespace {

constexpr int kSkipped = 77;
constexpr int kScreenWidth = 1280, kScreenHeight = 1024;
constexpr const char* kModeVariable = "VELMORA_WM_MODE";

xcb_atom_t InternAtom(xcb_connection_t* c, const char* name) {
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr),
      &std::free);
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// --- the orchestrating parent: Xvfb, openbox, two child runs

std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    const size_t end = dirs.find(':', start);
    const std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return {};
}

// A child process that is ended (TERM, then waited for) when this goes.
class Child {
 public:
  Child() = default;
  explicit Child(pid_t pid) : pid_(pid) {}
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  Child(Child&& other) noexcept : pid_(other.pid_) { other.pid_ = -1; }
  Child& operator=(Child&& other) noexcept {
    std::swap(pid_, other.pid_);
    return *this;
  }
  ~Child() { Stop(); }
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

// fork and exec with extra environment entries.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  for (const std::string& e : env) putenv(strdup(e.c_str()));
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execv(args[0], args.data());
  std::perror(args[0]);
  _exit(127);
}

// Starts Xvfb, which writes its display number to the pipe once it accepts clients.
std::optional<int> StartXvfb(const std::string& xvfb, Child& server) {
  int fds[2];
  if (pipe(fds) != 0) return std::nullopt;
  const std::string screen = std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24";
  server = Child(Spawn({xvfb, "-displayfd", std::to_string(fds[1]), "-screen", "0", screen, "-nolisten", "tcp"}, {}));
  close(fds[1]);
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (number.find('\n') == std::string::npos) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[32];
    const ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    number.append(buffer, static_cast<size_t>(n));
  }
  close(fds[0]);
  if (number.find('\n') == std::string::npos) return std::nullopt;
  return std::atoi(number.c_str());
}

// Waits, on X events and at most 30 seconds, until a window manager announces itself on the root window.
bool WaitForWindowManager(const std::string& display) {
  int screenNumber = 0;
  xcb_connection_t* c = xcb_connect(display.c_str(), &screenNumber);
  if (xcb_connection_has_error(c)) {
    xcb_disconnect(c);
    return false;
  }
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
  const xcb_atom_t check = InternAtom(c, "_NET_SUPPORTING_WM_CHECK");
  bool ready = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (check != XCB_ATOM_NONE && !ready) {
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> prop(
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, check, XCB_ATOM_WINDOW, 0, 1), nullptr), &std::free);
    ready = prop && xcb_get_property_value_length(prop.get()) == 4;
    if (ready) break;
    // Sleep until the root window's properties change, or the time is up.
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    while (xcb_generic_event_t* e = xcb_poll_for_event(c)) std::free(e);
  }
  xcb_disconnect(c);
  return ready;
}

int RunChild(const char* self, int argc, char** argv, const std::string& display, const char* mode) {
  std::vector<std::string> args{self};
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  const pid_t pid = Spawn(args, {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb", std::string(kModeVariable) + "=" + mode});
  int status = 0;
  waitpid(pid, &status, 0);
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::fprintf(stderr, "wm_placement_test: the run with window manager \"%s\" ended with %d\n", mode, code);
  return code;
}

int Orchestrate(int argc, char** argv) {
  const bool required = std::getenv("VELMORA_REQUIRE_WM") != nullptr;
  const std::string xvfb = FindProgram("Xvfb"), openbox = FindProgram("openbox");
  if (xvfb.empty() || openbox.empty()) {
    std::fprintf(stderr, "wm_placement_test: %s not installed (scripts/install-deps.sh installs xvfb and openbox)\n",
                 xvfb.empty() ? "Xvfb" : "openbox");
    return required ? 1 : kSkipped;
  }
  Child server;
  const std::optional<int> number = StartXvfb(xvfb, server);
  if (!number) {
    std::fprintf(stderr, "wm_placement_test: Xvfb did not start within 30 s\n");
    return 1;
  }
  const std::string display = ":" + std::to_string(*number);
  const int bare = RunChild(argv[0], argc, argv, display, "none");

  Child wm(Spawn({openbox, "--sm-disable"}, {"DISPLAY=" + display}));
  if (!WaitForWindowManager(display)) {
    std::fprintf(stderr, "wm_placement_test: openbox did not take the display within 30 s\n");
    return 1;
  }
  const int framed = RunChild(argv[0], argc, argv, display, "openbox");
  wm.Stop();
  server.Stop();
  return bare != 0 ? bare : framed;
}

// --- the checks, in a child on the prepared display

struct XState {
  QRect frame;  // the window manager's frame, or the window itself without one, on the root window
  QPoint pointer;
  QPoint target;  // the default button's centre on the root window
  bool framed = false;
  QString title;  // _NET_WM_NAME, what the window manager shows in the title bar
};

// Reads the dialog's frame, the pointer and where the button's centre lies, from the X server. On Qt's own
// connection, so every request Qt made before (the pointer warp among them) has been handled.
XState ReadX(const QWidget& window, const QWidget* button) {
  XState s;
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* c = x11 ? x11->connection() : nullptr;
  if (!c) return s;
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  const auto client = static_cast<xcb_window_t>(window.winId());

  xcb_window_t top = client;
  for (;;) {
    std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, top), nullptr), &std::free);
    if (!tree || tree->parent == root || tree->parent == XCB_WINDOW_NONE) break;
    top = tree->parent;
  }
  s.framed = top != client;
  std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
      xcb_get_geometry_reply(c, xcb_get_geometry(c, top), nullptr), &std::free);
  if (geometry) {
    const int border = geometry->border_width;
    s.frame = QRect(geometry->x, geometry->y, geometry->width + 2 * border, geometry->height + 2 * border);
  }
  std::unique_ptr<xcb_query_pointer_reply_t, decltype(&std::free)> pointer(
      xcb_query_pointer_reply(c, xcb_query_pointer(c, root), nullptr), &std::free);
  if (pointer) s.pointer = QPoint(pointer->root_x, pointer->root_y);
  const xcb_atom_t netWmName = InternAtom(c, "_NET_WM_NAME"), utf8 = InternAtom(c, "UTF8_STRING");
  std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> name(
      xcb_get_property_reply(c, xcb_get_property(c, 0, client, netWmName, utf8, 0, 1024), nullptr), &std::free);
  if (name)
    s.title = QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(name.get())),
                                xcb_get_property_value_length(name.get()));
  if (button) {
    const QPoint local = button->mapTo(&window, QPoint(button->width() / 2, button->height() / 2));
    std::unique_ptr<xcb_translate_coordinates_reply_t, decltype(&std::free)> where(
        xcb_translate_coordinates_reply(c,
                                        xcb_translate_coordinates(c, client, root, static_cast<int16_t>(local.x()),
                                                                  static_cast<int16_t>(local.y())),
                                        nullptr),
        &std::free);
    if (where) s.target = QPoint(where->dst_x, where->dst_y);
  }
  return s;
}

QPoint Centred(const QSize& frame) {
  return {(kScreenWidth - frame.width()) / 2, (kScreenHeight - frame.height()) / 2};
}

}  // namespace

class WmPlacementTest : public QObject {
  Q_OBJECT

 private:
  bool expectFrame_ = false;

  // Shows a dialog through `show`, waits until it reports itself placed, reads X and closes the dialog.
  std::optional<XState> Measure(const std::function<void()>& show, QString* defaultCaption = nullptr) {
    std::optional<XState> state;
    test::OnNextModal([&](QWidget* d) {
      auto* form = qobject_cast<TDialogForm*>(d);
      if (form && QTest::qWaitFor([form] { return form->Placed(); }, 10000)) {
        state = ReadX(*form, form->DefaultButton());
        if (defaultCaption && form->DefaultButton()) *defaultCaption = form->DefaultButton()->text();
      }
      d->close();
    });
    show();
    return state;
  }

  void CheckCentredWithPointerOnDefault(const std::optional<XState>& s, const char* what, const QString& title) {
    QVERIFY2(s.has_value(), qPrintable(QStringLiteral("%1: no placed dialog within 10 s").arg(what)));
    QCOMPARE(s->title, title);
    QCOMPARE(s->framed, expectFrame_);
    if (expectFrame_) QVERIFY2(s->frame.height() > 0, what);
    QCOMPARE(s->frame.topLeft(), Centred(s->frame.size()));
    QCOMPARE(s->pointer, s->target);
  }

 private slots:
  void initTestCase() {
    const QByteArray mode = qgetenv(kModeVariable);
    expectFrame_ = mode != "none";
    QVERIFY(qApp->nativeInterface<QNativeInterface::QX11Application>() != nullptr);
    SetApplicationIdentity();
  }

  void init() {
    ResetDialogState();
    QCursor::setPos(3, 3);
  }

  void messageDialogsCentredWithPointerOnDefault_data() {
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("title");
    QTest::newRow("AskYesNo") << 0 << "Pytanie";
    QTest::newRow("InfoNotice") << 1 << "Informacja";
    QTest::newRow("wide custom, all buttons") << 2 << "Velmora";
    QTest::newRow("ErrorNotice") << 3 << "Uwaga";
  }

  void messageDialogsCentredWithPointerOnDefault() {
    QFETCH(int, which);
    QFETCH(QString, title);
    using B = TMessageButton;
    // Twice: the first dialog learns the frame, the second is placed from that estimate.
    for (int round = 0; round < 2; ++round) {
      const auto s = Measure([which] {
        switch (which) {
          case 0:
            AskYesNo(QStringLiteral("Folder docelowy nie istnieje. Utworzyć go?"));
            break;
          case 1:
            InfoNotice(QStringLiteral("Informacja"));
            break;
          case 2:
            MessageDialog(QString(60, QLatin1Char('W')), TMessageKind::mtCustom,
                          {B::mbYes, B::mbNo, B::mbOK, B::mbCancel, B::mbRetry, B::mbAll, B::mbHelp}, 0);
            break;
          default:
            try {
              ErrorNotice(QStringLiteral("Nie wskazano folderów"));
            } catch (const EAbort&) {
            }
        }
      });
      CheckCentredWithPointerOnDefault(s, QTest::currentDataTag(), title);
    }
  }

  void textInputCentredWithPointerOnOk() {
    QString ok;
    const auto s = Measure(
        [] {
          QString value = QStringLiteral("Velmora");
          TextInputDialog(QStringLiteral("Podaj"), QStringLiteral("Podpis:"), value, 255);
        },
        &ok);
    CheckCentredWithPointerOnDefault(s, "TextInputDialog", QStringLiteral("Podaj"));
    QCOMPARE(ok, QStringLiteral("OK"));
  }

  void listDialogCentredWithPointerOnOk() {
    QString ok;
    const auto s =
        Measure([] { EditStringList(QStringLiteral("Foldery Z"), {QStringLiteral("/home/ala/zdjęcia")}, false); }, &ok);
    CheckCentredWithPointerOnDefault(s, "EditStringList", QStringLiteral("Foldery Z"));
    QCOMPARE(ok, QStringLiteral("OK"));
    // The client keeps the layout's size whatever frame it got.
    QVERIFY(s->frame.width() >= TFormRapDlg::kClientWidth);
  }

  void errorNoticeAtPointerPutsTheCornerThere() {
    QCursor::setPos(200, 150);
    const auto s = Measure([] {
      try {
        ErrorNotice(QStringLiteral("Zaznacz plik i spróbuj ponownie."), true);
      } catch (const EAbort&) {
      }
    });
    QVERIFY(s.has_value());
    QCOMPARE(s->frame.topLeft(), QPoint(200, 150));
    // No snap: the pointer stays where it was.
    QCOMPARE(s->pointer, QPoint(200, 150));
  }

  void withoutSnapThePointerStays() {
    DialogState().SnapToDefaultButton = false;
    QCursor::setPos(7, 9);
    const auto s = Measure([] { AskYesNo(QStringLiteral("x")); });
    QVERIFY(s.has_value());
    QCOMPARE(s->pointer, QPoint(7, 9));
    QCOMPARE(s->frame.topLeft(), Centred(s->frame.size()));
  }
};

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty(kModeVariable)) return Orchestrate(argc, argv);
  QApplication app(argc, argv);
  WmPlacementTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "wm_placement_test.moc"
