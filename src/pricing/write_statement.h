#pragma once
// What a statement the tool ran may have changed among the movements the pricing library reads,
// judged from its SQL text alone. Only shapes known to be harmless or exactly followable are
// recognised; anything else is Unknown and the caller must assume every movement changed.
#include <string>

namespace talvix::pricing {

// The cost columns of movements that the tool writes one line at a time.
enum class CostColumn { TransferCena, ReturnIepCena, BalanceIepCena };

struct WriteStatement {
  enum class Effect {
    // Writes only tables or columns the movements are not read from (the operation log, an
    // issue line's IEP_CENA).
    None,
    // UPDATE <table> SET [<table>.]<cost column> = <value> WHERE ISN = :<param>
    SingleRowCost,
    Unknown,
  };
  Effect effect = Effect::Unknown;
  // For SingleRowCost: the parameter holding the line key and the new value, a parameter's or,
  // when valueParam is empty, the literal zero.
  CostColumn column = CostColumn::TransferCena;
  std::string keyParam;
  std::string valueParam;
};

WriteStatement classifyWrite(const std::string& sql);

}  // namespace talvix::pricing
