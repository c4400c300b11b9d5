#pragma once
// What a statement the tool ran may have changed among the movements the pricing library reads,
// judged from its SQL text alone. Only shapes known to be harmless or exactly followable are
// recognised; anything else is Unknown and the caller must assume every movement changed.
#include "pricing/movement_kinds.h"

#include <string>

namespace talvix::pricing {

struct WriteStatement {
  enum class Effect {
    // Writes only tables or columns neither the movements nor the client-sale look-ups are read
    // from (the operation log, the goods register).
    None,
    // UPDATE <table> SET [<table>.]<cost column> = <value> WHERE ISN = :<param>
    SingleRowCost,
    // Writes some of what only the client-sale look-ups read (issue costs, sale prices, clients),
    // not line by line.
    ClientSalesOnly,
    Unknown,
  };
  Effect effect = Effect::Unknown;
  // For Unknown: the statement names its one table, and it is not one the client-sale look-ups read.
  bool clientSalesUntouched = false;
  // For SingleRowCost: the parameter holding the line key and the new value, a parameter's or,
  // when valueParam is empty, the literal zero.
  CostColumn column = CostColumn::TransferCena;
  std::string keyParam;
  std::string valueParam;
};

WriteStatement classifyWrite(const std::string& sql);

}  // namespace talvix::pricing
