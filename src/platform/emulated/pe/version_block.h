#pragma once
// VerQueryValue over a VS_VERSIONINFO block: a tree of nodes, each a length, a
// value length, a type (0 binary, 1 text), a UTF-16 key and a value, with its
// children after it, every part aligned on 32 bits from the start of the block.

#include <cstdint>
#include <span>
#include <string_view>

namespace Emulated {

// subBlock names a path of node keys separated by "\" and compared without regard to
// the case of A to Z; "\" alone names the root's value (VS_FIXEDFILEINFO). value
// receives the node's value inside block: wValueLength bytes for a binary value,
// wValueLength UTF-16 characters (as bytes) for a text one, never past the node's
// end; a node whose value length is 0 is found with an empty value. False when no
// node has that path.
bool QueryVersionValue(std::span<const uint8_t> block, std::u16string_view subBlock,
                       std::span<const uint8_t>* value);

}  // namespace Emulated
