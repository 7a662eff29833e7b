#include "reader/reader_commands.h"

#include "reader/history_filter.h"
#include "reader/html_page.h"
#include "reader/net_change.h"
#include "reader/reader_session.h"

namespace Reader {
namespace {

// The filters of a history command; false with the message of the bad one.
bool BuildFilter(ReaderSession& session, HistoryFilter* filter, std::string* error, ReadResult* read) {
  const ReaderOptions& o = session.options;
  if (o.values.count("--type") && !ParseTypeFilter(o.Value("--type"), filter, error)) return false;
  std::string latest;
  if (o.values.count("--since") || o.values.count("--until")) *read = session.reader->LatestEventTime(&latest);
  if (o.values.count("--since") && !ParseTimeBound(o.Value("--since"), false, latest, &filter->since, error)) {
    return false;
  }
  if (o.values.count("--until") && !ParseTimeBound(o.Value("--until"), true, latest, &filter->until, error)) {
    return false;
  }
  filter->entry = Folded(o.Value("--entry"));
  filter->user = Folded(o.Value("--user"));
  filter->process = Folded(o.Value("--process"));
  filter->unattributed = o.Flag("--unattributed");
  return true;
}

void WriteNetChanges(const std::vector<NetChange>& changes, const std::string& format, std::ostream& out) {
  for (const NetChange& change : changes) {
    if (format == "json") out << NetChangeJson(change).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    else if (format == "csv") out << NetChangeCsvRow(change);
    else out << NetChangeText(change);
  }
  if (format == "text" && changes.empty()) out << "No net changes in the window.\n";
}

int History(ReaderSession& session, std::ostream& out) {
  HistoryFilter filter;
  std::string error;
  ReadResult read = ReadResult::Ok;
  if (!BuildFilter(session, &filter, &error, &read)) return session.Fail(error);
  if (read != ReadResult::Ok) return session.Finish(read);
  const std::string format = session.options.Value("--format", "text");
  const bool net = session.options.Flag("--net");
  NetChangeBuilder builder;
  size_t shown = 0;
  if (format == "csv") out << (net ? NetChangeCsvHeader() : EventCsvHeader());
  read = session.reader->EachEvent([&](const EventRecord& event) {
    if (!filter.Matches(event)) return;
    ++shown;
    if (net) builder.Add(event);
    else if (format == "json") out << EventJsonLine(event);
    else if (format == "csv") out << EventCsvRow(event);
    else out << EventText(event, session.host.accounts);
  });
  if (read != ReadResult::Ok) return session.Finish(read);
  if (!net && format == "text" && shown == 0) out << "No changes recorded.\n";
  if (net) WriteNetChanges(builder.Result(), format, out);
  return kExitOk;
}

// Whether the file is validly signed by a signer whose name holds name (case of A-Z ignored).
bool SignedBy(const FileCheck& file, const std::string& name) {
  return file.present && file.hasSignature && file.signatureValid &&
         Folded(file.signer).find(Folded(name)) != std::string::npos;
}

int Inventory(ReaderSession& session, std::ostream& out) {
  const ReaderOptions& o = session.options;
  const bool verify = o.Flag("--verify") || o.values.count("--hide-signed-by");
  if (verify && !session.host.checkFile) return session.Fail(session.host.verifyHint);
  std::vector<InventoryItem> items;
  const ReadResult read = session.reader->EachLoadPoint([&](const LoadPointRecord& point) {
    InventoryItem item{point, {}};
    if (verify) item.file = session.host.checkFile(point.commandLine);
    if (o.values.count("--hide-signed-by") && SignedBy(item.file, o.Value("--hide-signed-by"))) return;
    items.push_back(std::move(item));
  });
  if (read != ReadResult::Ok) return session.Finish(read);
  const std::string format = o.Value("--format", "text");
  if (format == "text") {
    out << InventoryText(std::move(items), session.host.accounts);
    return kExitOk;
  }
  if (format == "csv") out << InventoryCsvHeader(verify);
  for (const InventoryItem& item : items) out << (format == "json" ? InventoryJsonLine(item) : InventoryCsvRow(item));
  return kExitOk;
}

}  // namespace

int RunReader(const std::vector<std::string>& args, const ReaderHost& host, std::ostream& out,
              std::ostream& err) {
  ReaderOptions options;
  std::string error;
  if (!ParseReaderOptions(args, &options, &error)) {
    err << host.programName << ": " << error << "\n";
    return kExitBadInput;
  }
  ReaderSession session{options, host, err, "", nullptr};
  int exitCode = kExitOk;
  if (!session.Open(&exitCode)) return exitCode;
  if (options.command == "history") return History(session, out);
  if (options.command == "inventory") return Inventory(session, out);
  return HtmlCommand(session, out);
}

}  // namespace Reader
