#include "reader/commands/reader_options.h"

#include <algorithm>
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

bool AsksForHelp(const std::vector<std::string>& args) {
  return args.size() >= 2 && IsReaderCommand(args[0]) &&
         std::find_if(args.begin() + 1, args.end(), [](const std::string& a) { return a == "--help" || a == "-h"; }) !=
             args.end();
}

std::string CommandHelp(const std::string& program, const std::string& command) {
  if (command == "history") {
    return "usage: " + program + " history [DB] [options]\n"
           "The change timeline, oldest first. Filters combine.\n"
           "  --since TIME, --until TIME  the window, both ends included. TIME is YYYY-MM-DD[ HH:MM[:SS]] in the\n"
           "                              record's local time; with T and Z or an offset (2026-12-07T04:51:08+01:00)\n"
           "                              an instant; or 30m, 2h, 7d back from the newest event\n"
           "  --type TYPE                 a load-point type number 1 to 65, its name (\"user run\"),\n"
           "                              \"System setting\" or \"File extension\"\n"
           "  --entry TEXT                part of the entry's name (letter case ignored)\n"
           "  --user TEXT                 part of the user's DOMAIN\\name or SID\n"
           "  --process TEXT              part of the process's path\n"
           "  --unattributed              only events without a process (rescan findings, checks)\n"
           "  --net                       one line per load point: its net change over the window\n"
           "  --format text|json|csv      text (default), one JSON object a line, or CSV\n";
  }
  if (command == "inventory") {
    return "usage: " + program + " inventory [DB] [options]\n"
           "The load points as they stand, by type, then location and entry.\n"
           "  --verify                    check the file each entry starts, on this machine\n"
           "  --hide-signed-by NAME       leave out what NAME validly signs (implies --verify)\n"
           "  --all-control-sets          also the control sets the machine does not boot from\n"
           "  --format text|json|csv      text (default), one JSON object a line, or CSV\n";
  }
  return "usage: " + program + " html [DB] [options]\n"
         "One self-contained page: the inventory and the timeline, with a filter and sorting.\n"
         "  -o FILE                     write the page to FILE (else standard output)\n"
         "  --machine NAME              the machine's name at the top of the page\n"
         "  --all-control-sets          also the control sets the machine does not boot from\n";
}

std::string ReaderUsage(const std::string& program) {
  return "usage: " + program + " history [DB] [--since TIME] [--until TIME] [--type TYPE] [--entry TEXT]\n"
         "           [--user TEXT] [--process TEXT] [--unattributed] [--net] [--format text|json|csv]\n"
         "       " + program + " inventory [DB] [--format text|json|csv] [--verify] [--hide-signed-by NAME]\n"
         "           [--all-control-sets]\n"
         "       " + program + " html [DB] [-o FILE] [--machine NAME] [--all-control-sets]\n";
}

}  // namespace Reader
