#include "data/fb_api.h"

#include "data/db_error.h"

#include <string>
#include <vector>

namespace talvix::fb {

Firebird::IMaster* master() {
  static Firebird::IMaster* const instance = Firebird::fb_get_master_interface();
  return instance;
}

Firebird::IUtil* util() { return master()->getUtilInterface(); }

Status::Status() : Status(master()->getStatus()) {}

Status::Status(Firebird::IStatus* status) : CheckStatusWrapper(status), status_(status) {}

Status::~Status() { status_->dispose(); }

bool Status::failed() const { return (status_->getState() & Firebird::IStatus::STATE_ERRORS) != 0; }

std::string Status::take() {
  if (!failed()) return {};
  char buffer[2048];
  const unsigned length = util()->formatStatus(buffer, sizeof buffer, status_);
  std::string text(buffer, length < sizeof buffer ? length : sizeof buffer - 1);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  clearException();
  return text;
}

void Status::check() {
  if (!failed()) return;
  std::vector<std::intptr_t> codes;
  // The vector holds (tag, value) pairs; an error code follows each isc_arg_gds.
  for (const ISC_STATUS* v = status_->getErrors(); *v != isc_arg_end; v += 2)
    if (v[0] == isc_arg_gds) codes.push_back(v[1]);
  throw DbError(take(), std::move(codes));
}

}  // namespace talvix::fb
