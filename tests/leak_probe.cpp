// Loses one allocation on purpose. The sanitized builds run it as a test that passes only when
// the leak checker reports the loss at exit: the proof that every other test there runs under
// the leak checker too.
#include <cstdlib>

void* volatile g_only_reference;

int main() {
  g_only_reference = std::malloc(64);
  g_only_reference = nullptr;
  return 0;
}
