#include "pricing/write_statement.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstddef>
#include <string_view>
#include <vector>

namespace talvix::pricing {
namespace {

const ReadTable* readTable(std::string_view name) {
  for (const ReadTable& t : readTables())
    if (t.table == name) return &t;
  return nullptr;
}

const CostTarget* costTarget(std::string_view table, std::string_view column) {
  for (const CostTarget& c : costTargets())
    if (c.table == table && c.column == column) return &c;
  return nullptr;
}

bool readsColumn(const ReadTable& table, std::string_view column) {
  return std::find(table.columns.begin(), table.columns.end(), column) != table.columns.end();
}

bool clientSalesReadFrom(std::string_view table) {
  const auto read = clientSaleColumns();
  return std::any_of(read.begin(), read.end(), [table](const auto& column) { return column.first == table; });
}

bool clientSalesRead(std::string_view table, std::string_view column) {
  const auto read = clientSaleColumns();
  return std::find(read.begin(), read.end(), std::pair(table, column)) != read.end();
}

enum class TokenKind { Word, Param, Number, Symbol, End };
struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;  // words and parameters upper-cased, without the colon
};

bool identStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool identChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$'; }

// Reads tokens on demand; quoted names, strings and comments come out as symbols, which no
// recognised shape accepts.
class Lexer {
 public:
  explicit Lexer(std::string_view sql) : sql_(sql) {}

  Token next() {
    while (pos_ < sql_.size() && std::isspace(static_cast<unsigned char>(sql_[pos_]))) ++pos_;
    Token t;
    if (pos_ >= sql_.size()) return t;
    const char c = sql_[pos_];
    if (identStart(c)) {
      t.kind = TokenKind::Word;
      // A qualified name stays one word: TABLE.COLUMN.
      while (pos_ < sql_.size() && (identChar(sql_[pos_]) || (sql_[pos_] == '.' && pos_ + 1 < sql_.size() &&
                                                               identStart(sql_[pos_ + 1]))))
        t.text.push_back(upper(sql_[pos_++]));
    } else if (c == ':' && pos_ + 1 < sql_.size() && identStart(sql_[pos_ + 1])) {
      t.kind = TokenKind::Param;
      ++pos_;
      while (pos_ < sql_.size() && identChar(sql_[pos_])) t.text.push_back(upper(sql_[pos_++]));
    } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
      t.kind = TokenKind::Number;
      while (pos_ < sql_.size() && (std::isdigit(static_cast<unsigned char>(sql_[pos_])) || sql_[pos_] == '.'))
        t.text.push_back(sql_[pos_++]);
    } else {
      t.kind = TokenKind::Symbol;
      t.text.push_back(sql_[pos_++]);
    }
    return t;
  }

  // The rest is blanks and at most one closing semicolon.
  bool atEnd() {
    Token t = next();
    if (t.kind == TokenKind::Symbol && t.text == ";") t = next();
    return t.kind == TokenKind::End;
  }

 private:
  static char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }
  std::string_view sql_;
  std::size_t pos_ = 0;
};

WriteStatement withEffect(WriteStatement::Effect effect) {
  WriteStatement w;
  w.effect = effect;
  return w;
}

bool isWord(const Token& t, std::string_view word) { return t.kind == TokenKind::Word && t.text == word; }
bool isSymbol(const Token& t, char c) { return t.kind == TokenKind::Symbol && t.text.size() == 1 && t.text[0] == c; }

bool isZeroLiteral(const Token& t) {
  if (t.kind != TokenKind::Number || std::count(t.text.begin(), t.text.end(), '.') > 1) return false;
  return t.text.find_first_not_of("0.") == std::string::npos && t.text.find('0') != std::string::npos;
}

// "T.C" of table T, or "C": the column; empty when qualified by another name.
std::string columnOf(const std::string& word, std::string_view table) {
  const std::size_t dot = word.find('.');
  if (dot == std::string::npos) return word;
  if (std::string_view(word).substr(0, dot) != table || word.find('.', dot + 1) != std::string::npos) return {};
  return word.substr(dot + 1);
}

WriteStatement classifyUpdate(Lexer& lex, const std::string& table) {
  WriteStatement unknown;
  unknown.clientSalesUntouched = !clientSalesReadFrom(table);
  const ReadTable* read = readTable(table);
  if (!read) return withEffect(WriteStatement::Effect::None);
  if (!isWord(lex.next(), "SET")) return unknown;
  const Token target = lex.next();
  if (target.kind != TokenKind::Word) return unknown;
  const std::string column = columnOf(target.text, table);
  if (column.empty() || !isSymbol(lex.next(), '=')) return unknown;
  const Token value = lex.next();
  if (value.kind != TokenKind::Param && value.kind != TokenKind::Number) return unknown;
  // One assignment only: what follows is the condition or nothing.
  Token after = lex.next();
  if (isSymbol(after, ';')) after = lex.next();
  if (after.kind != TokenKind::End && !isWord(after, "WHERE")) return unknown;
  // What a write to the column that is not followed line by line means.
  WriteStatement notFollowed = unknown;
  if (!readsColumn(*read, column)) {
    if (!clientSalesRead(table, column)) return withEffect(WriteStatement::Effect::None);
    notFollowed = withEffect(WriteStatement::Effect::ClientSalesOnly);
  }

  const CostTarget* cost = costTarget(table, column);
  if (!cost || after.kind == TokenKind::End) return notFollowed;
  if (value.kind == TokenKind::Number && !isZeroLiteral(value)) return notFollowed;
  const Token key = lex.next();
  if (key.kind != TokenKind::Word || columnOf(key.text, table) != "ISN" || !isSymbol(lex.next(), '='))
    return notFollowed;
  const Token keyParam = lex.next();
  if (keyParam.kind != TokenKind::Param || !lex.atEnd()) return notFollowed;

  WriteStatement recognised;
  recognised.effect = WriteStatement::Effect::SingleRowCost;
  recognised.column = cost->cost;
  recognised.keyParam = keyParam.text;
  if (value.kind == TokenKind::Param) recognised.valueParam = value.text;
  return recognised;
}

// The table written by INSERT INTO, DELETE FROM, UPDATE OR INSERT INTO or MERGE INTO; empty when
// the statement has another shape.
std::string insertOrDeleteTarget(Lexer& lex, const Token& first) {
  Token t = first;
  if (isWord(t, "UPDATE")) {
    if (!isWord(lex.next(), "OR") || !isWord(lex.next(), "INSERT")) return {};
    t = lex.next();
    if (!isWord(t, "INTO")) return {};
  } else if (isWord(t, "INSERT") || isWord(t, "MERGE")) {
    if (!isWord(lex.next(), "INTO")) return {};
  } else if (isWord(t, "DELETE")) {
    if (!isWord(lex.next(), "FROM")) return {};
  } else {
    return {};
  }
  const Token table = lex.next();
  if (table.kind != TokenKind::Word || table.text.find('.') != std::string::npos) return {};
  return table.text;
}

}  // namespace

WriteStatement classifyWrite(const std::string& sql) {
  Lexer lex(sql);
  const Token first = lex.next();
  if (isWord(first, "UPDATE")) {
    Lexer probe = lex;
    const Token table = probe.next();
    if (table.kind == TokenKind::Word && !isWord(table, "OR") && table.text.find('.') == std::string::npos)
      return classifyUpdate(probe, table.text);
  }
  const std::string table = insertOrDeleteTarget(lex, first);
  if (table.empty()) return {};
  WriteStatement written = withEffect(readTable(table) ? WriteStatement::Effect::Unknown : WriteStatement::Effect::None);
  written.clientSalesUntouched = !clientSalesReadFrom(table);
  return written;
}

}  // namespace talvix::pricing
