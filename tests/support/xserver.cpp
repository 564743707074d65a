#include "support/xserver.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

namespace velmora::test {

namespace {

constexpr int kSkipped = 77;

xcb_atom_t InternAtom(xcb_connection_t* c, const char* name) {
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr),
      &std::free);
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

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
std::optional<int> StartXvfb(const std::string& xvfb, int width, int height, Child& server) {
  int fds[2];
  if (pipe(fds) != 0) return std::nullopt;
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
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

// Waits, on X events and at most 30 seconds, until a window manager announces itself on the root window and
// frames a window.
bool WaitForWindowManager(const std::string& display) {
  int screenNumber = 0;
  xcb_connection_t* c = xcb_connect(display.c_str(), &screenNumber);
  if (xcb_connection_has_error(c)) {
    xcb_disconnect(c);
    return false;
  }
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
  const xcb_atom_t check = InternAtom(c, "_NET_SUPPORTING_WM_CHECK");
  // The property comes early in the manager's start; it manages windows once it frames this one, mapped
  // again at each turn as a request made while it starts may be lost.
  const xcb_window_t probe = xcb_generate_id(c);
  xcb_create_window(c, XCB_COPY_FROM_PARENT, probe, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    XCB_COPY_FROM_PARENT, 0, nullptr);
  bool ready = false, framed = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (check != XCB_ATOM_NONE && !(ready && framed)) {
    xcb_map_window(c, probe);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> prop(
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, check, XCB_ATOM_WINDOW, 0, 1), nullptr), &std::free);
    ready = prop && xcb_get_property_value_length(prop.get()) == 4;
    // Sleep until the root window's properties or children change, a second at most, or the time is up.
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(std::min<int64_t>(left.count(), 1000))) < 0) break;
    while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
      framed |= (e->response_type & 0x7f) == XCB_REPARENT_NOTIFY &&
                reinterpret_cast<xcb_reparent_notify_event_t*>(e)->window == probe;
      std::free(e);
    }
  }
  xcb_disconnect(c);
  return ready && framed;
}

int RunChild(int argc, char** argv, const std::string& display, const char* modeVariable, const XRun& run) {
  std::vector<std::string> args{argv[0]};
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  std::vector<std::string> env{"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb", std::string(modeVariable) + "=" + run.mode};
  env.insert(env.end(), run.env.begin(), run.env.end());
  const pid_t pid = Spawn(args, env);
  int status = 0;
  waitpid(pid, &status, 0);
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::fprintf(stderr, "%s: the run \"%s\" ended with %d\n", argv[0], run.mode.c_str(), code);
  return code;
}

}  // namespace

int RunUnderXvfb(int argc, char** argv, const char* modeVariable, int width, int height,
                 const std::vector<XRun>& runs) {
  const bool required = std::getenv("VELMORA_REQUIRE_WM") != nullptr;
  const std::string xvfb = FindProgram("Xvfb"), openbox = FindProgram("openbox");
  if (xvfb.empty() || openbox.empty()) {
    std::fprintf(stderr, "%s: %s not installed (scripts/install-deps.sh installs xvfb and openbox)\n", argv[0],
                 xvfb.empty() ? "Xvfb" : "openbox");
    return required ? 1 : kSkipped;
  }
  Child server;
  const std::optional<int> number = StartXvfb(xvfb, width, height, server);
  if (!number) {
    std::fprintf(stderr, "%s: Xvfb did not start within 30 s\n", argv[0]);
    return 1;
  }
  const std::string display = ":" + std::to_string(*number);
  Child wm;
  int result = 0;
  for (const XRun& run : runs) {
    if (run.mode != "none" && wm.Pid() <= 0) {
      wm = Child(Spawn({openbox, "--sm-disable"}, {"DISPLAY=" + display}));
      if (!WaitForWindowManager(display)) {
        std::fprintf(stderr, "%s: openbox did not take the display within 30 s\n", argv[0]);
        return 1;
      }
    }
    const int code = RunChild(argc, argv, display, modeVariable, run);
    if (result == 0) result = code;
  }
  return result;
}

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
    // X counts device pixels; Qt, on a scaled screen, logical ones.
    const QPoint local = (QPointF(button->mapTo(&window, QPoint(button->width() / 2, button->height() / 2))) *
                          window.devicePixelRatioF())
                             .toPoint();
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

}  // namespace velmora::test
