#include "support/test_env.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace velmora::test {

void prepareQtEnvironment() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform == nullptr || *platform == '\0') setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr || *runtime == '\0') {
    std::string dir = "/tmp/velmora-test-runtime-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    chmod(dir.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  }
  // Qt keeps its file dialogs' history and last folder in its own settings (QtProject.conf); a file
  // left by an earlier run, or by the user's desktop, changes what those dialogs do. Every test
  // process starts with an empty folder of its own, removed at exit.
  static std::string config;
  char pattern[] = "/tmp/velmora-test-config-XXXXXX";
  if (config.empty() && mkdtemp(pattern) != nullptr) {
    config = pattern;
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(config, ec);
    });
  }
}

}  // namespace velmora::test
