#pragma once
// Our pricing library: FIFO and weighted-average costs, last purchase prices, stock figures, the
// default period, blocked days, the operation log and the run timer, computed from the stock
// database behind its data module; each call is passed to the one object of its concern, the
// prices and stock figures to a movement source (movement_source.h).
// Movements are cached per goods (movement_cache.h) with the same answers as reading them anew,
// following the tool's own writes and rollbacks on PRECES_DB. Lines other users commit are seen
// from the next newMylaiks (a run's pass) or, in a run that did not name its period with
// ExpectPeriod, PutInOperacija (a step): until then the library works from the movements as they
// were when it first asked about each goods, plus the tool's writes.
#include "data/pricing_library.h"

#include <memory>

namespace talvix::pricing {

struct LibraryOptions {
  // Off: every call reads the database, as a reference for the cache.
  bool movementCache = true;
  // Goods the cache reads one by one in a step before it reads all goods at once.
  int goodsReadOneByOne = 100;
};

// Creates the library and its data module (not yet connected). The movement cache is on unless
// the environment variable TALVIX_PRICING_CACHE is "0".
std::unique_ptr<PricingLibrary> MainFormDatiDll();
std::unique_ptr<PricingLibrary> MainFormDatiDll(const LibraryOptions& options);

}  // namespace talvix::pricing
