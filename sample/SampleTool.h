#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace sample {

// The text of DataSources.ini naming the database as data source "Sample".
// Fails (returns false) for a path no connection string or INI line can carry.
[[nodiscard]] bool dataSourcesIni(const std::filesystem::path &database, std::string &text, std::string &error);

// Writes through QSaveFile: the old file stays whole if anything fails.
[[nodiscard]] bool writeFileAtomically(const std::filesystem::path &path, const std::string &content,
                                       std::string &error);

// The command line of tabulon-sample, without the program name. Returns the exit code:
// 0 done, 1 a file could not be written, 2 a wrong command line.
int runSampleTool(const std::vector<std::string> &arguments, std::ostream &out, std::ostream &err);

} // namespace sample
