#include "pricing/client_sale_book.h"

#include "data/query.h"

namespace talvix::pricing {
namespace {

using Sale = ClientSaleBook::Sale;

// The earliest-first statement's order: date-time, larger quantity (NULL last), lower line key.
bool earlier(const Sale& a, const Sale& b) {
  if (a.at != b.at) return a.at < b.at;
  if (a.quantityNull != b.quantityNull) return b.quantityNull;
  if (!a.quantityNull && a.quantity != b.quantity) return a.quantity > b.quantity;
  return a.isn < b.isn;
}

}  // namespace

void ClientSaleBook::add(int goods, int client, const Sale& sale) {
  const std::uint64_t pair = pairKey(goods, client);
  if (!wanted_.contains(pair)) return;
  std::vector<Sale>& sales = held_[pair];
  byLine_[sale.isn] = {pair, sales.size()};
  sales.push_back(sale);
}

void ClientSaleBook::finish() {
  for (const std::uint64_t pair : wanted_) held_.try_emplace(pair);
  filled_ = true;
}

std::optional<ClientSaleAnswer> ClientSaleBook::answer(const ClientSaleQuestion& q) const {
  if (!filled_) return std::nullopt;
  const auto found = held_.find(pairKey(q.goods, q.client));
  if (found == held_.end()) return std::nullopt;
  ClientSaleAnswer answer;
  const DateTime last = asTimestamp(q.date);
  const Sale* match = nullptr;
  for (const Sale& s : found->second) {
    if (!(s.at <= last)) continue;
    answer.anySale = true;
    if (s.isn == q.pricedLine || !salePriceMatches(s.salePrice, q.wanted)) continue;
    if (q.order == ClientSales::DatabaseOrder) {
      match = &s;
      break;
    }
    if (!match || earlier(s, *match)) match = &s;
  }
  if (match) answer.sale = {true, match->cost, match->isn};
  return answer;
}

void ClientSaleBook::setCost(std::int32_t isn, double cost) {
  const auto place = byLine_.find(isn);
  if (place == byLine_.end()) return;
  held_.at(place->second.pair)[place->second.index].cost = cost;
}

void ClientSaleBook::drop(int goods) {
  for (auto pair = held_.begin(); pair != held_.end();) {
    if (static_cast<int>(pair->first >> 32) != goods) {
      ++pair;
      continue;
    }
    for (const Sale& s : pair->second) byLine_.erase(s.isn);
    pair = held_.erase(pair);
  }
}

void ClientSaleBook::clear() noexcept {
  wanted_.clear();
  held_.clear();
  byLine_.clear();
  filled_ = false;
}

}  // namespace talvix::pricing
