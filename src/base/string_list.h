// Many strings in one buffer: the offsets live in the IntArray part, the
// characters (each item followed by one zero byte) in `chars`.
#pragma once

#include "base/string.h"

namespace tarn {

class StringList : public IntArray {
  public:
    StringList() {}
    StringList(const StringList& other) = default;
    StringList& operator=(const StringList& other) = default;

    void add(const char* text, int32_t n = -1);
    void add(const StringView& text) { add(text.data(), text.length()); }
    int32_t count() const { return length_; }
    // Valid until the next add().
    char* item(int32_t i) const { return chars_.data() + data_[i]; }
    void clear();
    // Gives both blocks back.
    void reset() {
        IntArray::reset();
        chars_.reset();
    }
    const ByteBuffer& chars() const { return chars_; }

  private:
    ByteBuffer chars_;
};

} // namespace tarn
