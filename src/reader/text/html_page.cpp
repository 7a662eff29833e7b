#include "reader/text/html_page.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "reader/record/event_time.h"
#include "reader/text/html_template.h"
#include "reader/inventory/entry_location.h"
#include "reader/inventory/inventory_format.h"
#include "reader/inventory/inventory_order.h"
#include "reader/commands/reader_session.h"
#include "reader/text/safe_text.h"

namespace Reader {
namespace {

std::string HtmlText(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Nonce() {
  std::random_device random;
  char text[33];
  std::snprintf(text, sizeof text, "%08x%08x%08x%08x", random(), random(), random(), random());
  return text;
}

std::string UserText(const std::string& user, const std::string& userName, const AccountNames* accounts) {
  static const AccountNames kNone;
  return Reader::UserText(user, userName, accounts == nullptr ? kNone : *accounts);
}

// "process (path)" and what its image said, or why no process is named: as the
// listing has it.
std::string Attribution(bool noProcess, const std::string& noProcessText, const ProcessFacts& facts) {
  if (noProcess) return noProcessText;
  return facts.process + " (" + facts.processPath + ")\n" + ImageDetails(facts);
}

}  // namespace

// A text seen before goes as its number; a new short one is written and numbered in
// the order texts first come, as the page's script numbers them; a long one (a
// command line seldom repeats) goes as a one-element array, unnumbered, so that the
// table of texts stays small.
void HtmlPageWriter::AppendCell(const std::string& text) {
  const std::string shown = VisibleMarks(text);
  if (shown.size() > kLongestNumberedText) {
    buffer_ += '[';
    AppendJsonString(shown, &buffer_);
    buffer_ += ']';
    return;
  }
  const auto [slot, fresh] = numbers_.try_emplace(shown, numbers_.size());
  if (fresh) {
    AppendJsonString(shown, &buffer_);
  } else {
    buffer_ += std::to_string(slot->second);
  }
}

void HtmlPageWriter::AppendRow(std::initializer_list<const std::string*> values) {
  buffer_ += first_ ? "\n[" : ",\n[";
  first_ = false;
  for (const std::string* value : values) {
    if (value != *values.begin()) buffer_ += ',';
    AppendCell(*value);
  }
  buffer_ += ']';
  if (buffer_.size() > (1 << 16)) out_ << buffer_, buffer_.clear();
}

namespace {

constexpr char kSections[] = R"(<input id="filter" type="search" placeholder="Filter: any text of a row" autofocus>
<label><input id="hide-vendor" type="checkbox"> hide the operating system vendor's entries</label>
<section id="inventory"><h2>Load points</h2><p class="count"></p><div class="pager" hidden></div>
<div class="scroll"><table><thead><tr></tr></thead><tbody></tbody></table></div><div class="pager" hidden></div></section>
<section id="timeline"><h2>Changes</h2><p class="count"></p><div class="pager" hidden></div>
<div class="scroll"><table><thead><tr></tr></thead><tbody></tbody></table></div><div class="pager" hidden></div></section>
<script type="application/json" id="inventory-data">[)";

std::string FileNameOf(const std::string& path) {
  const std::u8string name = std::filesystem::u8path(path).filename().u8string();
  return std::string(name.begin(), name.end());
}

}  // namespace

void AppendJsonString(const std::string& text, std::string* out) {
  *out += '"';
  for (const unsigned char c : text) {
    if (c == '"' || c == '\\') {
      *out += '\\';
      *out += static_cast<char>(c);
    } else if (c < 0x20 || c == '<' || c == '>' || c == '&' || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      *out += escaped;
    } else {
      *out += static_cast<char>(c);
    }
  }
  *out += '"';
}

HtmlPageWriter::HtmlPageWriter(std::ostream& out, const HtmlPageInput& input)
    : out_(out), accounts_(input.accounts), nonce_(Nonce()) {
  out_ << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
       << "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; script-src 'nonce-"
       << nonce_ << "'; style-src 'nonce-" << nonce_
       << "'; img-src 'none'; connect-src 'none'; base-uri 'none'; form-action 'none'\">\n"
       << "<title>Brumevale record of " << HtmlText(input.machine) << "</title>\n<style nonce=\"" << nonce_
       << "\">" << kHtmlStyle << "</style></head>\n<body>\n<h1>Brumevale record of <span id=\"machine\">"
       << HtmlText(input.machine) << "</span></h1>\n<p>Latest event: <span id=\"latest\">"
       << HtmlText(input.latestEvent.empty() ? "none" : input.latestEvent) << "</span></p>\n"
       << "<p hidden>Operating system vendor: <span id=\"vendor\">" << HtmlText(input.vendor) << "</span></p>\n"
       << kSections;
}

void HtmlPageWriter::AddLoadPoint(const LoadPointRecord& p, const FileCheck& file) {
  const std::string entry = EntryLabel(p.entry, p.displayName);
  const std::string where = PointLocation(p);
  const std::string user = UserText(p.user, p.userName, accounts_);
  const std::string server = p.indirectionCommandLine.empty() ? p.indirectionEntry : p.indirectionCommandLine;
  const std::string by = Attribution(p.noProcess, p.noProcess ? LoadPointNoProcessText(p) : "", p);
  const std::string first = TimeText(p.firstRecorded, p.firstRecordedOffset);
  const std::string last = TimeText(p.lastChanged, p.lastChangedOffset);
  const std::string signer = FileSignerText(file);
  AppendRow({&p.typeName, &entry, &where, &user, &p.commandLine, &server, &first, &last, &signer, &by});
}

void HtmlPageWriter::StartTimeline() {
  out_ << buffer_ << "]</script>\n<script type=\"application/json\" id=\"timeline-data\">[";
  buffer_.clear();
  first_ = true;
}

void HtmlPageWriter::AddEvent(const EventRecord& e) {
  const std::string user = UserText(e.user, e.userName, accounts_);
  const std::string by = IsSummary(e) ? SummaryText(e) : Attribution(e.noProcess, e.noProcess ? NoProcessText(e) : "", e);
  static const std::string kNotKept = kDetailsNotKeptMark;
  const std::string time = TimeText(e.time, e.utcOffset);
  const std::string entry = DetailsNotKept(e) ? kNotKept : EntryLabel(e.entry, e.displayName);
  const std::string where = EventLocation(e);
  AppendRow({&time, &e.event, &e.typeName, &entry, &where, &user, &e.oldCommandLine, &e.newCommandLine, &by});
}

void HtmlPageWriter::Finish() {
  out_ << buffer_ << "]</script>\n<script nonce=\"" << nonce_ << "\">" << kHtmlScript
       << "</script>\n</body></html>\n";
  buffer_.clear();
}

int HtmlCommand(ReaderSession& session, std::ostream& out) {
  const ReaderOptions& o = session.options;
  HtmlPageInput input;
  input.accounts = &session.host.accounts;
  input.machine = !o.database && !session.host.computerName.empty() ? session.host.computerName
                  : o.values.count("--machine")                   ? o.Value("--machine")
                      : FileNameOf(session.path);
  ReadResult read = session.reader->LatestEventTime(&input.latestEvent);
  if (read != ReadResult::Ok) return session.Finish(read);
  input.latestEvent = TimeText(input.latestEvent, session.reader->Offsets().At(input.latestEvent));
  std::ofstream file;
  const std::string target = o.Value("-o");
  if (!target.empty()) {
    std::error_code ec;
    if (std::filesystem::equivalent(std::filesystem::u8path(target), std::filesystem::u8path(session.path), ec)) {
      return session.Fail(target + ": is the database itself; name another file for the page");
    }
    file.open(std::filesystem::u8path(target), std::ios::binary | std::ios::trunc);
    if (!file) return session.Fail(target + ": cannot be written");
  }
  std::ostream& page = target.empty() ? out : file;
  std::vector<InventoryItem> items;
  read = session.reader->EachLoadPoint([&](const LoadPointRecord& p) {
    items.push_back({p, session.host.checkFile ? session.host.checkFile(LoadedCommand(p)) : FileCheck{}});
  });
  if (!o.Flag("--all-control-sets")) KeepControlSet(CurrentControlSet(items), &items);
  SortByLocation(&items);
  input.vendor = OperatingSystemVendor(items);
  HtmlPageWriter writer(page, input);
  for (const InventoryItem& item : items) writer.AddLoadPoint(item.point, item.file);
  writer.StartTimeline();
  if (read == ReadResult::Ok) read = session.reader->EachEvent([&](const EventRecord& e) { writer.AddEvent(e); });
  writer.Finish();
  if (read != ReadResult::Ok) return session.Finish(read);
  return page.flush() ? kExitOk : session.Fail(target + ": cannot be written");
}

}  // namespace Reader
