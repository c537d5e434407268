// SHA-256 (FIPS 180-4), used to name the cache folder of an embedded runtime.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnpack {

class Sha256 {
  public:
    Sha256();
    void update(const void* data, size_t size);
    // Lower-case hex digest; the object is spent afterwards.
    std::string hexDigest();

  private:
    void block(const uint8_t* p);
    uint32_t state_[8];
    uint8_t buffer_[64];
    size_t buffered_ = 0;
    uint64_t total_ = 0;
};

} // namespace tarnpack
