#include "data/named_params.h"

#include <cctype>

namespace talvix {
namespace {

bool isNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool isNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$'; }

// Copies a quoted run (string literal or quoted identifier; a doubled quote stays inside it).
std::size_t copyQuoted(const std::string& in, std::size_t i, std::string& out) {
  const char quote = in[i];
  out.push_back(in[i++]);
  while (i < in.size()) {
    out.push_back(in[i]);
    if (in[i] == quote) {
      if (i + 1 < in.size() && in[i + 1] == quote) {
        out.push_back(in[++i]);
      } else {
        return i + 1;
      }
    }
    ++i;
  }
  return i;
}

std::size_t copyUntil(const std::string& in, std::size_t i, const std::string& end, std::string& out) {
  const std::size_t stop = in.find(end, i);
  const std::size_t next = stop == std::string::npos ? in.size() : stop + end.size();
  out.append(in, i, next - i);
  return next;
}

}  // namespace

PositionalSql toPositional(const std::string& sql) {
  PositionalSql result;
  result.sql.reserve(sql.size());
  std::size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    if (c == '\'' || c == '"') {
      i = copyQuoted(sql, i, result.sql);
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      i = copyUntil(sql, i, "\n", result.sql);
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      i = copyUntil(sql, i, "*/", result.sql);
    } else if (c == ':' && i + 1 < sql.size() && isNameStart(sql[i + 1])) {
      std::size_t end = i + 1;
      while (end < sql.size() && isNameChar(sql[end])) ++end;
      std::string name = sql.substr(i + 1, end - i - 1);
      for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      result.positions.push_back(std::move(name));
      result.sql.push_back('?');
      i = end;
    } else {
      result.sql.push_back(c);
      ++i;
    }
  }
  return result;
}

}  // namespace talvix
