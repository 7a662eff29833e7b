#pragma once
// The brumevale command line, parsed but not yet checked against the record.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace Reader {

struct ReaderOptions {
  std::string command;                            // history, inventory, html
  std::optional<std::string> database;            // the file named, if any
  std::map<std::string, std::string> values;      // --since 7d, --format json, -o FILE, ...
  std::map<std::string, bool> flags;              // --net, --verify, --unattributed

  std::string Value(const std::string& name, const std::string& otherwise = "") const;
  bool Flag(const std::string& name) const { return flags.count(name) != 0; }
};

// False with a message for an unknown command or option, a missing value, a value
// out of its set or a second file.
bool ParseReaderOptions(const std::vector<std::string>& args, ReaderOptions* options, std::string* error);

// history, inventory or html.
bool IsReaderCommand(const std::string& name);

// "history --help" and the like: the command and --help or -h among its arguments.
bool AsksForHelp(const std::vector<std::string>& args);
// One command's usage with every option explained.
std::string CommandHelp(const std::string& programName, const std::string& command);

// The usage text.
std::string ReaderUsage(const std::string& programName);

}  // namespace Reader
