#pragma once
// Writes a file the person pointed at, touching nothing else: a regular (or missing) file is written
// beside its place and renamed over it once whole, a symbolic link keeps pointing where it did and
// its target is replaced so, a character device or a FIFO (with a reader) is written into as it
// stands, a socket or a block device is refused. A failure names the system's reason in Latvian.
#include <stdexcept>
#include <string>
#include <string_view>

namespace talvix {

class OutputFileError : public std::runtime_error {
 public:
  OutputFileError(std::string path, std::string cause);
  const std::string& path() const { return path_; }
  // The reason in Latvian, e.g. "nav atļaujas rakstīt".
  const std::string& cause() const { return cause_; }

 private:
  std::string path_;
  std::string cause_;
};

// errno as a person reads it, in Latvian.
std::string latvianFileCause(int error);

// Throws OutputFileError; what was at path stays as it was when the write fails.
void writeOutputFile(const std::string& path, std::string_view bytes);

}  // namespace talvix
