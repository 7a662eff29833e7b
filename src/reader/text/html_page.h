#pragma once
// The record as one self-contained HTML page: the inventory and the timeline with a
// filter box and column sorting that work offline. The page loads nothing: its
// Content-Security-Policy forbids every remote load, its one script and style carry
// a nonce, and the machine's texts travel as JSON inside the page and are only
// ever put into the document as text, so markup in a value name shows and never runs.

#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

#include "reader/history/event_format.h"
#include "reader/inventory/inventory_format.h"
#include "reader/record/records.h"

namespace Reader {

struct ReaderSession;

struct HtmlPageInput {
  std::string machine;      // shown at the top
  std::string latestEvent;  // the newest event's time, empty when none
  const AccountNames* accounts = nullptr;
  std::string vendor;       // the operating system vendor's signer name, empty when unknown
};

// Writes the page in three parts: the head, then each record's row as it is read,
// then the tail; rows of both tables go into their own arrays.
class HtmlPageWriter {
 public:
  HtmlPageWriter(std::ostream& out, const HtmlPageInput& input);
  void AddLoadPoint(const LoadPointRecord& point, const FileCheck& file);
  void StartTimeline();
  void AddEvent(const EventRecord& event);
  void Finish();

 private:
  // Texts longer than this are not numbered (see AppendCell).
  static constexpr size_t kLongestNumberedText = 160;
  void AppendCell(const std::string& text);
  void AppendRow(std::initializer_list<const std::string*> values);

  std::ostream& out_;
  const AccountNames* accounts_;
  std::unordered_map<std::string, size_t> numbers_;
  std::string nonce_;
  std::string buffer_;
  bool first_ = true;
};

// A text as a JSON string that is safe inside a script element.
void AppendJsonString(const std::string& text, std::string* out);

// The html command.
int HtmlCommand(ReaderSession& session, std::ostream& out);

}  // namespace Reader
