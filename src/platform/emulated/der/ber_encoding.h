#pragma once
// BER to DER: signatures made by streaming signers arrive with indefinite lengths
// (and constructed OCTET STRINGs), which Windows' message decoder accepts. The trust
// provider reads them in their DER form, the form the signed digests are defined over.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace Emulated {

// The first element of ber re-encoded with definite lengths throughout, constructed
// OCTET STRINGs joined into one; nothing when it is not well-formed BER.
std::optional<std::vector<uint8_t>> BerToDer(std::span<const uint8_t> ber);

}  // namespace Emulated
