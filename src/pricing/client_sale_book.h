#pragma once
// The issue lines a run's client-sale look-ups walk, gathered while the history streams past: for
// each goods and client asked for beforehand, every issue line of that goods to that client, in
// table order, with what a look-up compares and answers. The movement cache owns it, fills it in
// its pass over the tables and forwards the tool's issue cost writes; an answer is bit-for-bit the
// one the client-sale statements give on the same data.
#include "data/client_sale.h"

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace talvix::pricing {

class ClientSaleBook {
 public:
  struct Sale {
    DateTime at = 0;  // the header's date-time
    double quantity = 0;
    bool quantityNull = false;
    double salePrice = 0;  // CENA x (PIECENOJ x 0.01 + 1.0), NULLs as 0.0
    double cost = 0;       // IEP_CENA, NULL as 0.0
    std::int32_t isn = 0;
  };

  // Before a fill: the goods and clients to hold. Anything else is never held.
  void want(int goods, int client) { wanted_.insert(pairKey(goods, client)); }
  bool wants(int goods, int client) const { return wanted_.contains(pairKey(goods, client)); }
  bool wantsAny() const { return !wanted_.empty(); }
  // In table order; a pair not wanted is ignored.
  void add(int goods, int client, const Sale& sale);
  // After the fill: every wanted pair is held, the ones without a sale included.
  void finish();

  // nullopt when the goods and client are not held.
  std::optional<ClientSaleAnswer> answer(const ClientSaleQuestion& question) const;

  // The tool wrote a line's cost; a line not held changes no answer.
  void setCost(std::int32_t isn, double cost);
  // The goods' lines may have changed: its pairs are no longer held.
  void drop(int goods);
  void clear() noexcept;

 private:
  static std::uint64_t pairKey(int goods, int client) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(goods)) << 32) | static_cast<std::uint32_t>(client);
  }

  std::unordered_set<std::uint64_t> wanted_;
  std::unordered_map<std::uint64_t, std::vector<Sale>> held_;
  struct Place {
    std::uint64_t pair;
    std::size_t index;
  };
  std::unordered_map<std::int32_t, Place> byLine_;
  bool filled_ = false;
};

}  // namespace talvix::pricing
