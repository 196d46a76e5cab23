// Free-format records of a text file, read in chunks through one fixed
// buffer so that a file of any size is read in bounded memory.
//
// A record is a sequence of items separated by a comma or by blanks (space,
// tab, carriage return; blanks around a comma belong to the separator). A
// record that runs out of items at the end of a line goes on with the next
// line; a line of blanks holds no items. Once a record's last item is read,
// the rest of its line is skipped, so every record begins on a new line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace geneig {

// Where the bytes come from: a file, or text in memory (tests and fuzzing).
class ByteSource {
 public:
  // Reads up to cap bytes into dst. Returns the count, 0 at the end of the
  // data, or -1 on a read error (then error() holds the errno value).
  virtual std::ptrdiff_t read(char* dst, std::size_t cap) = 0;
  virtual int error() const = 0;

 protected:
  ~ByteSource() = default;
};

// Text in memory handed out at most chunk bytes at a time, so that callers
// can make items straddle the refills of the buffer.
class TextSource final : public ByteSource {
 public:
  explicit TextSource(std::string_view text, std::size_t chunk = SIZE_MAX)
      : rest_(text), chunk_(chunk == 0 ? 1 : chunk) {}
  std::ptrdiff_t read(char* dst, std::size_t cap) override;
  int error() const override { return 0; }

 private:
  std::string_view rest_;
  std::size_t chunk_;
};

// The longest item that can be read: an item is handed out whole, so it must
// fit in the buffer.
inline constexpr std::size_t kMaxItemChars = 64 * 1024;

enum class ScanStatus {
  item,         // an item was found
  end_of_file,  // the data ended before the item
  read_error,   // the source failed
  empty_item,   // a comma with no item before it in its record
  slash,        // a slash, which would end the record before its last item
  too_long,     // an item longer than kMaxItemChars
};

// One item, or the reason there is none. text points into the shared buffer
// and stays valid until the next call on the scanner; it may be modified.
struct ScannedItem {
  ScanStatus status;
  std::span<char> text;
  std::int64_t line;  // 1-based line of the item, or where the scan stopped
};

// The four items of an element record: row and column index, real and
// imaginary part, and the line the record starts on.
struct ElementItems {
  int row, col;
  double re, im;
  std::int64_t line;
};

namespace scan_detail {

enum CharClass : unsigned char { kItemChar, kBlank, kLineEnd, kComma, kSlash };

// A carriage return counts as a blank, so that a CR LF line end is a blank
// followed by the end of the line.
constexpr std::array<unsigned char, 256> make_char_classes() {
  std::array<unsigned char, 256> c{};
  c[' '] = kBlank;
  c['\t'] = kBlank;
  c['\r'] = kBlank;
  c['\n'] = kLineEnd;
  c[','] = kComma;
  c['/'] = kSlash;
  return c;
}
inline constexpr std::array<unsigned char, 256> kCharClass = make_char_classes();

inline unsigned char class_of(char c) { return kCharClass[static_cast<unsigned char>(c)]; }

}  // namespace scan_detail

// Reads records item by item. There is one buffer, so one scanner at a time.
//
// The buffer holds the bytes [buf_, end_) read so far and not yet passed
// over, and one line feed at end_ as a sentinel: every scanning loop stops at
// a line end, and only there asks whether it is the end of the bytes.
class FreeFormatScanner {
 public:
  explicit FreeFormatScanner(ByteSource& source);

  // The next item of the current record, over as many lines as it takes.
  ScannedItem next_item();

  // Reads a record of one text item and discards it. Whatever form the item
  // takes (a word, a quoted text, or nothing before a comma or slash), it is
  // the record's only item and the rest of its line is skipped: so the record
  // is simply the next line that holds anything but blanks. A quoted text
  // ends with the end of its line at the latest.
  ScannedItem skip_text_record();

  // Reads a record of two integer and two real items, the rest of its line
  // skipped, when it stands on one line of the bytes already read in the
  // plainest form: items separated by blanks and at most one comma, indices
  // of at most 9 digits, reals within the range of a double. True when it did;
  // false, having consumed nothing, otherwise: then reading the record item
  // by item gives the same items, or the fault.
  bool read_plain_element(ElementItems& items);

  // Marks the end of the current record: the next record starts on the line
  // after that of its last item.
  void end_record() { skip_line_ = true; }

  // After the last item of a record: the text that follows it on its line,
  // past blanks and at most one comma, when that text starts like a number
  // (a digit, or a sign or decimal point before one); else empty. The text
  // runs to the end of the line, cut after `cap` bytes, and stays valid
  // until the next call on the scanner. What the next record reads is not
  // changed: the rest of the line is skipped all the same.
  std::span<const char> number_after_record(std::size_t cap) {
    return skip_line_ ? number_in_rest_of_line(cap) : std::span<const char>{};
  }

  // The first bytes of the data, up to n of them (fewer only when the data
  // is shorter or cannot be read), before anything has been scanned; and
  // passing over n of them.
  std::span<const char> peek_start(std::size_t n);
  void skip_start(std::size_t n) { pos_ += n; }

  int source_error() const { return source_.error(); }

 private:
  ScanStatus refill(char* keep_from);
  ScanStatus start_record();
  ScanStatus skip_rest_of_line();
  ScanStatus skip_blank_lines();
  ScanStatus skip_separators();
  ScannedItem scan_token();
  std::span<const char> number_in_rest_of_line(std::size_t cap);
  ScannedItem stop(ScanStatus s) const { return {s, {}, line_}; }

  ByteSource& source_;
  char* const buf_;  // the shared buffer
  char* pos_;        // next byte to look at
  char* end_;        // end of the bytes read; the sentinel stands here
  bool at_end_ = false;         // the source has no more bytes
  bool skip_line_ = false;      // the rest of the current line is to be skipped
  bool comma_allowed_ = false;  // an item since the last comma of the record
  std::int64_t line_ = 1;
};

// Passes over blanks and line ends up to the next byte that is neither.
inline ScanStatus FreeFormatScanner::skip_blank_lines() {
  using namespace scan_detail;
  for (;;) {
    unsigned char c;
    while ((c = class_of(*pos_)) == kBlank) ++pos_;
    if (c != kLineEnd) return ScanStatus::item;
    if (pos_ != end_) {
      ++line_;
      ++pos_;
      continue;
    }
    if (at_end_) return ScanStatus::end_of_file;
    const ScanStatus s = refill(pos_);
    if (s != ScanStatus::item) return s;
  }
}

// Passes over the separator before the next item: blanks and line ends, and
// at most one comma after an item.
inline ScanStatus FreeFormatScanner::skip_separators() {
  using namespace scan_detail;
  for (;;) {
    const ScanStatus s = skip_blank_lines();
    if (s != ScanStatus::item) return s;
    const unsigned char c = class_of(*pos_);
    if (c == kSlash) return ScanStatus::slash;
    if (c != kComma) return ScanStatus::item;
    if (!comma_allowed_) return ScanStatus::empty_item;
    comma_allowed_ = false;
    ++pos_;
  }
}

// The item starting at pos_: every byte up to the next separator, slash or
// end of the data, made contiguous in the buffer.
inline ScannedItem FreeFormatScanner::scan_token() {
  using namespace scan_detail;
  char* start = pos_;
  for (;;) {
    while (class_of(*pos_) == kItemChar) ++pos_;
    if (pos_ != end_ || at_end_) break;
    const ScanStatus s = refill(start);
    start = buf_;
    if (s == ScanStatus::read_error || s == ScanStatus::too_long) return stop(s);
  }
  comma_allowed_ = true;
  return {ScanStatus::item, {start, static_cast<std::size_t>(pos_ - start)}, line_};
}

inline ScanStatus FreeFormatScanner::start_record() {
  if (!skip_line_) return ScanStatus::item;
  skip_line_ = false;
  comma_allowed_ = false;
  return skip_rest_of_line() == ScanStatus::read_error ? ScanStatus::read_error : ScanStatus::item;
}

inline ScannedItem FreeFormatScanner::next_item() {
  ScanStatus s = start_record();
  if (s == ScanStatus::item) s = skip_separators();
  return s == ScanStatus::item ? scan_token() : stop(s);
}

// What a number item's text turned out to be.
enum class NumberStatus {
  ok,
  malformed,     // not of the form of the item
  out_of_range,  // an integer outside the 32-bit signed range
  not_finite,    // a real whose magnitude overflows a double
};

// An integer item: an optional sign and decimal digits, in 32-bit range.
inline NumberStatus parse_integer(std::span<const char> text, int& value) {
  constexpr std::uint64_t kLimit = std::uint64_t{1} << 31;  // |INT_MIN|
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool negative = p != end && *p == '-';
  if (p != end && (*p == '+' || *p == '-')) ++p;
  if (p == end) return NumberStatus::malformed;
  // Digits past the limit no longer change the verdict, so the magnitude
  // stops growing there and cannot overflow.
  std::uint64_t magnitude = 0;
  for (; p != end; ++p) {
    const unsigned digit = static_cast<unsigned char>(*p) - unsigned{'0'};
    if (digit > 9) return NumberStatus::malformed;
    if (magnitude <= kLimit) magnitude = magnitude * 10 + digit;
  }
  if (magnitude > (negative ? kLimit : kLimit - 1)) return NumberStatus::out_of_range;
  value = static_cast<int>(negative ? -static_cast<std::int64_t>(magnitude)
                                    : static_cast<std::int64_t>(magnitude));
  return NumberStatus::ok;
}

// A real item: an optional sign, decimal digits with an optional decimal
// point, an optional exponent (E or D in either case, an optional sign,
// digits). The value is the nearest double; a value too small for a double
// becomes a zero of its sign. The text is modified while it is read and
// restored before return.
NumberStatus parse_real(std::span<char> text, double& value);

}  // namespace geneig
