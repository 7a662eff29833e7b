#pragma once
// What the download tracker left on a file: the address it came from, who
// downloaded it and when, read from the file's "Brumevale.URL" stream.
//
// A departure from the documented AllocString / DeallocString shape: the tag comes
// back as a value (tracker/download_tag.h), shared with the intake side that writes
// it, instead of three strings allocated here and handed back one by one.

#include <optional>
#include <string>

#include "platform/system.h"
#include "tracker/download_tag.h"

namespace BrumevaleUtil {

// The tag on path, or none when the file has no tag or its address is empty.
std::optional<DownloadTag> ReadDownloadTag(Platform::System& system, const std::u16string& path);

}  // namespace BrumevaleUtil
