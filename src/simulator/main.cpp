// Entry point placeholder: replaced by the simulator lifecycle.
#include <cstdio>
int main() {
  std::printf("SIMULATOR::MAIN()-GOOD EXIT\n");
  std::fprintf(stderr, "SIMULATOR::MAIN()-GOOD EXIT\n");
  return 0;
}
