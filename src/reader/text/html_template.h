#pragma once
// The fixed parts of the report page: its style and its script.

namespace Reader {

extern const char kHtmlStyle[];
extern const char kHtmlScript[];

}  // namespace Reader
