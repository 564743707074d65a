#include <iostream>
#include <string>
#include <vector>

#include "app/batch_cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return velmora::batch::batchMain(args, std::cout, std::cerr);
}
