// The console front end's commands; each returns the process exit status.
#pragma once

#include <string>
#include <vector>

namespace console {

// Arguments after the switch itself (options such as -tsv or -pPASSWORD included).
int RunType(const std::vector<std::string>& args);      // -type FILE
int RunList(const std::vector<std::string>& args);      // -l [-tsv] ARCHIVE
int RunTest(const std::vector<std::string>& args);      // -test [-pPASSWORD] ARCHIVE
int RunExtract(const std::string& sw, const std::vector<std::string>& args);  // -e/-es/-et
int RunAdd(const std::vector<std::string>& args);       // -a [options] ARCHIVE FILESPECS
void PrintUsage();

}  // namespace console
