#pragma once
// The change history as people and programs read it: the listing, one JSON object
// a line, and CSV. The simulator's report and the brumevale program both print
// through these, so the two never differ.

#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "reader/record/records.h"

namespace Reader {

// One event as the listing shows it: its line and its detail lines.
std::string EventText(const EventRecord& event, const AccountNames& accounts);
// The listing of all events; "No changes recorded.\n" when there are none.
std::string EventsText(const std::vector<EventRecord>& events, const AccountNames& accounts);

// One event as a JSON object: time, event, eventType, type, loadPointType, entry,
// user, oldCommandLine, newCommandLine, process, processPath, foundByRescan,
// fileVersion, companyName, signer, signatureValid, downloadAddress, beyondBuffers. foundByRescan
// is true only for what a rescan wrote, not for every event without a process.
nlohmann::json EventJson(const EventRecord& event);
// EventJson as one line, with its line break.
std::string EventJsonLine(const EventRecord& event);

// The same fields as CSV (RFC 4180): the header row, and one row per event.
std::string EventCsvHeader();
std::string EventCsvRow(const EventRecord& event);

// What is known of a process's image on one line: "version 1.2, Kelvra, signed by X
// (valid), downloaded from http://...".
std::string ImageDetails(const ProcessFacts& facts);

// A stored text for one line of a listing: each control character shown as its
// visible symbol, so that one record stays one block of lines, and each hidden
// direction or zero-width mark as its code (VisibleMarks).
std::string Shown(const std::string& text);

// A user as every view names it: "DOMAIN\name (SID)" where the record or accounts
// know the name, else as stored.
std::string UserText(const std::string& user, const std::string& userName, const AccountNames& accounts);

// A rescan's or a check's summary, which names no load point of its own.
bool IsSummary(const EventRecord& event);
// An event that names nothing: no extended data and no row left to read. Only an
// older record's events can be so bare.
bool DetailsNotKept(const EventRecord& event);
// Who made an event that names no process: "found by a rescan at T: changed while
// nothing watched" for a rescan's own finding, kNotificationMark for a change seen by
// a change notification, kNoProcessMark for an older record's rescan event,
// kNoProcessRecordedMark for a live event.
std::string NoProcessText(const EventRecord& event);
std::string RescanFindingText(const std::string& time);
// What a rescan's or a check's summary means, in words.
std::string SummaryText(const EventRecord& event);
// The event's name or value is longer than the service's buffers (value_limits.h).
bool BeyondBuffers(const EventRecord& event);

// "found by a rescan, no process known"
extern const char kNoProcessMark[];
// "seen by a change notification; no driver, so no process is known"
extern const char kNotificationMark[];
// "no process recorded"
extern const char kNoProcessRecordedMark[];
// "(details not kept)"
extern const char kDetailsNotKeptMark[];

}  // namespace Reader
