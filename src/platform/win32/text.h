// The launcher's text on Windows is UTF-8; the system is always spoken to in
// UTF-16 (the "W" functions), so no character depends on the ANSI code page.
#pragma once

#include "base/convert.h"

#include <windows.h>

namespace tarn {
namespace platform {

// A UTF-16 copy of launcher text for one call: Wide(path) as an argument lives
// until the end of the statement.
class Wide {
  public:
    explicit Wide(const char* text) : text_(ansiToWide(text)) {}
    operator const wchar_t*() const { return reinterpret_cast<const wchar_t*>(text_.cStr()); }
    wchar_t* data() { return reinterpret_cast<wchar_t*>(text_.data()); }

  private:
    WideString text_;
};

inline ByteString fromWide(const wchar_t* units, int32_t n = -1) {
    return wideToAnsi(reinterpret_cast<const char16_t*>(units), n);
}

} // namespace platform
} // namespace tarn
