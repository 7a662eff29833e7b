#pragma once
// The service reads registry values into buffers of 2048 bytes: data of more than
// 1023 UTF-16 characters (with its terminating null) or a name of more than 259 do
// not fit, and an older service recorded such values cut short or not at all. The
// reader flags a stored text beyond them; the rule is kept here and nowhere else.

#include <cstddef>
#include <string>

namespace Reader {

constexpr size_t kDataBufferCharacters = 1023;
constexpr size_t kNameBufferCharacters = 259;

// The UTF-16 length of a UTF-8 text (a character beyond the Basic Multilingual Plane
// counts two).
size_t Utf16Length(const std::string& text);

bool DataBeyondBuffers(const std::string& data);
bool NameBeyondBuffers(const std::string& name);

// "longer than the service's 2048-byte buffers (N characters)" for the listing, or
// empty when both fit.
std::string BeyondBuffersNote(const std::string& name, const std::string& data);

}  // namespace Reader
