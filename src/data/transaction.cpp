#include "data/transaction.h"

#include "data/connection.h"
#include "data/db_error.h"

namespace talvix {

Transaction::~Transaction() {
  if (!handle_) return;
  fb::Status status;
  handle_->rollback(&status);
  if (!status.failed()) handle_.release();  // rollback() already freed the interface
}

Firebird::ITransaction* Transaction::handle() {
  if (handle_) return handle_.get();
  fb::Status status;
  fb::Disposable<Firebird::IXpbBuilder> tpb(
      fb::util()->getXpbBuilder(&status, Firebird::IXpbBuilder::TPB, nullptr, 0));
  status.check();
  if (kind_ == Kind::ReadOnlySnapshot) {
    tpb->insertTag(&status, isc_tpb_concurrency);
    tpb->insertTag(&status, isc_tpb_read);
    tpb->insertTag(&status, isc_tpb_nowait);
  } else if (kind_ == Kind::HeldSnapshot) {
    tpb->insertTag(&status, isc_tpb_concurrency);
    tpb->insertTag(&status, isc_tpb_write);
    tpb->insertTag(&status, isc_tpb_wait);
    tpb->insertInt(&status, isc_tpb_lock_timeout, lockTimeoutSeconds_);
  } else {
    tpb->insertTag(&status, isc_tpb_read_committed);
    tpb->insertTag(&status, isc_tpb_rec_version);
    tpb->insertTag(&status, isc_tpb_write);
    if (kind_ == Kind::ReadCommittedNoWait) {
      tpb->insertTag(&status, isc_tpb_nowait);
    } else {
      tpb->insertTag(&status, isc_tpb_wait);
      tpb->insertInt(&status, isc_tpb_lock_timeout, lockTimeoutSeconds_);
    }
  }
  status.check();
  const unsigned length = tpb->getBufferLength(&status);
  const unsigned char* buffer = tpb->getBuffer(&status);
  status.check();
  Firebird::ITransaction* started =
      connection_.attachment()->startTransaction(&status, length, buffer);
  status.check();
  handle_.reset(started);
  number_ = 0;
  return started;
}

namespace {

// One transaction information item that is a number.
std::int64_t numberInfo(Firebird::ITransaction* running, unsigned char item) {
  const unsigned char items[] = {item, isc_info_end};
  unsigned char buffer[32] = {};
  fb::Status status;
  running->getInfo(&status, sizeof items, items, sizeof buffer, buffer);
  status.check();
  // item, a two-byte length, then the value, all little-endian
  if (buffer[0] != item) throw DbError("the server did not give the transaction's number asked for");
  const unsigned length = buffer[1] | (buffer[2] << 8);
  if (length == 0 || length > 8) throw DbError("the server gave a transaction's number in an unknown form");
  std::uint64_t value = 0;
  for (unsigned i = 0; i < length; ++i) value |= static_cast<std::uint64_t>(buffer[3 + i]) << (8 * i);
  return static_cast<std::int64_t>(value);
}

}  // namespace

std::int64_t Transaction::oldestActiveAtStart() { return numberInfo(handle(), isc_info_tra_oldest_active); }

std::int64_t Transaction::number() {
  Firebird::ITransaction* running = handle();
  if (number_ == 0) number_ = numberInfo(running, isc_info_tra_id);
  return number_;
}

void Transaction::commitRetaining() {
  if (!handle_ || kind_ == Kind::HeldSnapshot) return;
  fb::Status status;
  handle_->commitRetaining(&status);
  number_ = 0;
  status.check();
}

void Transaction::commit() {
  if (!handle_ || kind_ == Kind::HeldSnapshot) return;
  fb::Status status;
  handle_->commit(&status);
  status.check();
  handle_.release();
}

void Transaction::deactivate() {
  if (!handle_) return;
  connection_.notify(DataEvent::Discarded, nullptr);
  fb::Status status;
  handle_->rollback(&status);
  if (status.failed()) {
    // The server may be gone; the client side is freed either way.
    handle_.reset();
    status.check();
  }
  handle_.release();
}

void Transaction::forget() noexcept { handle_.reset(); }

}  // namespace talvix
