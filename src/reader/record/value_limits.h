#pragma once
// The reader's words for a stored text beyond the service's documented buffers; the
// rule itself (how long is too long) is util/documented_buffers.h, shared with the
// service.

#include <cstddef>
#include <string>

namespace Reader {

// The UTF-16 length of a UTF-8 text (a character beyond the Basic Multilingual Plane
// counts two).
size_t Utf16Length(const std::string& text);

bool DataBeyondBuffers(const std::string& data);
bool NameBeyondBuffers(const std::string& name);

// "longer than the service's 2048-byte buffers (N characters)" for the listing, or
// empty when both fit.
std::string BeyondBuffersNote(const std::string& name, const std::string& data);

}  // namespace Reader
