// Commands whose engines are not in this build yet: they say so and fail.
#include <cstdio>

#include "ui/console/commands.h"

namespace console {

namespace {
int NotAvailable(const char* what) {
  std::fprintf(stderr, "%s is not available in this build yet\n", what);
  return 2;
}
}  // namespace

int RunAdd(const std::vector<std::string>&) { return NotAvailable("-a"); }

}  // namespace console
