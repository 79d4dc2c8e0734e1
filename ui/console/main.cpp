// The console front end: parses the switch and runs one command.
#include <cstdio>
#include <string>
#include <vector>

#include "ui/console/commands.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    console::PrintUsage();
    return 2;
  }
  std::string sw = args.front();
  std::vector<std::string> rest(args.begin() + 1, args.end());
  std::string lower;
  for (char c : sw) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "-h" || lower == "-?" || lower == "/?") {
    console::PrintUsage();
    return 0;
  }
  if (lower == "-type") return console::RunType(rest);
  if (lower == "-l") return console::RunList(rest);
  if (lower == "-test") return console::RunTest(rest);
  if (lower == "-e" || lower == "-es" || lower == "-et") return console::RunExtract(lower, rest);
  if (lower == "-a") return console::RunAdd(rest);
  std::fprintf(stderr, "Unknown switch: %s\n", sw.c_str());
  console::PrintUsage();
  return 2;
}
