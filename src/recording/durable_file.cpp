#include "recording/durable_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "common/error.h"

namespace vireluz {

namespace {

std::string parent_of(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool is_folder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

[[noreturn]] void throw_missing_folder(const std::string& path) {
  throw VireluzError("Invalid filename : " + utf8_to_cp1252(path) + " (dossier introuvable)");
}

// The cause of a failed file operation, as the user reads it.
Text cause_of(int err) {
  switch (err) {
    case EACCES:
    case EPERM:
      return w("accès refusé");
    case EROFS:
      return w("support en lecture seule");
    case ENOSPC:
    case EDQUOT:
      return w("disque plein");
    case EISDIR:
      return w("ce nom désigne un dossier");
    case EIO:
      return w("erreur d'entrée-sortie du disque");
    default:
      return w("erreur système ") + std::to_string(err);
  }
}

// `creating`: the file did not exist, so a refusal is the folder's.
[[noreturn]] void throw_io_error(const std::string& path, int err, bool creating = false) {
  if (err == ENOENT || err == ENOTDIR) throw_missing_folder(path);
  const bool folder = creating && (err == EACCES || err == EPERM || err == EROFS);
  throw VireluzError(
      w("Impossible d'écrire le fichier : ") + utf8_to_cp1252(path) + " (" +
      (folder ? w("dossier ") + utf8_to_cp1252(parent_of(path)) + w(" non accessible en écriture : ")
              : Text()) +
      cause_of(err) + ")");
}

// Closes the descriptor on every path out of the function.
struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

// 0 on success, else the errno of the failing write.
int write_all(int fd, const char* p, std::size_t n) {
  while (n > 0) {
    const ssize_t k = ::write(fd, p, n);
    if (k < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (k == 0) return EIO;
    p += k;
    n -= static_cast<std::size_t>(k);
  }
  return 0;
}

// Makes a new directory entry durable: without it a power cut can lose the
// file that was just created even though its data were flushed.
void sync_folder(const std::string& folder) {
  const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return;
  ::fsync(dfd);
  ::close(dfd);
}

}  // namespace

void append_lines_durably(const std::string& path, const std::function<Text()>& header, const Text& lines) {
  const std::string folder = parent_of(path);
  if (!is_folder(folder)) throw_missing_folder(path);

  struct stat before {};
  const bool existed = ::stat(path.c_str(), &before) == 0;

  Fd f{::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644)};
  if (f.fd < 0) throw_io_error(path, errno, !existed);

  struct stat st {};
  if (::fstat(f.fd, &st) != 0) throw_io_error(path, errno);
  if (S_ISDIR(st.st_mode)) throw_io_error(path, EISDIR);
  const off_t size = st.st_size;

  Text out;
  if (size == 0) {
    // A new file, or one left empty by a crash right after its creation:
    // it gets its header either way.
    if (header) out = header();
  } else {
    // The last write may have been cut short (power cut): close that line so
    // that the new row does not continue it.
    char last = 0;
    const ssize_t k = ::pread(f.fd, &last, 1, size - 1);
    if (k != 1) throw_io_error(path, k < 0 ? errno : EIO);
    if (last == '\r')
      out = "\n";
    else if (last != '\n')
      out = "\r\n";
  }
  out += lines;

  int err = write_all(f.fd, out.data(), out.size());
  if (err == 0 && ::fsync(f.fd) != 0) err = errno;
  if (err != 0) {
    // Take back what part of the row did reach the file, so that it holds
    // only whole lines.
    if (::ftruncate(f.fd, size) == 0) ::fsync(f.fd);
    throw_io_error(path, err);
  }
  if (::close(f.fd) != 0) {
    f.fd = -1;
    throw_io_error(path, errno);
  }
  f.fd = -1;
  if (!existed) sync_folder(folder);
}

void ensure_folder(const std::string& path) {
  if (is_folder(path)) return;
  if (::mkdir(path.c_str(), 0755) == 0 || (errno == EEXIST && is_folder(path))) {
    sync_folder(parent_of(path));
    return;
  }
  const int err = errno;
  if (err == ENOENT || err == ENOTDIR) throw_missing_folder(path);
  throw VireluzError(w("Impossible de créer le dossier : ") + utf8_to_cp1252(path) + " (" + cause_of(err) +
                     ")");
}

}  // namespace vireluz
