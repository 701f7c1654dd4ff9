#include <cstdio>

int main(int argc, char** argv) {
  (void)argc;
  (void)argv;
  std::puts("vorm: no commands yet");
  return 0;
}
