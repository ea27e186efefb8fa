#include <cstdio>

int main() {
  std::fputs("usage: archivi COMMAND ...\n", stderr);
  return 2;
}
