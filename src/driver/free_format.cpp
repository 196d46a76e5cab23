// Free-format scanning of records and the syntax of number items.
#include "free_format.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <system_error>

namespace geneig {

namespace {

using namespace scan_detail;

// The one buffer of every scan: the longest item and the byte after it that
// shows where it ends, and the sentinel.
constexpr std::size_t kBufferBytes = kMaxItemChars + 1;
char g_buffer[kBufferBytes + 1];

bool is_digit(char c) { return c >= '0' && c <= '9'; }

const char* skip_digits(const char* p, const char* end) {
  while (p != end && is_digit(*p)) ++p;
  return p;
}

// std::from_chars reads exactly the real items written with an E exponent
// and no plus sign, and besides them only the spellings of infinity and
// not-a-number, which begin with a letter. So a real item is: an optional
// sign, then a digit or a decimal point, then text that std::from_chars
// reads, once a D exponent letter is turned into E (in place, and put back).
// The standard library's conversion is used because it is correctly rounded
// and no slower than a decimal parser of our own.
//
// Reads the longest real at the start of [p, end): ptr is the position after
// it and ec as from std::from_chars, invalid_argument when none starts at p.
std::from_chars_result read_real(char* p, char* end, double& value) {
  char* const number = p != end && *p == '+' ? p + 1 : p;
  const char* const mantissa = number == p && p != end && *p == '-' ? p + 1 : number;
  if (mantissa == end || (!is_digit(*mantissa) && *mantissa != '.'))
    return {p, std::errc::invalid_argument};
  std::from_chars_result r = std::from_chars(number, end, value);
  if (r.ptr != end && (*r.ptr == 'd' || *r.ptr == 'D')) {
    char* const letter = p + (r.ptr - p);
    const char saved = *letter;
    *letter = 'e';
    r = std::from_chars(number, end, value);
    *letter = saved;
  }
  return r;
}

}  // namespace

FreeFormatScanner::FreeFormatScanner(ByteSource& source)
    : source_(source), buf_(g_buffer), pos_(g_buffer), end_(g_buffer) {
  *end_ = '\n';
}

std::ptrdiff_t TextSource::read(char* dst, std::size_t cap) {
  const std::size_t n = std::min({cap, chunk_, rest_.size()});
  std::memcpy(dst, rest_.data(), n);
  rest_.remove_prefix(n);
  return static_cast<std::ptrdiff_t>(n);
}

// Keeps the bytes from keep_from on (the start of an unfinished item) at the
// front of the buffer and reads more behind them.
ScanStatus FreeFormatScanner::refill(char* keep_from) {
  const std::size_t kept = static_cast<std::size_t>(end_ - keep_from);
  std::memmove(buf_, keep_from, kept);
  pos_ = buf_ + (pos_ - keep_from);
  end_ = buf_ + kept;
  *end_ = '\n';
  if (kept == kBufferBytes) return ScanStatus::too_long;
  const std::ptrdiff_t n = source_.read(end_, kBufferBytes - kept);
  if (n < 0) return ScanStatus::read_error;
  if (n == 0) {
    at_end_ = true;
    return ScanStatus::end_of_file;
  }
  end_ += n;
  *end_ = '\n';
  return ScanStatus::item;
}

ScanStatus FreeFormatScanner::skip_rest_of_line() {
  for (;;) {
    // The sentinel ends the search at the latest.
    pos_ = static_cast<char*>(std::memchr(pos_, '\n', static_cast<std::size_t>(end_ - pos_) + 1));
    if (pos_ != end_) {
      ++pos_;
      ++line_;
      return ScanStatus::item;
    }
    if (at_end_) return ScanStatus::end_of_file;
    const ScanStatus s = refill(pos_);
    if (s != ScanStatus::item) return s;
  }
}

namespace {

// Passes over blanks within a line.
char* skip_blanks(char* p) {
  while (class_of(*p) == kBlank) ++p;
  return p;
}

// An index item at p: an optional sign and 1 to 9 digits, so that it cannot
// leave the 32-bit range. The position after it, or nullptr.
char* read_index(char* p, int& value) {
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  char* const digits = p;
  int v = 0;
  for (; is_digit(*p) && p - digits < 9; ++p) v = v * 10 + (*p - '0');
  if (p == digits || is_digit(*p)) return nullptr;
  value = negative ? -v : v;
  return p;
}

// After an item that is not the record's last: the item must end at a
// blank or a comma, and the separator (blanks, at most one comma, blanks)
// must lead to the next item on the same line. The next item's position,
// or nullptr.
char* next_plain_item(char* p) {
  if (!p) return nullptr;
  const unsigned char end = class_of(*p);
  if (end != kBlank && end != kComma) return nullptr;
  p = skip_blanks(p);
  if (*p == ',') p = skip_blanks(p + 1);
  return class_of(*p) == kItemChar ? p : nullptr;
}

// A real item at p, within the bytes up to end, that is a double: the
// position after it, or nullptr (for no real, and for a value outside the
// range of a double, which reading item by item reports or makes a zero).
char* read_plain_real(char* p, char* end, double& value) {
  if (!p) return nullptr;
  const std::from_chars_result r = read_real(p, end, value);
  return r.ec == std::errc() ? p + (r.ptr - p) : nullptr;
}

}  // namespace

bool FreeFormatScanner::read_plain_element(ElementItems& items) {
  char* p = pos_;
  if (skip_line_) {
    char* const line_end =
        static_cast<char*>(std::memchr(p, '\n', static_cast<std::size_t>(end_ - p) + 1));
    if (line_end == end_) return false;
    p = line_end + 1;
  }
  const std::int64_t line = line_ + (skip_line_ ? 1 : 0);
  char* q = skip_blanks(p);
  if (class_of(*q) != kItemChar) return false;
  q = next_plain_item(read_index(q, items.row));
  if (q) q = next_plain_item(read_index(q, items.col));
  q = next_plain_item(read_plain_real(q, end_, items.re));
  q = read_plain_real(q, end_, items.im);
  // The last item ends at any separator; at the end of the bytes read only
  // when the data ends there too.
  if (!q || class_of(*q) == kItemChar || (q == end_ && !at_end_)) return false;
  items.line = line;
  line_ = line;
  comma_allowed_ = false;
  // The usual line end straight after the record is passed over here; any
  // other rest of the line is skipped when the next record starts.
  q = skip_blanks(q);
  skip_line_ = !(*q == '\n' && q != end_);
  if (skip_line_) {
    pos_ = q;
  } else {
    pos_ = q + 1;
    ++line_;
  }
  return true;
}

std::span<const char> FreeFormatScanner::peek_start(std::size_t n) {
  while (static_cast<std::size_t>(end_ - pos_) < n && !at_end_)
    if (refill(pos_) == ScanStatus::read_error) break;
  return {pos_, std::min(n, static_cast<std::size_t>(end_ - pos_))};
}

std::span<const char> FreeFormatScanner::number_in_rest_of_line(std::size_t cap) {
  // Past the separator, without leaving the line.
  bool comma = false;
  for (;;) {
    while (class_of(*pos_) == kBlank) ++pos_;
    if (pos_ == end_ && !at_end_) {
      if (refill(pos_) != ScanStatus::item) return {};
      continue;
    }
    if (*pos_ != ',' || comma) break;
    comma = true;
    ++pos_;
  }
  // The rest of the line in the buffer, as far as cap + 1 bytes, so that
  // the caller can tell whether it was cut.
  const auto line_end = [this] {
    return static_cast<char*>(std::memchr(pos_, '\n', static_cast<std::size_t>(end_ - pos_) + 1));
  };
  while (line_end() == end_ && static_cast<std::size_t>(end_ - pos_) <= cap && !at_end_)
    if (refill(pos_) == ScanStatus::read_error) return {};
  const char* end = std::min(line_end(), pos_ + cap + 1);
  while (end != pos_ && class_of(end[-1]) == kBlank) --end;
  const char* p = pos_;
  if (p != end && (*p == '+' || *p == '-')) ++p;
  if (p != end && *p == '.') ++p;
  if (p == end || !is_digit(*p)) return {};
  return {pos_, static_cast<std::size_t>(end - pos_)};
}

ScannedItem FreeFormatScanner::skip_text_record() {
  ScanStatus s = start_record();
  if (s == ScanStatus::item) s = skip_blank_lines();
  if (s != ScanStatus::item) return stop(s);
  const ScannedItem found{ScanStatus::item, {}, line_};
  end_record();
  return found;
}

namespace {

// For a real whose value lies outside the range of a double: true when it is
// too small (its first significant digit stands below the units place by more
// than its exponent makes up), false when too large. The text is well formed.
bool below_double_range(const char* p, const char* end) {
  if (*p == '-' || *p == '+') ++p;
  const auto nonzero = [](char c) { return c != '0'; };
  // Power of ten of the first significant digit of the mantissa.
  const char* const int_end = skip_digits(p, end);
  const char* first = std::find_if(p, int_end, nonzero);
  std::int64_t lead = int_end - first - 1;
  const char* q = int_end;
  if (q != end && *q == '.') {
    const char* const frac = ++q;
    q = skip_digits(frac, end);
    if (first == int_end) lead = -(std::find_if(frac, q, nonzero) - frac) - 1;
  }
  std::int64_t exponent = 0;
  if (q != end) {
    ++q;  // the exponent letter
    const bool negative = *q == '-';
    if (*q == '-' || *q == '+') ++q;
    // Saturated: only the sign of lead + exponent matters, and lead is
    // bounded by the length of an item.
    for (; q != end; ++q) exponent = std::min<std::int64_t>(exponent * 10 + (*q - '0'), 1LL << 40);
    if (negative) exponent = -exponent;
  }
  return lead + exponent < 0;
}

}  // namespace

NumberStatus parse_real(std::span<char> text, double& value) {
  char* const begin = text.data();
  char* const end = begin + text.size();
  const std::from_chars_result r = read_real(begin, end, value);
  if (r.ec == std::errc::invalid_argument || r.ptr != end) return NumberStatus::malformed;
  if (r.ec == std::errc::result_out_of_range) {
    if (!below_double_range(begin, end)) return NumberStatus::not_finite;
    value = *begin == '-' ? -0.0 : 0.0;
  }
  return NumberStatus::ok;
}

}  // namespace geneig
