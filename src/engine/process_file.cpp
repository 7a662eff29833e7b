// Placeholder until the file-information work lands: every process is recorded as
// one whose image is unknown (a row with empty fields).
#include "engine/process_file.h"

#include "database/file_information.h"
#include "database/load_point_database.h"
#include "engine/load_point_engine.h"

int32_t AddProcessFile(LoadPointEngine& engine, uint64_t) {
  LoadPointDatabase* database = engine.Database();
  if (!database) return -1;
  FileInformation record;
  return database->AddProcessEntry(record, 0, false);
}
