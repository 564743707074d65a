#include <cstdio>

int main() {
  std::fputs("velmora-batch: not built yet\n", stderr);
  return 1;
}
