// Test-only access to the deferred-line queue's bound.
#pragma once

#include <cstddef>

#include "plugin/boundary/data_cache.h"

namespace orvella {

class CDataCacheTestHelper {
  public:
    // Sets the bound; returns the one it replaces.
    static std::size_t SetBound(CDataCache& cache, std::size_t bytes) {
        const std::size_t old = cache.m_nBound;
        cache.m_nBound = bytes;
        return old;
    }
};

}  // namespace orvella
