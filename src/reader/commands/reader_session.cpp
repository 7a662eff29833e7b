#include "reader/commands/reader_session.h"

namespace Reader {
namespace {

std::string BusyText(const std::string& path) {
  // Whoever holds the lock is not known: the service, or any program that opened it.
  return path + ": another program has held the database locked for over " +
         std::to_string(RecordReader::kBusyLimitMs / 1000) + " seconds; try again";
}

}  // namespace

bool ReaderSession::Open(int* exitCode) {
  if (options.database) {
    path = *options.database;
  } else if (!host.ownDatabase.empty()) {
    path = host.ownDatabase;
  } else {
    *exitCode = Fail("name the database file (Brumevale.data) to read");
    return false;
  }
  std::string error;
  bool busy = false;
  reader = RecordReader::Open(path, &error, &busy);
  if (reader) {
    reader->AddAccountNames(host.accounts);
    return true;
  }
  *exitCode = busy ? Fail(BusyText(path), kExitBusy) : Fail(error);
  return false;
}

int ReaderSession::Finish(ReadResult result) {
  switch (result) {
    case ReadResult::Ok: return kExitOk;
    case ReadResult::Busy: return Fail(BusyText(path), kExitBusy);
    case ReadResult::Unreadable: break;
  }
  return Fail(reader->Error());
}

int ReaderSession::Fail(const std::string& message, int exitCode) {
  err << host.programName << ": " << message << "\n";
  return exitCode;
}

}  // namespace Reader
