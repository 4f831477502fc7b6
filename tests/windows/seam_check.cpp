// Our WinMM-shaped header against Windows' own: every constant, type and structure
// size and field offset must be equal, or code above the ports would work on one
// platform and not on the other. Prints each difference; exits 1 if there is one.
#include <cstdio>

#include "seam_names.h"

int main() {
  const std::vector<SeamEntry> ours = OurSeam();
  const std::vector<SeamEntry> windows = WindowsSeam();
  int differences = 0;
  for (std::size_t i = 0; i < ours.size() && i < windows.size(); ++i) {
    if (ours[i].value == windows[i].value) continue;
    std::printf("%s: ours %lld, Windows %lld\n", ours[i].name.c_str(), ours[i].value,
                windows[i].value);
    ++differences;
  }
  std::printf("%zu checked, %d different\n", ours.size(), differences);
  return differences == 0 && ours.size() == windows.size() && !ours.empty() ? 0 : 1;
}
