// brumevale collect and brumevale fleet's command lines, and the dispatch of all
// three fleet commands.

#include "fleet/commands/fleet_cli.h"

#include <ostream>
#include <set>

#include "fleet/collect/collector.h"
#include "fleet/collect/dead_letters.h"
#include "fleet/commands/fleet_arguments.h"
#include "fleet/queries/fleet_audit.h"
#include "fleet/queries/fleet_queries.h"
#include "fleet/collect/fleet_schema.h"
#include "fleet/queries/fleet_status.h"
#include "fleet/links/stream_setup.h"

namespace Fleet {
namespace {

constexpr char kNoPassword[] =
    "no password in --database: every process list shows it; use a password file (~/.pgpass, passfile=) "
    "or a service file (service=NAME)";

int Collect(const std::vector<std::string>& args, const FleetHost& host, const std::atomic<bool>& stop,
            std::ostream& err) {
  const std::string program = host.programName + " collect";
  Arguments a;
  std::string error;
  CollectOptions options;
  if (!ParseArguments(args, 1, {"--server", "--database", "--user", "--password-file", "--tls-ca", "--tls-cert", "--tls-key", "--give-up-after"},
                      {"--drain"}, &a, &error) ||
      !NatsSettingsOf(a, host, &options.nats, &error) || !GiveUpSecondsOf(a, &options.giveUpSeconds, &error))
    return BadInput(err, program, error);
  if (!a.positional.empty()) return BadInput(err, program, "unexpected argument " + a.positional[0]);
  if (!a.values.count("--database")) return BadInput(err, program, "--database CONNINFO is required");
  options.conninfo = a.values.at("--database");
  if (ConninfoHasPassword(options.conninfo)) return BadInput(err, program, kNoPassword);
  options.drain = a.flags.count("--drain") != 0;
  return RunCollect(options, stop, err);
}

// A fleet command line: the query's name, --database, --machine, and the rest left
// in order for the query's own options (history takes the reader's).
struct QueryLine {
  std::string query, database, machine, machineId;
  std::vector<std::string> rest;
};

bool SplitQueryLine(const std::vector<std::string>& args, QueryLine* line, std::string* error) {
  static const std::set<std::string> kValued = {"--format",  "--since",         "--until",  "--type",  "--entry",
                                                "--user",    "--process",       "--server", "--tls-ca", "--tls-cert", "--tls-key",
                                                "--password-file", "--replicas", "--max-age", "--max-bytes", "--keep-months", "--max-deliver"};
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool own = arg == "--database" || arg == "--machine" || arg == "--machine-id";
    if ((own || kValued.count(arg)) && i + 1 >= args.size()) return *error = arg + " needs a value", false;
    if (own) (arg == "--database" ? line->database : arg == "--machine" ? line->machine : line->machineId) = args[++i];
    else if (line->query.empty() && arg.rfind("-", 0) != 0) line->query = arg;
    else {
      line->rest.push_back(arg);
      if (kValued.count(arg)) line->rest.push_back(args[++i]);
    }
  }
  if (line->query.empty())
    return *error = "name a query: machines, new, where, history, audit, status, entries or replay", false;
  static const std::set<std::string> kQueries = {"machines", "new",   "where",   "history", "audit",  "replay",
                                                 "setup",    "migrate", "prune", "status",  "entries"};
  if (!kQueries.count(line->query)) return *error = "unknown query " + line->query, false;
  if ((line->query == "history" || line->query == "audit") && line->machine.empty() == line->machineId.empty())
    return *error = line->query + " needs --machine NAME or --machine-id ID", false;
  if (line->database.empty() && line->query != "setup") return *error = "--database CONNINFO is required", false;
  if (ConninfoHasPassword(line->database)) return *error = kNoPassword, false;
  return true;
}

int Answer(PgLink& pg, const QueryLine& line, const Arguments& a, OutputFormat format,
           const Reader::ReaderOptions& history, std::ostream& out, std::ostream& err) {
  if (line.query == "machines") return QueryMachines(pg, format, out, err);
  if (line.query == "new")
    return QueryNew(pg, a.values.count("--since") ? a.values.at("--since") : "24h", a.flags.count("--unsigned") != 0,
                    format, out, err);
  if (line.query == "where") return QueryWhere(pg, a.positional[0], format, out, err);
  if (line.query == "entries") return QueryEntries(pg, format, out, err);
  std::string id;
  if (const int resolved = ResolveMachine(pg, line.machine, line.machineId, &id, err); resolved != 0) return resolved;
  if (line.query == "audit") return AuditMachine(pg, id, a.positional[0], out, err);
  return QueryHistory(pg, id, history, out, err);
}

int Query(const std::vector<std::string>& args, const FleetHost& host, std::ostream& out, std::ostream& err) {
  const std::string program = host.programName + " fleet";
  QueryLine line;
  Arguments a;
  Reader::ReaderOptions history;
  OutputFormat format = OutputFormat::Text;
  std::string error;
  if (!SplitQueryLine(args, &line, &error)) return BadInput(err, program, error);
  if (line.query == "setup") {
    NatsSettings nats;
    StreamSettings wanted;
    if (!ParseArguments(line.rest, 0, {"--server", "--user", "--password-file", "--tls-ca", "--tls-cert", "--tls-key", "--replicas", "--max-age",
                                       "--max-bytes", "--max-deliver"}, {"--update"}, &a, &error) ||
        !NatsSettingsOf(a, host, &nats, &error))
      return BadInput(err, program, error);
    if (a.values.count("--replicas")) {
      const std::string& n = a.values.at("--replicas");
      if (n.size() != 1 || n[0] < '1' || n[0] > '5') return BadInput(err, program, "--replicas takes 1 to 5");
      wanted.replicas = n[0] - '0';
    }
    if (a.values.count("--max-age") && !ParseAge(a.values.at("--max-age"), &wanted.maxAgeNs))
      return BadInput(err, program, "--max-age takes 30d, 720h or 0");
    if (a.values.count("--max-bytes") && !ParseBytes(a.values.at("--max-bytes"), &wanted.maxBytes))
      return BadInput(err, program, "--max-bytes takes 64G, 512M, a number of bytes or 0");
    if (a.values.count("--max-deliver")) {
      const std::string& n = a.values.at("--max-deliver");
      if (n.empty() || n.size() > 6 || n.find_first_not_of("0123456789") != std::string::npos || std::stoi(n) < 2)
        return BadInput(err, program, "--max-deliver takes a count of 2 or more");
      wanted.maxDeliver = std::stoi(n);
    }
    if (!a.positional.empty()) return BadInput(err, program, "unexpected argument " + a.positional[0]);
    return SetUpStream(nats, wanted, a.flags.count("--update") != 0, out, err);
  }
  if (line.query == "migrate") {
    if (!line.rest.empty()) return BadInput(err, program, "unexpected argument " + line.rest[0]);
    PgLink pg;
    if (!pg.Connect(line.database, &error) || !MigrateFleetTables(pg, &error)) {
      err << program << ": " << error << std::endl;
      return 1;
    }
    out << "fleet tables at schema version " << kFleetSchemaVersion << std::endl;
    return 0;
  }
  if (line.query == "prune") {
    if (!ParseArguments(line.rest, 0, {"--keep-months"}, {}, &a, &error)) return BadInput(err, program, error);
    const std::string keep = a.values.count("--keep-months") ? a.values.at("--keep-months") : "";
    if (keep.empty() || keep.size() > 4 || keep.find_first_not_of("0123456789") != std::string::npos || std::stoi(keep) < 1)
      return BadInput(err, program, "prune takes --keep-months N (1 or more whole months before the current one)");
    if (!a.positional.empty()) return BadInput(err, program, "unexpected argument " + a.positional[0]);
    PgLink pg;
    int64_t dropped = 0;
    if (!pg.Connect(line.database, &error) || !PruneFleetEvents(pg, std::stoi(keep), &dropped, &error)) {
      err << program << ": " << error << std::endl;
      return 1;
    }
    out << dropped << " events older than " << keep << " months dropped" << std::endl;
    return 0;
  }
  if (line.query == "status") {
    std::optional<NatsSettings> nats;
    if (!ParseArguments(line.rest, 0, {"--server", "--user", "--password-file", "--tls-ca", "--tls-cert", "--tls-key"},
                        {}, &a, &error))
      return BadInput(err, program, error);
    if (!a.positional.empty()) return BadInput(err, program, "unexpected argument " + a.positional[0]);
    if (a.values.count("--server") && !NatsSettingsOf(a, host, &nats.emplace(), &error))
      return BadInput(err, program, error);
    PgLink pg;
    if (!pg.Connect(line.database, &error)) {
      err << program << ": " << error << std::endl;
      return 1;
    }
    return QueryStatus(pg, nats, out, err);
  }
  if (line.query == "replay") {
    NatsSettings nats;
    if (!ParseArguments(line.rest, 0, {"--server", "--user", "--password-file", "--tls-ca"}, {}, &a, &error) ||
        !NatsSettingsOf(a, host, &nats, &error))
      return BadInput(err, program, error);
    if (!a.positional.empty()) return BadInput(err, program, "unexpected argument " + a.positional[0]);
    PgLink pg;
    if (!pg.Connect(line.database, &error)) {
      err << program << ": " << error << std::endl;
      return 1;
    }
    return ReplayDeadLetters(nats, pg, out, err);
  }
  if (line.query == "history") {
    std::vector<std::string> readerArgs = {"history"};
    readerArgs.insert(readerArgs.end(), line.rest.begin(), line.rest.end());
    if (!Reader::ParseReaderOptions(readerArgs, &history, &error)) return BadInput(err, program, error);
    if (history.database) return BadInput(err, program, "unexpected argument " + *history.database);
  } else {
    if (!ParseArguments(line.rest, 0, {"--format", "--since"}, {"--unsigned"}, &a, &error))
      return BadInput(err, program, error);
    if (a.values.count("--format") && !ParseOutputFormat(a.values.at("--format"), &format))
      return BadInput(err, program, "--format takes text, json or csv");
    const size_t wanted = line.query == "where" || line.query == "audit" ? 1 : 0;
    if (a.positional.size() != wanted)
      return BadInput(err, program, line.query == "where"   ? "where takes one TEXT"
                                    : line.query == "audit" ? "audit takes one DB"
                                                            : "unexpected argument " + a.positional[0]);
  }
  PgLink pg;
  if (!pg.Connect(line.database, &error)) {
    err << program << ": " << error << std::endl;
    return 1;
  }
  return Answer(pg, line, a, format, history, out, err);
}

}  // namespace

int RunFleetCommand(const std::vector<std::string>& args, const FleetHost& host, const std::atomic<bool>& stop,
                    std::ostream& out, std::ostream& err) {
  if (args.empty() || !IsFleetCommand(args[0])) return BadInput(err, host.programName, "unknown command");
  if (args[0] == "export") return RunExportCommand(args, host, stop, err);
  if (args[0] == "collect") return Collect(args, host, stop, err);
  return Query(args, host, out, err);
}

}  // namespace Fleet
