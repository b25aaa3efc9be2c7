#pragma once
// Temporary folders and whole-file reads for the recording tests.
#include <filesystem>
#include <string>

namespace vireluz::testing {

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The file's bytes; "<missing>" when it does not exist.
std::string read_bytes(const std::string& path);
void write_bytes(const std::string& path, const std::string& bytes);
bool exists(const std::string& path);

}  // namespace vireluz::testing
