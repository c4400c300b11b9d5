// man_page TEMPLATE OUT [PROGRAM]: writes a manual page from its template. With PROGRAM, the lines
// @SYNOPSIS@, @OPTIONS@, @ENVIRONMENT@ and @EXIT_STATUS@ become the usage lines and the sections of
// what `PROGRAM --help` prints, so the page cannot drift from the program. Every letter outside
// ASCII becomes a groff escape, so the page reads the same in any locale.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// \[uXXXX] for each UTF-8 sequence; ASCII as it is.
std::string escapeLetters(const std::string& text) {
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
      out += text[at++];
      continue;
    }
    const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    unsigned code = lead & (0x3F >> extra);
    for (int i = 1; i <= extra && at + i < text.size(); ++i) code = (code << 6) | (text[at + i] & 0x3F);
    char escape[16];
    std::snprintf(escape, sizeof escape, "\\[u%04X]", code);
    out += escape;
    at += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

// The letters a device without them (LC_ALL=C gives ASCII) shows instead: the base letter.
char baseLetter(unsigned code) {
  static const std::map<unsigned, char> bases = {
      {0x0101, 'a'}, {0x010D, 'c'}, {0x0113, 'e'}, {0x0123, 'g'}, {0x012B, 'i'}, {0x0137, 'k'},
      {0x013C, 'l'}, {0x0146, 'n'}, {0x0161, 's'}, {0x016B, 'u'}, {0x017E, 'z'}, {0x0100, 'A'},
      {0x010C, 'C'}, {0x0112, 'E'}, {0x0122, 'G'}, {0x012A, 'I'}, {0x0136, 'K'}, {0x013B, 'L'},
      {0x0145, 'N'}, {0x0160, 'S'}, {0x016A, 'U'}, {0x017D, 'Z'}};
  const auto found = bases.find(code);
  return found == bases.end() ? '?' : found->second;
}

// Fallbacks for every letter escapeLetters wrote, to stand after .TH.
std::string fallbacks(const std::string& page) {
  std::map<std::string, char> seen;
  for (std::size_t at = page.find("\\[u"); at != std::string::npos; at = page.find("\\[u", at + 1))
    seen.emplace(page.substr(at, 8), baseLetter(std::stoul(page.substr(at + 4, 4), nullptr, 16)));
  std::string out;
  for (const auto& [escape, base] : seen) out += ".fchar " + escape + " " + base + "\n";
  return out;
}

// Plain text as groff text: backslashes and minus signs kept, no line read as a request.
std::string roff(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\e";
    else if (c == '-') out += "\\-";
    else out += c;
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
  return escapeLetters(out);
}

std::string trim(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

struct Entry {
  std::string term;
  std::string text;
};

// What --help prints: the usage lines, then sections headed "Name:" whose entries start two spaces
// in, with the term and its text apart by two or more spaces; deeper lines continue the text.
struct Help {
  std::vector<std::string> usage;
  std::map<std::string, std::vector<Entry>> sections;
};

Help parseHelp(std::istream& in) {
  Help help;
  std::string line, section;
  bool inUsage = true;
  while (std::getline(in, line)) {
    if (line.empty()) {
      inUsage = false;
      continue;
    }
    if (inUsage) {
      help.usage.push_back(trim(line.rfind("usage:", 0) == 0 ? line.substr(6) : line));
    } else if (line[0] != ' ' && line.back() == ':') {
      section = line.substr(0, line.size() - 1);
    } else if (!section.empty() && line.rfind("  ", 0) == 0 && line[2] != ' ') {
      const auto gap = line.find("  ", 2);
      help.sections[section].push_back(
          {trim(line.substr(2, gap == std::string::npos ? std::string::npos : gap - 2)),
           gap == std::string::npos ? std::string() : trim(line.substr(gap))});
    } else if (!section.empty() && !help.sections[section].empty()) {
      std::string& text = help.sections[section].back().text;
      text += (text.empty() ? "" : " ") + trim(line);
    }
  }
  return help;
}

std::string synopsis(const Help& help) {
  std::string out = ".nf\n";
  for (const std::string& line : help.usage) {
    const bool continues = line.rfind('[', 0) == 0;  // more options of the line before
    out += (continues ? "    " : "") + roff(line) + "\n";
  }
  return out + ".fi\n";
}

std::string entries(const std::vector<Entry>& list) {
  std::string out;
  for (const Entry& entry : list) {
    const auto space = entry.term.find(' ');
    out += ".TP\n";
    if (space == std::string::npos)
      out += ".B " + roff(entry.term) + "\n";
    else
      out += ".BI \"" + roff(entry.term.substr(0, space)) + "\" \"" + roff(entry.term.substr(space)) + "\"\n";
    out += roff(entry.text) + "\n";
  }
  return out;
}

Help runHelp(const std::string& program) {
  FILE* pipe = popen((program + " --help").c_str(), "r");
  if (!pipe) throw std::runtime_error("cannot run " + program);
  std::string text;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, got);
  if (pclose(pipe) != 0) throw std::runtime_error(program + " --help failed");
  std::istringstream in(text);
  return parseHelp(in);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::cerr << "usage: man_page TEMPLATE OUT [PROGRAM]\n";
    return 2;
  }
  try {
    std::map<std::string, std::string> generated;
    if (argc == 4) {
      const Help help = runHelp(argv[3]);
      for (const char* section : {"Options", "Environment", "Exit status"})
        if (!help.sections.count(section)) throw std::runtime_error(std::string("--help has no ") + section);
      generated = {{"@SYNOPSIS@", synopsis(help)},
                   {"@OPTIONS@", entries(help.sections.at("Options"))},
                   {"@ENVIRONMENT@", entries(help.sections.at("Environment"))},
                   {"@EXIT_STATUS@", entries(help.sections.at("Exit status"))}};
    }
    std::ifstream in(argv[1]);
    if (!in) throw std::runtime_error(std::string("cannot read ") + argv[1]);
    std::string page, line;
    while (std::getline(in, line)) {
      const auto found = generated.find(line);
      page += found != generated.end() ? found->second : escapeLetters(line) + "\n";
    }
    const std::size_t title = page.find('\n', page.find(".TH ")) + 1;
    page.insert(title, fallbacks(page));
    std::ofstream out(argv[2]);
    out << page;
    if (!out.flush()) throw std::runtime_error(std::string("cannot write ") + argv[2]);
  } catch (const std::exception& error) {
    std::cerr << "man_page: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
