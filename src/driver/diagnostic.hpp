// One-line diagnostics of the file layer: the file's name, the line where
// there is one, then the message, in a fixed buffer.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace geneig {

// Writes "<file>:<line>: <message>" (without ":<line>" when line < 0) into
// buf, the message formed from format and args as by vsnprintf, cut to fit
// in cap - 1 characters. Returns the length written.
std::size_t format_diagnostic(char* buf, std::size_t cap, std::string_view file,
                              std::int64_t line, const char* format, std::va_list args);

}  // namespace geneig
