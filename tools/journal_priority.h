#pragma once
// Priorities for the journal without linking to it: systemd reads a "<N>" at the start of a line
// written to a stream it connected to the journal as that line's priority. Only such a stream
// (named by JOURNAL_STREAM) gets the prefix; a terminal, a pipe or a file gets the text as it is.
#include <string>

namespace talvix::tools {

// syslog's priorities, as the journal takes them.
inline constexpr int kPriorityError = 3;
inline constexpr int kPriorityWarning = 4;
inline constexpr int kPriorityInfo = 6;

// Whether the file descriptor is the journal stream systemd connected.
bool isJournalStream(int fd);

// text with "<priority>" before each of its lines when toJournal, else as it is.
std::string withPriority(const std::string& text, int priority, bool toJournal);

}  // namespace talvix::tools
