// The attribute filter applied to listed entries without reading more than the filter needs.
// Pure functions of their arguments (a listing may read an entry's record); one thread per
// listing.
#pragma once

#include <cstddef>

#include <vorm/platform/files.h>

namespace VormBasicFileMatcher_details {

// Whether entry `index` of `listing` passes the attribute filter `filter` (see file_match.h).
// The listing's known attributes answer every condition but read-only and normal, and for a
// link those about what it points to; only then is the entry's record read.
bool EntryPasses(const VormFolderListing& listing, size_t index, int filter);

}  // namespace VormBasicFileMatcher_details
