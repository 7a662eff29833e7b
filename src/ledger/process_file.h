#pragma once
// Who made a change: the process's image file as a Processes row.

#include <cstdint>

class LedgerContext;

// A new Processes row for the image of processId (file facts, version strings,
// signature rows, download data); its KEY, or -1 when the insert failed. A process
// the process table does not know still gets a row, with empty fields.
int32_t AddProcessFile(LedgerContext& context, uint64_t processId);
