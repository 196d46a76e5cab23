#include "diagnostic.hpp"

#include <algorithm>
#include <cstdio>

namespace geneig {

std::size_t format_diagnostic(char* buf, std::size_t cap, std::string_view file,
                              std::int64_t line, const char* format, std::va_list args) {
  // A name longer than this is cut: the line must stay readable.
  constexpr std::size_t kMaxName = 256;
  const int name_length = static_cast<int>(std::min(file.size(), kMaxName));
  int n = line < 0 ? std::snprintf(buf, cap, "%.*s: ", name_length, file.data())
                   : std::snprintf(buf, cap, "%.*s:%lld: ", name_length, file.data(),
                                   static_cast<long long>(line));
  n = std::clamp(n, 0, static_cast<int>(cap) - 1);
  n += std::vsnprintf(buf + n, cap - static_cast<std::size_t>(n), format, args);
  return std::min(static_cast<std::size_t>(n), cap - 1);
}

}  // namespace geneig
