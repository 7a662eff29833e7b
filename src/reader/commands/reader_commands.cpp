#include "reader/commands/reader_commands.h"

#include "reader/history/history_filter.h"
#include "reader/history/history_listing.h"
#include "reader/text/html_page.h"
#include "reader/inventory/inventory_order.h"
#include "reader/commands/reader_session.h"

namespace Reader {
namespace {

int History(ReaderSession& session, std::ostream& out) {
  const ReaderOptions& o = session.options;
  std::string latest, error;
  ReadResult read = ReadResult::Ok;
  if (NeedsLatestTime(o)) read = session.reader->LatestEventTime(&latest);
  HistoryFilter filter;
  if (!HistoryFilterOf(o, latest, &filter, &error)) return session.Fail(error);
  if (read != ReadResult::Ok) return session.Finish(read);
  HistoryListing listing(o, std::move(filter), session.host.accounts, out);
  read = session.reader->EachEvent([&](const EventRecord& event) { listing.Add(event); });
  if (read != ReadResult::Ok) return session.Finish(read);
  listing.Finish();
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
  const ReadResult read = session.reader->EachLoadPoint([&](LoadPointRecord& point) {
    FileCheck file;
    if (verify) file = session.host.checkFile(LoadedCommand(point));
    if (o.values.count("--hide-signed-by") && SignedBy(file, o.Value("--hide-signed-by"))) return;
    items.push_back({std::move(point), std::move(file)});
  });
  if (read != ReadResult::Ok) return session.Finish(read);
  if (!o.Flag("--all-control-sets")) KeepControlSet(CurrentControlSet(items), &items);
  SortByLocation(&items);
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
  if (AsksForHelp(args)) {
    out << CommandHelp(host.programName, args[0]);
    return kExitOk;
  }
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
