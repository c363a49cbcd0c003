// Takes the instance name given as its argument and prints "first" or "second". With "hold" as
// a second argument it keeps the name until its standard input ends.
#include <cstdio>
#include <cstring>

#include "app/startup.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: instance_probe <name> [hold]\n", stderr);
    return 2;
  }
  velkorin::SingleInstanceGuard guard(argv[1]);
  std::puts(guard.IsFirstInstance() ? "first" : "second");
  std::fflush(stdout);
  if (argc > 2 && std::strcmp(argv[2], "hold") == 0) {
    while (std::getchar() != EOF) {
    }
  }
  return 0;
}
