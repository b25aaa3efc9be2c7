#include "config/ini_file.h"

// SimpleIni is used header-only, in this file only, with no character
// conversion: values are the file's bytes as they stand.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "common/error.h"

namespace vireluz {

namespace {

class StringWriter : public CSimpleIniA::OutputWriter {
 public:
  explicit StringWriter(std::string& out) : out_(out) {}
  void Write(const char* text) override { out_ += text; }

 private:
  std::string& out_;
};

// Every line end as CR LF: SimpleIni ends lines with "\n" outside Windows,
// and a lone CR (which the reader takes as a line end) must not reach the
// file as it stands, where other readers would not.
std::string with_crlf_line_ends(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      out += "\r\n";
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Well-formed UTF-8: no stray continuation byte, no overlong form, no
// surrogate, nothing above U+10FFFF.
bool is_utf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the byte after the lead
    if (b < 0x80) {
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      n = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      n = 2;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      n = 3;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (i + n >= s.size()) return false;
    for (std::size_t k = 1; k <= n; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      if (k == 1 ? (c < lo || c > hi) : (c < 0x80 || c > 0xBF)) return false;
    }
    i += n + 1;
  }
  return true;
}

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// The lines of `data` with their line ends, and for each whether it is the
// value of an opaque key.
struct Line {
  std::string_view text;
  bool opaque;
};

std::vector<Line> lines_of(std::string_view data, const IniFile::OpaqueKeys& opaque) {
  std::vector<Line> out;
  std::string_view section;
  for (std::size_t pos = 0, next = 0; pos < data.size(); pos = next) {
    std::size_t end = std::min(data.find_first_of("\r\n", pos), data.size());
    next = end;
    if (next < data.size() && data[next] == '\r') ++next;
    if (next < data.size() && data[next] == '\n') ++next;
    const std::string_view line = trim(data.substr(pos, end - pos));
    const auto eq = line.find('=');
    if (!line.empty() && line.front() == '[') section = trim(line.substr(1, line.find(']') - 1));
    const bool is_opaque =
        eq != std::string_view::npos && line.front() != '[' &&
        std::any_of(opaque.begin(), opaque.end(), [&](const auto& k) {
          return same_name(k.first, section) && same_name(k.second, trim(line.substr(0, eq)));
        });
    out.push_back({data.substr(pos, next - pos), is_opaque});
  }
  return out;
}

// A file saved in UTF-8 by a text editor becomes Windows-1252 like the rest
// of the program's files. It counts as UTF-8 when it starts with a byte-order
// mark, or when its text is well-formed UTF-8 and holds a character beyond
// ASCII (Windows-1252 text with accented letters is practically never
// well-formed UTF-8). The values of opaque keys are bytes, not text: they
// stay as they stand and are left out of the decision. The mark goes before
// the lines are looked at, or the first line's section would not be seen.
bool looks_utf8(const std::vector<Line>& lines) {
  bool beyond_ascii = false;
  for (const Line& l : lines) {
    if (l.opaque) continue;
    if (!is_utf8(l.text)) return false;
    for (char c : l.text) beyond_ascii = beyond_ascii || static_cast<unsigned char>(c) >= 0x80;
  }
  return beyond_ascii;
}

void take_utf8(std::string& data, const IniFile::OpaqueKeys& opaque) {
  const bool bom = std::string_view(data).substr(0, kUtf8Bom.size()) == kUtf8Bom;
  if (bom) data.erase(0, kUtf8Bom.size());
  const std::vector<Line> lines = lines_of(data, opaque);
  if (!bom && !looks_utf8(lines)) return;
  std::string out;
  out.reserve(data.size());
  for (const Line& l : lines) out += l.opaque ? std::string(l.text) : utf8_to_cp1252(l.text);
  data.swap(out);
}

// A NUL byte ends the text of its line (as in a C string), the next lines are
// still read. SimpleIni would stop reading the whole file at the first NUL.
void cut_nul_bytes(std::string& data) {
  if (data.find('\0') == std::string::npos) return;
  std::string out;
  out.reserve(data.size());
  bool skipping = false;
  for (char c : data) {
    if (c == '\r' || c == '\n') skipping = false;
    if (c == '\0') skipping = true;
    if (!skipping) out.push_back(c);
  }
  data.swap(out);
}

// A section line without its closing bracket is dropped: SimpleIni would read
// the section name on across the line end and swallow the next line, and each
// save would make the damage worse.
void drop_unclosed_sections(std::string& data) {
  std::string out;
  out.reserve(data.size());
  std::size_t pos = 0;
  bool dropped = false;
  while (pos < data.size()) {
    std::size_t end = data.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = data.size();
    std::size_t next = end;
    if (next < data.size() && data[next] == '\r') ++next;
    if (next < data.size() && data[next] == '\n') ++next;
    std::size_t i = pos;
    while (i < end && is_blank(data[i])) ++i;
    const bool unclosed = i < end && data[i] == '[' && data.find(']', i) >= end;
    if (unclosed)
      dropped = true;
    else
      out.append(data, pos, next - pos);
    pos = next;
  }
  if (dropped) data.swap(out);
}

// The comment lines after the last entry of the file: SimpleIni attaches a
// comment to the section or key that follows it, so these would be lost when
// the file is written again. They are kept here and written back at the end.
std::vector<std::string> trailing_comments(const std::string& data) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < data.size()) {
    std::size_t end = data.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = data.size();
    lines.emplace_back(data, pos, end - pos);
    pos = end;
    if (pos < data.size() && data[pos] == '\r') ++pos;
    if (pos < data.size() && data[pos] == '\n') ++pos;
  }
  auto kind = [](const std::string& line) {  // 0 blank, 1 comment, 2 other
    std::size_t i = 0;
    while (i < line.size() && is_blank(line[i])) ++i;
    if (i == line.size()) return 0;
    return (line[i] == ';' || line[i] == '#') ? 1 : 2;
  };
  std::size_t first = lines.size();
  bool has_entry = false;
  for (std::size_t i = lines.size(); i-- > 0;) {
    const int k = kind(lines[i]);
    if (k == 2) {
      has_entry = true;
      break;
    }
    if (k == 1) first = i;
  }
  if (!has_entry) {
    // Without any entry, SimpleIni keeps as the file comment only the lines
    // at the very start that begin with ';' or '#': the comments after them
    // are kept here.
    first = 0;
    while (first < lines.size() && !lines[first].empty() &&
           (lines[first][0] == ';' || lines[first][0] == '#'))
      ++first;
    while (first < lines.size() && kind(lines[first]) != 1) ++first;
  }
  return {lines.begin() + static_cast<std::ptrdiff_t>(first), lines.end()};
}

Text sanitized(const Text& value) {
  Text out = value;
  for (char& c : out)
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  return out;
}

Text path_text(const std::string& path) { return utf8_to_cp1252(path); }

[[noreturn]] void throw_write_error(const std::string& path, int error_number, bool existed) {
  throw VireluzError(w("Impossible d'enregistrer le fichier de configuration « ") + path_text(path) +
                     w(" » : ") + french_io_reason(error_number) +
                     (existed ? w(". L'ancien fichier est resté inchangé.") : Text(".")));
}

bool write_all(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

Text french_io_reason(int error_number) {
  switch (error_number) {
    case EACCES:
    case EPERM:
      return w("accès refusé (le dossier ou le fichier n'est pas accessible en écriture)");
    case EROFS:
      return w("le disque est en lecture seule");
    case ENOSPC:
    case EDQUOT:
      return w("le disque est plein");
    case ENOENT:
    case ENOTDIR:
      return w("le dossier n'existe pas");
    case EISDIR:
      return w("un dossier porte ce nom");
    case EIO:
      return w("erreur d'entrée-sortie sur le disque");
    default:
      return w("erreur système ") + std::to_string(error_number);
  }
}

struct IniFile::Impl {
  CSimpleIniA ini{/*utf8=*/false, /*multikey=*/true, /*multiline=*/false};
  std::vector<std::string> trailer;
  IniFile::OpaqueKeys opaque;
  Impl() {
    ini.SetSpaces(false);  // "key=value", as Windows writes them
    ini.SetQuotes(false);
    ini.SetAllowKeyOnly(false);
  }
};

IniFile::IniFile() : impl_(std::make_unique<Impl>()) {}
IniFile::~IniFile() = default;
IniFile::IniFile(IniFile&&) noexcept = default;
IniFile& IniFile::operator=(IniFile&&) noexcept = default;

void IniFile::parse(std::string data, const OpaqueKeys& opaque) {
  impl_ = std::make_unique<Impl>();
  impl_->opaque = opaque;
  take_utf8(data, opaque);
  cut_nul_bytes(data);
  drop_unclosed_sections(data);
  impl_->trailer = trailing_comments(data);
  // SimpleIni takes a byte-order mark at the start of its text for its own:
  // bytes that look like one and came first once a line was dropped are text
  // (or the section line that follows them would escape the check above).
  if (std::string_view(data).substr(0, kUtf8Bom.size()) == kUtf8Bom) data.insert(0, "\n");
  impl_->ini.LoadData(data);
}

bool IniFile::read(const std::string& path, int* error_number, const OpaqueKeys& opaque) {
  impl_ = std::make_unique<Impl>();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (error_number) *error_number = errno;
    return errno == ENOENT;
  }
  std::string data;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (error_number) *error_number = errno;
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    data.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  parse(std::move(data), opaque);
  return true;
}

std::optional<Text> IniFile::get(const Text& section, const Text& key) const {
  const char* v = impl_->ini.GetValue(section.c_str(), key.c_str(), nullptr);
  if (!v) return std::nullopt;
  return profile_value(v);
}

Text profile_value(std::string_view raw) {
  std::string_view v = trim(raw);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return Text(v);
}

bool IniFile::has_section(const Text& section) const { return impl_->ini.SectionExists(section.c_str()); }

std::vector<Text> IniFile::keys(const Text& section) const {
  CSimpleIniA::TNamesDepend names;
  impl_->ini.GetAllKeys(section.c_str(), names);
  names.sort(CSimpleIniA::Entry::LoadOrder());
  std::vector<Text> out;
  for (const auto& n : names) out.emplace_back(n.pItem);
  return out;
}

void IniFile::set(const Text& section, const Text& key, const Text& value) {
  // Forced replacement: duplicates of the key collapse into one entry at the
  // place (and with the comment) of the first.
  impl_->ini.SetValue(section.c_str(), key.c_str(), sanitized(value).c_str(), nullptr, true);
}

void IniFile::remove(const Text& section, const Text& key) {
  impl_->ini.Delete(section.c_str(), key.c_str());
}

std::string IniFile::serialize() const {
  std::string out;
  StringWriter writer(out);
  impl_->ini.Save(writer, false);
  // SimpleIni puts a blank line after every section it writes, even after a
  // nameless one that writes nothing: none goes first.
  out.erase(0, out.find_first_not_of('\n'));
  if (!impl_->trailer.empty()) {
    if (!out.empty()) out += "\n";
    for (const auto& line : impl_->trailer) out += line + "\n";
  }
  // Text that starts with the bytes of a UTF-8 byte-order mark (a key named
  // "ï»¿...") would be read back as UTF-8: a blank line goes before it.
  if (std::string_view(out).substr(0, kUtf8Bom.size()) == kUtf8Bom) out.insert(0, "\n");
  // Windows-1252 text whose bytes happen to be well-formed UTF-8 (an "Ã©" as
  // the only letters beyond ASCII, once a line that was not was dropped)
  // would be read back as UTF-8 and change: a comment line in Windows-1252
  // keeps the file what it is (after a blank line, as comments at the end
  // are written back).
  if (looks_utf8(lines_of(out, impl_->opaque))) out += "\n; Texte en Windows-1252 (\xE9)\n";
  return with_crlf_line_ends(out);
}

void IniFile::save(const std::string& path) const {
  // Write through a symbolic link to the file it names.
  std::string target = path;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved)) target = resolved;
  }
  const std::size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  mode_t mode = 0;
  uid_t owner = ::geteuid();
  gid_t group = ::getegid();
  const bool existed = ::stat(target.c_str(), &st) == 0;
  if (existed) {
    mode = st.st_mode & 07777;
    owner = st.st_uid;
    group = st.st_gid;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
    // Root writing into another user's folder (a service's, set up from the
    // command line) makes the file that user's, or the service could not
    // read it back.
    if (::geteuid() == 0 && ::stat(dir.c_str(), &st) == 0) {
      owner = st.st_uid;
      group = st.st_gid;
    }
  }

  const std::string data = serialize();
  std::string tmp = target + ".XXXXXX";
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0) throw_write_error(path, errno, existed);
  auto fail = [&](int err) {
    ::close(fd);
    ::unlink(tmp.c_str());
    throw_write_error(path, err, existed);
  };
  // The new file keeps the old one's owner where it may (always as root).
  if ((owner != ::geteuid() || group != ::getegid()) && ::fchown(fd, owner, group) != 0 && ::geteuid() == 0)
    fail(errno);
  if (::fchmod(fd, mode) != 0) fail(errno);
  if (!write_all(fd, data)) fail(errno);
  if (::fsync(fd) != 0) fail(errno);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    throw_write_error(path, err, existed);
  }
  if (::rename(tmp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    throw_write_error(path, err, existed);
  }
  // Make the rename itself durable.
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
}

IniFile read_ini_for_update(const std::string& path, const IniFile::OpaqueKeys& opaque) {
  IniFile ini;
  int err = 0;
  if (!ini.read(path, &err, opaque))
    throw VireluzError(w("Impossible de lire le fichier de configuration « ") + path_text(path) + w(" » : ") +
                       french_io_reason(err) + w(". Rien n'a été enregistré."));
  return ini;
}

}  // namespace vireluz
