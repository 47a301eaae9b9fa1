#include "platform/checksum.h"

#include <cstdio>

// Header only: the checksum needs nothing but this header on every platform.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace nandell {

struct ContentHash::State {
  XXH3_state_t xxh;
};

ContentHash::ContentHash() : state_(std::make_unique<State>()) {
  XXH3_128bits_reset(&state_->xxh);
}

ContentHash::~ContentHash() = default;

void ContentHash::Update(const void* data, size_t size) {
  if (size > 0) XXH3_128bits_update(&state_->xxh, data, size);
}

std::string ContentHash::Hex() const {
  const XXH128_hash_t hash = XXH3_128bits_digest(&state_->xxh);
  char hex[33];
  std::snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(hash.high64),
                static_cast<unsigned long long>(hash.low64));
  return hex;
}

}  // namespace nandell
