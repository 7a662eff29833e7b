#include "reader/reader_options.h"

#include <set>

namespace Reader {
namespace {

struct CommandOptions {
  const char* command;
  std::set<std::string> withValue;
  std::set<std::string> flags;
};

const CommandOptions kCommands[] = {
    {"history", {"--since", "--until", "--type", "--entry", "--user", "--process", "--format"},
     {"--unattributed", "--net"}},
    {"inventory", {"--format", "--hide-signed-by"}, {"--verify", "--all-control-sets"}},
    {"html", {"-o", "--machine"}, {"--all-control-sets"}},
};

const CommandOptions* FindCommand(const std::string& name) {
  for (const CommandOptions& command : kCommands) {
    if (name == command.command) return &command;
  }
  return nullptr;
}

}  // namespace

bool IsReaderCommand(const std::string& name) { return FindCommand(name) != nullptr; }

std::string ReaderOptions::Value(const std::string& name, const std::string& otherwise) const {
  const auto found = values.find(name);
  return found == values.end() ? otherwise : found->second;
}

bool ParseReaderOptions(const std::vector<std::string>& args, ReaderOptions* options, std::string* error) {
  const CommandOptions* command = args.empty() ? nullptr : FindCommand(args[0]);
  if (command == nullptr) {
    *error = args.empty() ? "no command given (history, inventory or html)"
                          : "unknown command \"" + args[0] + "\" (history, inventory or html)";
    return false;
  }
  options->command = args[0];
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (command->flags.count(arg)) {
      options->flags[arg] = true;
    } else if (command->withValue.count(arg)) {
      if (i + 1 == args.size()) {
        *error = arg + " needs a value";
        return false;
      }
      options->values[arg] = args[++i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      *error = "unknown option \"" + arg + "\" for " + options->command;
      return false;
    } else if (options->database) {
      *error = "one database file only (\"" + *options->database + "\" and \"" + arg + "\")";
      return false;
    } else {
      options->database = arg;
    }
  }
  const std::string format = options->Value("--format", "text");
  if (format != "text" && format != "json" && format != "csv") {
    *error = "bad format \"" + format + "\": use text, json or csv";
    return false;
  }
  return true;
}

std::string ReaderUsage(const std::string& program) {
  return "usage: " + program + " history [DB] [--since TIME] [--until TIME] [--type TYPE] [--entry TEXT]\n"
         "           [--user TEXT] [--process TEXT] [--unattributed] [--net] [--format text|json|csv]\n"
         "       " + program + " inventory [DB] [--format text|json|csv] [--verify] [--hide-signed-by NAME]\n"
         "           [--all-control-sets]\n"
         "       " + program + " html [DB] [-o FILE] [--machine NAME] [--all-control-sets]\n";
}

}  // namespace Reader
