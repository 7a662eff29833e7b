#pragma once
// Signature verification of a process image: the embedded Authenticode signature
// first, the security catalogs for a file without one; the signer and its first
// counter-signer are stored as DigitalSignatures rows.

#include <cstdint>
#include <string>

#include "platform/system.h"

class LoadPointDatabase;

// Checks path and writes the signer's rows. The DigitalSignatures KEY of the signer,
// 0 when no row was written.
int32_t AddFileSignature(Platform::System& system, LoadPointDatabase& database,
                         const std::u16string& path);
