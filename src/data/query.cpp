#include "data/query.h"

#include "data/db_error.h"
#include "data/named_params.h"
#include "data/progress_beat.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

namespace talvix {
namespace {

using Kind = Query::Kind;

// Firebird dates count days from 17 November 1858; ours from 30 December 1899.
constexpr int kIscDateOffset = 15018;
constexpr double kIscTimeUnitsPerDay = 864000000.0;
// The longest VARCHAR a message can carry.
constexpr std::size_t kMaxTextParameterBytes = 32765;

ISC_TIMESTAMP toIscTimestamp(DateTime value) {
  double day = std::floor(value);
  double units = std::round((value - day) * kIscTimeUnitsPerDay);
  if (units >= kIscTimeUnitsPerDay) {
    day += 1;
    units = 0;
  }
  ISC_TIMESTAMP ts;
  ts.timestamp_date = static_cast<ISC_DATE>(day) + kIscDateOffset;
  ts.timestamp_time = static_cast<ISC_TIME>(units);
  return ts;
}

DateTime fromIscTimestamp(const ISC_TIMESTAMP& ts) {
  return static_cast<double>(ts.timestamp_date - kIscDateOffset) + ts.timestamp_time / kIscTimeUnitsPerDay;
}

}  // namespace

DateTime asTimestamp(DateTime value) { return fromIscTimestamp(toIscTimestamp(value)); }

namespace {

struct Column {
  std::string name;
  Kind kind;
  unsigned offset;
  unsigned nullOffset;
};

// The type a column is fetched as, so that every read has one of a few shapes.
Kind outputKind(unsigned type, int scale) {
  switch (type) {
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64: return scale == 0 ? Kind::Integer : Kind::Double;
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT: return Kind::Double;
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME: return Kind::DateTime;
    case SQL_TEXT:
    case SQL_VARYING: return Kind::Text;
    case SQL_BOOLEAN: return Kind::Boolean;
    case SQL_BLOB: return Kind::Blob;
    default: return Kind::Other;
  }
}

void describe(fb::Status& status, Firebird::IMetadataBuilder* builder, unsigned index, Kind kind, unsigned textLength) {
  switch (kind) {
    case Kind::Integer:
      builder->setType(&status, index, SQL_INT64 + 1);
      builder->setLength(&status, index, sizeof(ISC_INT64));
      builder->setScale(&status, index, 0);
      break;
    case Kind::Double:
      builder->setType(&status, index, SQL_DOUBLE + 1);
      builder->setLength(&status, index, sizeof(double));
      builder->setScale(&status, index, 0);
      break;
    case Kind::DateTime:
      builder->setType(&status, index, SQL_TIMESTAMP + 1);
      builder->setLength(&status, index, sizeof(ISC_TIMESTAMP));
      break;
    case Kind::Text:
      builder->setType(&status, index, SQL_VARYING + 1);
      builder->setLength(&status, index, textLength);
      break;
    default: break;
  }
  status.check();
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

struct PreparedStatement {
  PositionalSql text;
  std::uint64_t generation = 0;
  fb::Handle<Firebird::IStatement> statement;
  bool isSelect = false;
  fb::Handle<Firebird::IMessageMetadata> output;
  std::vector<Column> columns;
  unsigned outputLength = 0;
  std::unordered_map<std::string, int> columnIndex;
  // Input layout for the last combination of bound kinds.
  std::vector<Kind> inputKinds;
  std::vector<unsigned> inputLengths;
  fb::Handle<Firebird::IMessageMetadata> input;
};

namespace {
// Texts built with literals (a tool filling a database) would otherwise pile up.
constexpr std::size_t kStatementsKept = 512;

// The output message as this code reads it, and its columns by name.
void describeOutput(fb::Status& status, PreparedStatement& p) {
  fb::Handle<Firebird::IMessageMetadata> original(p.statement->getOutputMetadata(&status));
  status.check();
  const unsigned count = original->getCount(&status);
  fb::Handle<Firebird::IMetadataBuilder> builder(original->getBuilder(&status));
  status.check();
  std::vector<Kind> kinds(count);
  for (unsigned i = 0; i < count; ++i) {
    const unsigned columnType = original->getType(&status, i) & ~1u;
    const int scale = original->getScale(&status, i);
    const unsigned length = original->getLength(&status, i);
    status.check();
    kinds[i] = outputKind(columnType, scale);
    describe(status, builder.get(), i, kinds[i], length);
  }
  p.output.reset(builder->getMetadata(&status));
  status.check();
  p.outputLength = p.output->getMessageLength(&status);
  for (unsigned i = 0; i < count; ++i) {
    Column column;
    column.name = upper(original->getAlias(&status, i));
    column.kind = kinds[i];
    column.offset = p.output->getOffset(&status, i);
    column.nullOffset = p.output->getNullOffset(&status, i);
    status.check();
    p.columnIndex.emplace(column.name, static_cast<int>(i));  // keeps the first of equal names
    p.columns.push_back(std::move(column));
  }
}

// The input message for these kinds of values, unless the last one fits them.
void describeInput(fb::Status& status, PreparedStatement& p, const std::vector<Kind>& kinds,
                   const std::vector<unsigned>& lengths) {
  if (p.input && kinds == p.inputKinds && lengths == p.inputLengths) return;
  fb::Handle<Firebird::IMessageMetadata> original(p.statement->getInputMetadata(&status));
  status.check();
  fb::Handle<Firebird::IMetadataBuilder> builder(original->getBuilder(&status));
  status.check();
  for (unsigned i = 0; i < kinds.size(); ++i)
    describe(status, builder.get(), i, kinds[i] == Kind::Null ? Kind::Integer : kinds[i], lengths[i]);
  p.input.reset(builder->getMetadata(&status));
  status.check();
  p.inputKinds = kinds;
  p.inputLengths = lengths;
}

}  // namespace

std::shared_ptr<PreparedStatement> Connection::statementFor(const std::string& sql) {
  auto& slot = statements_[sql];
  if (!slot) {
    if (statements_.size() > kStatementsKept)
      std::erase_if(statements_, [](const auto& entry) { return entry.second && entry.second.use_count() == 1; });
    auto made = std::make_shared<PreparedStatement>();
    made->text = toPositional(sql);
    statements_[sql] = made;  // the erase above may have moved the slot
    return made;
  }
  return slot;
}

Query::Query(Connection& connection) : connection_(connection) {}
Query::~Query() = default;

void Query::setSql(const std::string& sql) {
  close();
  params_.clear();
  sql_ = sql;
  current_ = connection_.statementFor(sql);
}

Query::Param& Query::param(const std::string& name) {
  if (!current_) throw DbError("Parameter " + name + ": the query has no SQL text");
  const std::string key = upper(name);
  const auto& names = current_->text.positions;
  if (std::find(names.begin(), names.end(), key) == names.end())
    throw DbError("Parameter " + key + " not found in statement: " + sql_);
  return params_[key];
}

bool Query::hasParameter(const std::string& name) const {
  if (!current_) return false;
  const auto& names = current_->text.positions;
  return std::find(names.begin(), names.end(), upper(name)) != names.end();
}

void Query::setDateTime(const std::string& name, DateTime value) {
  Param& p = param(name);
  p.kind = Kind::DateTime;
  p.real = value;
}

void Query::setInteger(const std::string& name, std::int32_t value) {
  Param& p = param(name);
  p.kind = Kind::Integer;
  p.integer = value;
}

void Query::setDouble(const std::string& name, double value) {
  Param& p = param(name);
  p.kind = Kind::Double;
  p.real = value;
}

void Query::setNull(const std::string& name) { param(name).kind = Kind::Null; }

void Query::setString(const std::string& name, const std::string& value) {
  if (value.size() > kMaxTextParameterBytes)
    throw DbError("Parameter " + upper(name) + " holds " + std::to_string(value.size()) + " bytes, more than " +
                  std::to_string(kMaxTextParameterBytes) + ", in statement: " + sql_);
  Param& p = param(name);
  p.kind = Kind::Text;
  p.text = value;
}

double Query::paramDouble(const std::string& name) const {
  const auto it = params_.find(upper(name));
  if (it == params_.end()) return 0.0;
  switch (it->second.kind) {
    case Kind::Integer: return static_cast<double>(it->second.integer);
    case Kind::Double:
    case Kind::DateTime: return it->second.real;
    default: return 0.0;
  }
}

std::optional<double> Query::paramNumber(const std::string& name) const {
  const auto it = params_.find(upper(name));
  if (it == params_.end()) return std::nullopt;
  switch (it->second.kind) {
    case Kind::Null: return 0.0;
    case Kind::Integer:
    case Kind::Double: return paramDouble(name);
    default: return std::nullopt;
  }
}

Query::Prepared& Query::prepared() {
  if (!current_) throw DbError("The query has no SQL text");
  Prepared& p = *current_;
  if (p.statement && p.generation == connection_.generation()) return p;

  p.statement.reset();
  p.output.reset();
  p.input.reset();
  p.inputKinds.clear();
  p.columns.clear();
  p.columnIndex.clear();

  fb::Status status;
  Firebird::ITransaction* running = transaction().handle();
  Firebird::IStatement* statement = connection_.attachment()->prepare(
      &status, running, 0, p.text.sql.c_str(), SQL_DIALECT_V6, Firebird::IStatement::PREPARE_PREFETCH_METADATA);
  status.check();
  p.statement.reset(statement);
  const unsigned type = statement->getType(&status);
  status.check();
  p.isSelect = type == isc_info_sql_stmt_select || type == isc_info_sql_stmt_select_for_upd;
  if (p.isSelect) describeOutput(status, p);
  p.generation = connection_.generation();
  return p;
}

void Query::bindInput(Prepared& p, std::vector<unsigned char>& buffer) {
  const auto& names = p.text.positions;
  std::vector<Kind> kinds(names.size());
  std::vector<unsigned> lengths(names.size(), 0);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const auto it = params_.find(names[i]);
    kinds[i] = it == params_.end() ? Kind::Null : it->second.kind;
    if (kinds[i] == Kind::Text) lengths[i] = static_cast<unsigned>(std::max<std::size_t>(it->second.text.size(), 1));
  }
  fb::Status status;
  describeInput(status, p, kinds, lengths);
  buffer.assign(p.input->getMessageLength(&status), 0);
  status.check();
  for (unsigned i = 0; i < kinds.size(); ++i) {
    const unsigned offset = p.input->getOffset(&status, i);
    const unsigned nullOffset = p.input->getNullOffset(&status, i);
    status.check();
    const Param* value = kinds[i] == Kind::Null ? nullptr : &params_.find(names[i])->second;
    const short nullFlag = value ? 0 : -1;
    std::memcpy(&buffer[nullOffset], &nullFlag, sizeof nullFlag);
    if (value) writeParam(*value, &buffer[offset]);
  }
}

void Query::writeParam(const Param& value, unsigned char* at) {
  if (value.kind == Kind::Integer) {
    const ISC_INT64 v = value.integer;
    std::memcpy(at, &v, sizeof v);
  } else if (value.kind == Kind::Double) {
    std::memcpy(at, &value.real, sizeof value.real);
  } else if (value.kind == Kind::Text) {
    const unsigned short length = static_cast<unsigned short>(value.text.size());
    std::memcpy(at, &length, sizeof length);
    std::memcpy(at + sizeof length, value.text.data(), length);
  } else {
    const ISC_TIMESTAMP ts = toIscTimestamp(value.real);
    std::memcpy(at, &ts, sizeof ts);
  }
}

void Query::open() {
  close();
  Prepared& p = prepared();
  std::vector<unsigned char> input;
  bindInput(p, input);
  fb::Status status;
  Firebird::ITransaction* running = transaction().handle();
  if (!p.isSelect) {
    p.statement->execute(&status, running, p.input.get(), input.data(), nullptr, nullptr);
    status.check();
    progressBeat();
    connection_.notify(DataEvent::Written, this);
    return;
  }
  fb::Handle<Firebird::IResultSet> cursor(
      p.statement->openCursor(&status, running, p.input.get(), input.data(), p.output.get(), 0));
  status.check();
  fetchAll(p, cursor.get());
  cursor->close(&status);
  if (!status.failed()) cursor.release();  // close() frees the interface on success
  status.check();
}

void Query::fetchAll(Prepared& p, Firebird::IResultSet* cursor) {
  fb::Status status;
  std::vector<unsigned char> row(p.outputLength);
  while (cursor->fetchNext(&status, row.data()) == Firebird::IStatus::RESULT_OK) decodeRow(p, row.data());
  status.check();
}

void Query::decodeRow(const Prepared& p, const unsigned char* row) {
  progressBeat();
  for (const Column& column : p.columns) {
    short nullFlag;
    std::memcpy(&nullFlag, &row[column.nullOffset], sizeof nullFlag);
    nulls_.push_back(nullFlag ? 1 : 0);
    std::uint64_t raw = 0;
    if (!nullFlag) {
      const unsigned char* data = &row[column.offset];
      switch (column.kind) {
        case Kind::Integer:
        case Kind::Double: std::memcpy(&raw, data, sizeof raw); break;
        case Kind::DateTime: {
          ISC_TIMESTAMP ts;
          std::memcpy(&ts, data, sizeof ts);
          const double value = fromIscTimestamp(ts);
          std::memcpy(&raw, &value, sizeof raw);
          break;
        }
        case Kind::Text: {
          unsigned short length;
          std::memcpy(&length, data, sizeof length);
          texts_.emplace_back(reinterpret_cast<const char*>(data + sizeof length), length);
          raw = texts_.size() - 1;
          break;
        }
        case Kind::Boolean: raw = *data ? 1 : 0; break;
        case Kind::Blob:
          texts_.push_back(readBlob(data));
          raw = texts_.size() - 1;
          break;
        default: break;
      }
    }
    cells_.push_back(raw);
  }
  ++rowCount_;
}

std::string Query::readBlob(const unsigned char* id) {
  ISC_QUAD quad;
  std::memcpy(&quad, id, sizeof quad);
  fb::Status status;
  fb::Handle<Firebird::IBlob> blob(
      connection_.attachment()->openBlob(&status, transaction().handle(), &quad, 0, nullptr));
  status.check();
  std::string text;
  char buffer[32768];
  for (;;) {
    unsigned got = 0;
    const int result = blob->getSegment(&status, sizeof buffer, buffer, &got);
    if (result != Firebird::IStatus::RESULT_OK && result != Firebird::IStatus::RESULT_SEGMENT) break;
    text.append(buffer, got);
  }
  status.check();
  blob->close(&status);
  status.check();
  blob.release();  // close() frees the interface on success
  return text;
}

void Query::openStream() {
  close();
  Prepared& p = prepared();
  if (!p.isSelect) throw DbError("Only a select can be read as a stream: " + sql_);
  std::vector<unsigned char> input;
  bindInput(p, input);
  fb::Status status;
  stream_.reset(
      p.statement->openCursor(&status, transaction().handle(), p.input.get(), input.data(), p.output.get(), 0));
  status.check();
  streamRow_.assign(p.outputLength, 0);
}

bool Query::fetch() {
  clearRows();
  if (!stream_) return false;
  if (!streamStatus_) streamStatus_ = std::make_unique<fb::Status>();
  fb::Status& status = *streamStatus_;
  if (stream_->fetchNext(&status, streamRow_.data()) == Firebird::IStatus::RESULT_OK) {
    decodeRow(*current_, streamRow_.data());
    return true;
  }
  status.check();
  closeStream();
  return false;
}

void Query::closeStream() {
  if (!stream_) return;
  fb::Status status;
  stream_->close(&status);
  if (!status.failed()) stream_.release();  // close() frees the interface on success
  stream_.reset();
}

void Query::clearRows() {
  rowCount_ = 0;
  row_ = 0;
  cells_.clear();
  nulls_.clear();
  texts_.clear();
}

void Query::execSql() {
  Prepared& p = prepared();
  if (p.isSelect) {
    open();
    return;
  }
  close();
  std::vector<unsigned char> input;
  bindInput(p, input);
  fb::Status status;
  p.statement->execute(&status, transaction().handle(), p.input.get(), input.data(), nullptr, nullptr);
  status.check();
  progressBeat();
  connection_.notify(DataEvent::Written, this);
}

void Query::close() {
  closeStream();
  clearRows();
}

int Query::findField(const std::string& name) const {
  if (current_ && current_->statement) {
    const auto it = current_->columnIndex.find(upper(name));
    if (it != current_->columnIndex.end()) return it->second;
  }
  return -1;
}

int Query::fieldIndex(const std::string& name) const {
  const int field = findField(name);
  if (field >= 0) return field;
  throw DbError("Field " + name + " not found in statement: " + sql_);
}

const void* Query::cell(int field) const {
  if (eof() || field < 0 || static_cast<std::size_t>(field) >= current_->columns.size())
    throw DbError("No current row to read in statement: " + sql_);
  return &cells_[static_cast<std::size_t>(row_) * current_->columns.size() + static_cast<std::size_t>(field)];
}

bool Query::isNull(int field) const {
  cell(field);
  return nulls_[static_cast<std::size_t>(row_) * current_->columns.size() + static_cast<std::size_t>(field)] != 0;
}

double Query::asDouble(int field) const {
  const auto* raw = static_cast<const std::uint64_t*>(cell(field));
  if (isNull(field)) return 0.0;
  switch (current_->columns[field].kind) {
    case Kind::Integer:
    case Kind::Boolean: {
      std::int64_t v;
      std::memcpy(&v, raw, sizeof v);
      return static_cast<double>(v);
    }
    case Kind::Double:
    case Kind::DateTime: {
      double v;
      std::memcpy(&v, raw, sizeof v);
      return v;
    }
    case Kind::Text: try { return std::stod(texts_[*raw]);
      } catch (const std::exception&) {
        throw DbError("Field " + current_->columns[field].name + " holds '" + texts_[*raw] + "', not a number");
      }
    default: return 0.0;
  }
}

std::int32_t Query::asInteger(int field) const {
  const auto* raw = static_cast<const std::uint64_t*>(cell(field));
  if (isNull(field)) return 0;
  switch (current_->columns[field].kind) {
    case Kind::Integer:
    case Kind::Boolean: {
      std::int64_t v;
      std::memcpy(&v, raw, sizeof v);
      return static_cast<std::int32_t>(v);
    }
    default: return static_cast<std::int32_t>(std::llround(asDouble(field)));
  }
}

DateTime Query::asDateTime(int field) const { return asDouble(field); }

std::string Query::asString(int field) const {
  const auto* raw = static_cast<const std::uint64_t*>(cell(field));
  if (isNull(field)) return {};
  switch (current_->columns[field].kind) {
    case Kind::Text:
    case Kind::Blob: return texts_[*raw];
    case Kind::Integer:
    case Kind::Boolean: return std::to_string(asInteger(field));
    case Kind::DateTime: return formatIsoDate(asDateTime(field));
    case Kind::Double: {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%.15g", asDouble(field));
      return buffer;
    }
    default: return {};
  }
}

}  // namespace talvix
