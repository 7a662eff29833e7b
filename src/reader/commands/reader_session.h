#pragma once
// What every command does first and last: open the file named (or the service's own
// database) and turn a failed read into its line on standard error and exit code.

#include <memory>
#include <ostream>
#include <string>

#include "reader/commands/reader_commands.h"
#include "reader/commands/reader_options.h"
#include "reader/record/record_reader.h"

namespace Reader {

struct ReaderSession {
  const ReaderOptions& options;
  const ReaderHost& host;
  std::ostream& err;
  std::string path;
  std::unique_ptr<RecordReader> reader;

  // False after saying why; *exitCode is then 2 or 3.
  bool Open(int* exitCode);
  // 0, or the exit code after saying what went wrong.
  int Finish(ReadResult result);
  int Fail(const std::string& message, int exitCode = kExitBadInput);
};

}  // namespace Reader
