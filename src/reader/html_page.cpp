#include "reader/html_page.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "reader/html_template.h"
#include "reader/reader_session.h"

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

std::string UserText(const std::string& user, const AccountNames* accounts) {
  return accounts == nullptr ? user : Reader::UserText(user, *accounts);
}

// "process (path)" and what its image said, or why no process is named: as the
// listing has it.
std::string Attribution(bool noProcess, const char* noProcessText, const ProcessFacts& facts) {
  if (noProcess) return noProcessText;
  return facts.process + " (" + facts.processPath + ")\n" + ImageDetails(facts);
}

void AppendRow(std::initializer_list<const std::string*> values, bool first, std::string* out) {
  *out += first ? "\n[" : ",\n[";
  for (const std::string* value : values) {
    if (value != *values.begin()) *out += ',';
    AppendJsonString(*value, out);
  }
  *out += ']';
}

constexpr char kSections[] = R"(<input id="filter" type="search" placeholder="Filter: any text of a row" autofocus>
<section id="inventory"><h2>Load points</h2><p class="count"></p>
<p class="pager" hidden><button class="previous">Previous</button><button class="next">Next</button></p>
<table><thead><tr></tr></thead><tbody></tbody></table></section>
<section id="timeline"><h2>Changes, oldest first</h2><p class="count"></p>
<p class="pager" hidden><button class="previous">Previous</button><button class="next">Next</button></p>
<table><thead><tr></tr></thead><tbody></tbody></table></section>
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
       << kSections;
}

void HtmlPageWriter::AddLoadPoint(const LoadPointRecord& p) {
  const std::string user = UserText(p.user, accounts_);
  const std::string server = p.indirectionCommandLine.empty() ? p.indirectionEntry : p.indirectionCommandLine;
  const std::string by = Attribution(p.noProcess, kNoProcessMark, p);
  AppendRow({&p.typeName, &p.entry, &user, &p.commandLine, &p.displayName, &server, &p.firstRecorded,
             &p.lastChanged, &by}, first_, &buffer_);
  first_ = false;
  if (buffer_.size() > (1 << 16)) out_ << buffer_, buffer_.clear();
}

void HtmlPageWriter::StartTimeline() {
  out_ << buffer_ << "]</script>\n<script type=\"application/json\" id=\"timeline-data\">[";
  buffer_.clear();
  first_ = true;
}

void HtmlPageWriter::AddEvent(const EventRecord& e) {
  const std::string user = UserText(e.user, accounts_);
  const std::string by = IsSummary(e) ? "" : Attribution(e.noProcess, NoProcessText(e), e);
  static const std::string kNotKept = kDetailsNotKeptMark;
  AppendRow({&e.time, &e.event, &e.typeName, DetailsNotKept(e) ? &kNotKept : &e.entry, &user, &e.oldCommandLine,
             &e.newCommandLine, &by}, first_, &buffer_);
  first_ = false;
  if (buffer_.size() > (1 << 16)) out_ << buffer_, buffer_.clear();
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
  HtmlPageWriter writer(page, input);
  read = session.reader->EachLoadPoint([&](const LoadPointRecord& p) { writer.AddLoadPoint(p); });
  writer.StartTimeline();
  if (read == ReadResult::Ok) read = session.reader->EachEvent([&](const EventRecord& e) { writer.AddEvent(e); });
  writer.Finish();
  if (read != ReadResult::Ok) return session.Finish(read);
  return page.flush() ? kExitOk : session.Fail(target + ": cannot be written");
}

}  // namespace Reader
