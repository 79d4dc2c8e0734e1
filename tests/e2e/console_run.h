// Running the console program as a user does, for the end-to-end tests.
#pragma once

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdio>
#include <filesystem>
#include <string>

namespace e2e {

struct TResult {
  int Status = -1;
  std::string Out;  // standard output and standard error together
};

// The console program built beside this test program (found through /proc, so on Linux).
inline std::string Program() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  const std::filesystem::path p = self.parent_path().parent_path() / "ui" / "console" / "tessaly";
  return std::filesystem::exists(p) ? p.string() : std::string();
}

// Runs a shell command with standard input closed (never a terminal).
inline TResult Shell(const std::string& command) {
  TResult r;
  FILE* pipe = popen((command + " </dev/null 2>&1").c_str(), "r");
  if (!pipe) return r;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) r.Out.append(buf, n);
  const int raw = pclose(pipe);
#ifdef _WIN32
  r.Status = raw;
#else
  r.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
  return r;
}

inline TResult RunTessaly(const std::string& args) { return Shell(Program() + " " + args); }

}  // namespace e2e
