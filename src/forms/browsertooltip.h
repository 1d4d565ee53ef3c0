#pragma once

#include "cacheentry.h"
#include "cacherecords.h"

#include <QString>

namespace vellomar {

// A browser cache entry's tooltip: its address, content type, encoding and the times its
// format keeps, named as that format means them.
QString browserrecorddescription(const CacheRecord &record, CacheFormat format);

} // namespace vellomar
