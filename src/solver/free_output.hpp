// The free output layout: one record per line, its items in order separated
// by one blank. Text items stand as their characters alone, integers in
// decimal, reals in the shortest decimal form that reads back to the same
// double (a negative zero keeps its sign), an infinity as "inf" or "-inf",
// and every NaN as "nan", whatever its sign bit. Every record of the result
// file and every diagnostic line on standard output is written this way.
#pragma once

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace geneig {

// Longest item of each kind, in characters: a 64-bit integer is at most 20,
// a double in shortest round-trip form at most 24.
inline constexpr std::size_t kMaxIntChars = 20;
inline constexpr std::size_t kMaxRealChars = 24;

// Each put_* writes one item at p and returns the position after it. The
// caller guarantees room for the item.
inline char* put_int(char* p, long long v) { return std::to_chars(p, p + kMaxIntChars, v).ptr; }
inline char* put_text(char* p, std::string_view s) {
  std::memcpy(p, s.data(), s.size());
  return p + s.size();
}
// The sign of a NaN means nothing, and the one an invalid operation leaves
// is the processor's choice (x86-64 sets it, aarch64 does not): written as
// it stands, the same failed solve would read "-nan" on one and "nan" on the
// other.
inline char* put_real(char* p, double v) {
  if (std::isnan(v)) return put_text(p, "nan");
  return std::to_chars(p, p + kMaxRealChars, v).ptr;
}

// Where the solver's diagnostic lines go instead of standard output, for a
// front end that reports them its own way (an exception's message): while
// a LineCapture lives on a thread, every line that thread prints goes to
// its sink, and only those of that thread. Lines are handed over without
// their line end.
class LineSink {
 public:
  virtual void line(std::string_view text) = 0;

 protected:
  ~LineSink() = default;
};

inline thread_local LineSink* t_line_sink = nullptr;

class LineCapture {
 public:
  explicit LineCapture(LineSink& sink) : previous_(t_line_sink) { t_line_sink = &sink; }
  ~LineCapture() { t_line_sink = previous_; }
  LineCapture(const LineCapture&) = delete;
  LineCapture& operator=(const LineCapture&) = delete;

 private:
  LineSink* previous_;
};

// One record built item by item in a fixed buffer; items that would not fit
// are dropped rather than written past the end.
class FreeRecord {
 public:
  FreeRecord& text(std::string_view s) {
    if (room(s.size())) pos_ = put_text(sep(), s);
    return *this;
  }
  FreeRecord& integer(long long v) {
    if (room(kMaxIntChars)) pos_ = put_int(sep(), v);
    return *this;
  }
  FreeRecord& real(double v) {
    if (room(kMaxRealChars)) pos_ = put_real(sep(), v);
    return *this;
  }
  std::string_view view() const { return {buf_, static_cast<std::size_t>(pos_ - buf_)}; }

  // Writes the record and its line end to standard output in one call, so
  // that lines printed by solves on different threads never mix; or hands
  // it to the thread's LineSink, if one is set.
  void print() const {
    if (t_line_sink != nullptr) {
      t_line_sink->line(view());
      return;
    }
    char line[sizeof buf_ + 1];
    const std::size_t length = static_cast<std::size_t>(pos_ - buf_);
    std::memcpy(line, buf_, length);
    line[length] = '\n';
    std::fwrite(line, 1, length + 1, stdout);
    std::fflush(stdout);
  }

 private:
  bool room(std::size_t n) const { return (pos_ - buf_) + 1 + n <= sizeof buf_; }
  char* sep() {
    if (pos_ != buf_) *pos_++ = ' ';
    return pos_;
  }
  char buf_[256];
  char* pos_ = buf_;
};

}  // namespace geneig
