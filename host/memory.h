// Bitmaps in plain memory, for the hosts that have no graphics library of
// their own to hold them (the headless host and the browser's). Each such
// host's host_bitmap_create and host_bitmap_clear call these, so that the
// bitmaps stay in the host's own object file, whatever the link order.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "host/host.h"

// One block, freed with std::free: the record, the row pointers, then the
// rows. Null for a negative size or when there is no memory.
inline HostBitmap* host_memory_bitmap(int32_t width, int32_t height) {
  if (width < 0 || height < 0) return nullptr;
  const size_t rows = size_t(height) * sizeof(uint8_t*);
  const size_t size = sizeof(HostBitmap) + rows + size_t(width) * size_t(height);
  char* block = static_cast<char*>(std::malloc(size));
  if (!block) return nullptr;
  HostBitmap* bitmap = reinterpret_cast<HostBitmap*>(block);
  uint8_t** line = reinterpret_cast<uint8_t**>(block + sizeof(HostBitmap));
  uint8_t* pixels = reinterpret_cast<uint8_t*>(block + sizeof(HostBitmap) + rows);
  for (int32_t y = 0; y < height; ++y) line[y] = pixels + size_t(y) * size_t(width);
  *bitmap = {width, height, line, nullptr};
  return bitmap;
}

inline void host_memory_clear(HostBitmap* bitmap, uint8_t colour) {
  for (int32_t y = 0; y < bitmap->h; ++y) std::memset(bitmap->line[y], colour, size_t(bitmap->w));
}
