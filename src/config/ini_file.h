#pragma once
// An INI file as Windows private-profile files are: sections in brackets,
// key=value lines, bytes taken as they stand (Windows-1252), section and key
// names matched without regard to case, blanks around names and values
// dropped, one pair of matching quotes around a value dropped when it is
// read, of two keys with the same name in a section the first one counts.
// A file saved as UTF-8 by a text editor (one that starts with a UTF-8
// byte-order mark, or whose text is well-formed UTF-8 and holds a character
// beyond ASCII) is read as UTF-8 text and written back in Windows-1252.
// Changing a key keeps every other key, section and comment in its place; a
// new key goes at the end of its section, a new section at the end of the
// file. Files are written with CR LF line ends and replaced atomically.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/text.h"

namespace vireluz {

class IniFile {
 public:
  IniFile();
  ~IniFile();
  IniFile(IniFile&&) noexcept;
  IniFile& operator=(IniFile&&) noexcept;

  // Keys (section, key) whose values are stored bytes rather than text, such
  // as scrambled passwords: a UTF-8 file's conversion leaves them as they
  // stand, and they play no part in telling UTF-8 from Windows-1252.
  using OpaqueKeys = std::vector<std::pair<std::string, std::string>>;

  // Parses `data` (the bytes of a file). Never fails: what is not a section,
  // a comment or a key=value line is skipped.
  void parse(std::string data, const OpaqueKeys& opaque = {});

  // Reads the file at `path`. A missing file gives an empty IniFile; a file
  // that exists but cannot be read gives false (and an empty IniFile), with
  // the errno in `*error_number` when given.
  bool read(const std::string& path, int* error_number = nullptr, const OpaqueKeys& opaque = {});

  // The value as read: see profile_value().
  std::optional<Text> get(const Text& section, const Text& key) const;
  bool has_section(const Text& section) const;
  // Key names of a section in file order.
  std::vector<Text> keys(const Text& section) const;

  // Sets a key (created at the end of its section when missing). CR, LF and
  // NUL bytes in the value are replaced by blanks: they would end the line.
  void set(const Text& section, const Text& key, const Text& value);
  void remove(const Text& section, const Text& key);

  // The file's text, lines ended by CR LF.
  std::string serialize() const;

  // Writes serialize() to `path` through a temporary file in the same folder
  // (fsync, then rename), so the old file stays whole whatever happens.
  // Throws VireluzError with a French message naming the file.
  void save(const std::string& path) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A value as the Windows profile functions read it from the text after '=':
// blanks at both ends dropped, then one pair of surrounding double quotes or
// of surrounding single quotes removed ("\"Maison\"" gives Maison,
// "' a '" gives " a "). Writing never adds quotes.
Text profile_value(std::string_view raw);

// Loads `path` for a writer: a missing file is an empty IniFile, a file that
// cannot be read throws VireluzError (so that saving never wipes it).
IniFile read_ini_for_update(const std::string& path, const IniFile::OpaqueKeys& opaque = {});

// A French description of an errno value, for the messages above.
Text french_io_reason(int error_number);

}  // namespace vireluz
