#pragma once
// The life of the movements a source keeps between questions (movement_cache.h), told as the run
// goes; a source that keeps nothing ignores it. Whatever is kept, every answer stays the same.
#include "data/date_time.h"
#include "data/document_changes.h"
#include "data/transaction.h"

namespace talvix::pricing {

class KeptMovements {
 public:
  virtual ~KeptMovements() = default;
  // A run starts: other users may have committed since the last one.
  virtual void runStarted() {}
  // A step starts; it sees what other users committed before it, unless the run named its period.
  virtual void stepStarted() {}
  // The run prices lines from first on: the history before it may be read once, as what it leaves.
  virtual void periodExpected(DateTime /*first*/) {}
  // PricingLibrary::PassStarted and PassEnded.
  virtual void passStarted(Transaction& /*snapshot*/, const DocumentChanges& /*changes*/) {}
  virtual void passEnded() {}
};

}  // namespace talvix::pricing
