// Replacing the eigen result file: the text goes to a temporary file beside
// it as it is formatted, which then takes the file's place in one rename.
// Linux file-system calls throughout: unnamed files, flock, getdents64.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "diagnostic.hpp"
#include "eigcab.hpp"
#include "saveeig.hpp"
#include "text_field.hpp"

namespace geneig {

namespace {

using cplx = std::complex<double>;

// Formats the whole text of a file into a sink; false when the sink refused
// a piece.
class TextFormatter {
 public:
  virtual bool format(TextSink& sink) const = 0;

 protected:
  ~TextFormatter() = default;
};



__attribute__((format(printf, 3, 4))) bool fail(WriteReport& report, std::string_view file,
                                                const char* format, ...) {
  report.ok = false;
  std::va_list args;
  va_start(args, format);
  report.length = format_diagnostic(report.text, sizeof report.text, file, -1, format, args);
  va_end(args);
  return false;
}

const char* reason(int err) { return std::strerror(err ? err : EIO); }

#ifdef GENEIG_FAULT_HOOK
// Test builds only. GENEIG_FAULT="<point> <signal>" sends the run that signal
// at a point of the writing: "write" after each piece written, "rename" just
// before the rename. With GENEIG_FAULT_NAMED set the temporary file has a
// name from the start, as on a file system without unnamed files.
void fault_point(std::string_view point) {
  const char* fault = std::getenv("GENEIG_FAULT");
  if (fault == nullptr) return;
  const std::string_view f(fault);
  if (f.size() > point.size() && f.starts_with(point) && f[point.size()] == ' ')
    std::raise(std::atoi(fault + point.size() + 1));
}
bool unnamed_files() { return std::getenv("GENEIG_FAULT_NAMED") == nullptr; }
// GENEIG_FAULT_BURST set: the signal handler, on entry, raises SIGINT,
// SIGTERM and SIGHUP at itself, a burst that must wait for its clean-up.
bool g_burst = false;
void read_burst() { g_burst = std::getenv("GENEIG_FAULT_BURST") != nullptr; }
void fault_burst() {
  if (g_burst)
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) std::raise(s);
}
#else
void fault_point(std::string_view) {}
constexpr bool unnamed_files() { return true; }
void read_burst() {}
void fault_burst() {}
#endif

// The temporary file. Its name is the target's with ".tmp" and, when that
// name is in use by a concurrent run, a number after it: ".tmp1", ".tmp2"
// and on, as many as there are runs at once. Where the file system can, it
// is created without a name and named only once it is complete and closed,
// so that a run killed while writing leaves nothing. From its creation to
// the rename the run holds an exclusive advisory lock (flock) on it: a
// temporary whose lock can be taken belongs to a run that has ended, and
// the next run removes it.
//
// The signal handler reads this state, so it lives in static storage and
// changes only while the ending signals are held back (HoldSignals).
int g_dir = -1;                      // the target's directory, open
char g_tmp[kMaxNameChars + 32];      // the temporary's path, as messages show it
std::size_t g_tmp_stem = 0;          // length of the target's path and ".tmp"
std::size_t g_tmp_base = 0;          // where its name in g_dir starts in g_tmp
volatile std::sig_atomic_t g_tmp_named = 0;  // 1 while the temporary has its name

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t ending_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int s : kEndingSignals) sigaddset(&set, s);
  return set;
}

// Holds back SIGINT, SIGTERM and SIGHUP for its lifetime, so that their
// handler never meets a temporary half created, half named or half renamed.
class HoldSignals {
 public:
  HoldSignals() {
    const sigset_t set = ending_signals();
    sigprocmask(SIG_BLOCK, &set, &saved_);
  }
  ~HoldSignals() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }
  HoldSignals(const HoldSignals&) = delete;
  HoldSignals& operator=(const HoldSignals&) = delete;

 private:
  sigset_t saved_;
};

// Removes the run's own temporary, if it has a name, and ends the process by
// the same signal. The handler runs with all three signals held back
// (sa_mask), so a burst of them waits; and it stays installed until its
// clean-up is done. Were its disposition reset on entry (SA_RESETHAND), a
// second signal arriving before the kernel has masked the first would meet
// the default action and end the run with the temporary still there. Only
// then is the default restored and the signal raised again and let through.
// Async-signal-safe calls only.
extern "C" void end_by_signal(int sig) {
  fault_burst();
  if (g_tmp_named) ::unlinkat(g_dir, g_tmp + g_tmp_base, 0);
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  sigaction(sig, &default_action, nullptr);
  std::raise(sig);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

const char* tmp_name() { return g_tmp + g_tmp_base; }

// Sets the temporary's name to number k: none for k = 0, else k after ".tmp".
void number_temporary(unsigned long k) {
  char* p = g_tmp + g_tmp_stem;
  if (k > 0) p = std::to_chars(p, g_tmp + sizeof g_tmp - 1, k).ptr;
  *p = '\0';
}

// Opens the directory of path and sets the temporary's path to path and
// ".tmp". The directory is opened for reading where it can be (to look for
// the temporaries of ended runs), else only to make files in it. Returns
// false with errno set when it cannot be opened.
bool open_directory(const char* path) {
  static char dir[kMaxNameChars + 1];
  const std::size_t length = std::strlen(path);
  const char* slash = std::strrchr(path, '/');
  g_tmp_base = slash == nullptr ? 0 : static_cast<std::size_t>(slash - path) + 1;
  if (slash == nullptr) {
    std::strcpy(dir, ".");
  } else {
    const std::size_t n = std::max<std::size_t>(g_tmp_base - 1, 1);  // "/" is its own directory
    std::memcpy(dir, path, n);
    dir[n] = '\0';
  }
  std::memcpy(g_tmp, path, length);
  std::memcpy(g_tmp + length, ".tmp", 5);
  g_tmp_stem = length + 4;
  g_dir = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (g_dir < 0 && errno == EACCES) g_dir = ::open(dir, O_PATH | O_DIRECTORY | O_CLOEXEC);
  return g_dir >= 0;
}

// True when entry is a name the temporary can have: the target's name,
// ".tmp", then decimal digits or nothing.
bool is_temporary_name(std::string_view entry) {
  const std::string_view stem(tmp_name(), g_tmp_stem - g_tmp_base);
  if (!entry.starts_with(stem)) return false;
  entry.remove_prefix(stem.size());
  return std::all_of(entry.begin(), entry.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes the temporary called name if it is a regular file whose lock can
// be taken: its run has ended. Never follows a symbolic link, never opens
// anything but a regular file, and removes the name only while it is still
// that same file and the lock is held.
void remove_if_dead(const char* name) {
  struct stat by_name, opened;
  if (::fstatat(g_dir, name, &by_name, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(by_name.st_mode))
    return;
  // Read and write where allowed: a network file system grants an exclusive
  // lock only on a file open for writing.
  constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = ::openat(g_dir, name, O_RDWR | kFlags);
  if (fd < 0 && errno == EACCES) fd = ::openat(g_dir, name, O_RDONLY | kFlags);
  if (fd < 0) return;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
      S_ISREG(opened.st_mode) && opened.st_nlink == 1 &&
      ::fstatat(g_dir, name, &by_name, AT_SYMLINK_NOFOLLOW) == 0 && same_file(opened, by_name))
    ::unlinkat(g_dir, name, 0);
  ::close(fd);
}

// Removes every temporary left by a run that has ended. A directory that
// cannot be read is not searched.
void remove_dead_temporaries() {
  alignas(dirent64) static char entries[32 * 1024];
  for (ssize_t n; (n = ::getdents64(g_dir, entries, sizeof entries)) > 0;) {
    for (ssize_t at = 0; at < n;) {
      const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
      at += entry->d_reclen;
      if (is_temporary_name(entry->d_name)) remove_if_dead(entry->d_name);
    }
  }
}

// A new file in the directory without a name, or -1 where the file system
// cannot make one.
int create_unnamed() {
  if (!unnamed_files()) return -1;
  return ::openat(g_dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
}

// Gives the complete unnamed file fd the first free temporary name: through
// /proc, or where that is missing by the descriptor itself (which needs a
// privilege). False when it cannot be named.
bool name_unnamed(int fd) {
  char proc[32];
  std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
  for (unsigned long k = 0;; ++k) {
    number_temporary(k);
    if (::linkat(AT_FDCWD, proc, g_dir, tmp_name(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno == ENOENT && ::linkat(fd, "", g_dir, tmp_name(), AT_EMPTY_PATH) == 0) return true;
    if (errno != EEXIST) return false;
  }
}

// Creates the first free temporary name as a new file and takes its lock.
// Between the creation and the lock another run may find the file and take
// it for dead; the name is then given up for the next. A file system
// without locks leaves the file unlocked (no run can then lock it either).
// Returns the descriptor, or -1 with errno set.
int create_named() {
  for (unsigned long k = 0;; ++k) {
    number_temporary(k);
    const int fd = ::openat(g_dir, tmp_name(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return -1;
    }
    struct stat opened;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 ? ::fstat(fd, &opened) == 0 && opened.st_nlink > 0
                                            : errno != EWOULDBLOCK)
      return fd;
    ::close(fd);
  }
}

// Pieces written to a file descriptor as they come, whole (a write may take
// only part of a piece); the first failure is kept and ends the writing.
class FileSink final : public TextSink {
 public:
  explicit FileSink(int fd) : fd_(fd) {}
  bool put(std::string_view piece) override {
    while (error_ == 0 && !piece.empty()) {
      const ssize_t n = ::write(fd_, piece.data(), piece.size());
      if (n > 0) {
        piece.remove_prefix(static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        error_ = n == 0 ? EIO : errno;
      }
    }
    fault_point("write");
    return error_ == 0;
  }
  // Closes the file; errno of the first failure of any write or the close,
  // or 0.
  int close() {
    if (::close(fd_) != 0 && error_ == 0) error_ = errno;
    return error_;
  }

 private:
  int fd_;
  int error_ = 0;
};

// Removes the temporary if it still has its name and closes its last
// descriptor, which releases its lock. Called with the signals held back.
void discard_temporary(int holder) {
  if (g_tmp_named) ::unlinkat(g_dir, tmp_name(), 0);
  g_tmp_named = 0;
  ::close(holder);
}

// The new file takes the permission bits of the file it replaces, whatever
// the umask, and its owner and group where the run may give them: a
// privileged run both, another the group when it belongs to it. A group
// that cannot be kept gets no more than everyone else, so that the run's
// own group is never given what another group had. Applied before anything
// is written, so the text is never more exposed than the old file was.
void keep_attributes(int fd, const struct stat& old) {
  const bool group = ::fchown(fd, old.st_uid, old.st_gid) == 0 ||
                     ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0;
  mode_t mode = old.st_mode & 0777;
  if (!group) mode &= ~static_cast<mode_t>(070) | ((mode & 07) << 3);
  ::fchmod(fd, mode);
}

enum class Attempt { done, unnamed_unavailable };

// Writes the result to a new temporary file, unnamed or named from the
// start, closes it and renames it over the target, whose name in g_dir is
// target, with the attributes of old, the file replaced, if there is one.
// Fills report on a failure; the temporary is then gone. An unnamed file
// that cannot be made or given a name leaves the writing to a named one
// (unnamed_unavailable).
Attempt write_through_temporary(bool unnamed, const char* target, const struct stat* old,
                                std::string_view file, const TextFormatter& text,
                                WriteReport& report) {
  int fd, holder;
  {
    HoldSignals hold;
    number_temporary(0);
    fd = unnamed ? create_unnamed() : create_named();
    if (fd < 0) {
      if (unnamed) return Attempt::unnamed_unavailable;
      fail(report, file, "cannot create a temporary file beside it: %s", reason(errno));
      return Attempt::done;
    }
    // Nothing can reach an unnamed file before it has a name: its lock only
    // needs to be held from then on. A second descriptor keeps the lock
    // once the first is closed (where a file system reports late failures).
    if (unnamed) ::flock(fd, LOCK_EX | LOCK_NB);
    g_tmp_named = !unnamed;
    if (old != nullptr) keep_attributes(fd, *old);
    holder = ::dup(fd);
    if (holder < 0) {
      const int err = errno;
      discard_temporary(fd);
      fail(report, file, "cannot create a temporary file beside it: %s", reason(err));
      return Attempt::done;
    }
  }
  FileSink sink(fd);
  text.format(sink);
  const int written = sink.close();
  HoldSignals hold;
  if (written != 0) {
    discard_temporary(holder);
    fail(report, file, "cannot write the temporary file %s: %s", g_tmp, reason(written));
    return Attempt::done;
  }
  if (unnamed) {
    if (!name_unnamed(holder)) {
      ::close(holder);
      return Attempt::unnamed_unavailable;
    }
    g_tmp_named = 1;
  }
  fault_point("rename");
  const bool renamed = ::renameat(g_dir, tmp_name(), g_dir, target) == 0;
  const int err = errno;
  if (renamed) g_tmp_named = 0;
  discard_temporary(holder);
  if (!renamed) fail(report, file, "cannot replace it by %s: %s", g_tmp, reason(err));
  return Attempt::done;
}

// A text file of the given name replaced whole by what text formats, for a
// pencil or result of order N (refused above NMAX).
bool write_text_file(std::string_view name, int N, const TextFormatter& text,
                     WriteReport& report) {
  static char path[kMaxNameChars + 1];
  report = WriteReport{};
  const std::string_view file = field_name(name);
  if (!to_c_path(file, path) || file.back() == '/')
    return fail(report, file, "cannot write: not a file name");
  if (N > NMAX)
    return fail(report, file, "cannot write: the order N = %d is above the limit %d", N, NMAX);
  if (!open_directory(path))
    return fail(report, file, "cannot create a temporary file beside it: %s", reason(errno));
  const char* target = path + g_tmp_base;
  // A regular file the user may not write is refused, as opening it for
  // writing would be (a read-only mode, another user's file), even in a
  // directory where it could be replaced.
  struct stat old;
  const bool regular =
      ::fstatat(g_dir, target, &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode);
  if (regular && ::faccessat(g_dir, target, W_OK, AT_EACCESS) != 0 &&
      (errno == EACCES || errno == EPERM)) {
    fail(report, file, "cannot write: %s", reason(errno));
  } else {
    remove_dead_temporaries();
    const struct stat* kept = regular ? &old : nullptr;
    if (write_through_temporary(true, target, kept, file, text, report) ==
        Attempt::unnamed_unavailable)
      write_through_temporary(false, target, kept, file, text, report);
  }
  ::close(g_dir);
  g_dir = -1;
  return report.ok;
}

// The text of a file formatted by a callable f(TextSink&) -> bool.
template <class F>
struct FormatWith final : TextFormatter {
  explicit FormatWith(F f) : f_(f) {}
  bool format(TextSink& sink) const override { return f_(sink); }
  F f_;
};

}  // namespace

bool write_result_file(std::string_view name, const double* E, const cplx* V, int N,
                       WriteReport& report) {
  return write_text_file(
      name, N, FormatWith([=](TextSink& sink) { return format_result(E, V, N, sink); }), report);
}

bool write_input_file(std::string_view name, const cplx* A, const cplx* B, int N, double X,
                      WriteReport& report) {
  return write_text_file(
      name, N, FormatWith([=](TextSink& sink) { return format_input(A, B, N, X, sink); }),
      report);
}

void install_result_file_signals() {
  read_burst();
  struct sigaction action {};
  action.sa_handler = end_by_signal;
  action.sa_mask = ending_signals();
  action.sa_flags = 0;
  for (const int s : kEndingSignals) {
    // A signal the program was started with ignored (nohup, a background
    // job of a shell) stays ignored.
    struct sigaction was {};
    if (sigaction(s, nullptr, &was) == 0 && was.sa_handler != SIG_IGN) sigaction(s, &action, nullptr);
  }
  std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace geneig
