// Text fields: a name handed over in a fixed-length field, the text followed
// by blanks. Trailing blanks are not part of the name.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace geneig {

// Longest file name, in characters, that the file routines accept.
inline constexpr std::size_t kMaxNameChars = 4096;

// The name held in a text field.
inline std::string_view field_name(std::string_view field) {
  const std::size_t last = field.find_last_not_of(' ');
  return last == std::string_view::npos ? std::string_view{} : field.substr(0, last + 1);
}

// Copies name into path as a C string. False when the name is empty, holds a
// zero byte or is longer than kMaxNameChars, which no file can be opened by.
inline bool to_c_path(std::string_view name, char (&path)[kMaxNameChars + 1]) {
  if (name.empty() || name.size() > kMaxNameChars || name.find('\0') != std::string_view::npos)
    return false;
  std::memcpy(path, name.data(), name.size());
  path[name.size()] = '\0';
  return true;
}

}  // namespace geneig
