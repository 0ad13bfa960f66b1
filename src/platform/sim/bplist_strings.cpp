#include "platform/sim/bplist_strings.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>

namespace sim {
namespace {

constexpr size_t kTrailerSize = 32;

// A big-endian unsigned integer of `size` bytes at `at`; none when it does
// not fit inside `bytes` or is wider than 8 bytes.
std::optional<uint64_t> BigEndian(const std::string& bytes, size_t at, size_t size) {
  if (size == 0 || size > 8 || at > bytes.size() || bytes.size() - at < size) return std::nullopt;
  uint64_t value = 0;
  for (size_t i = 0; i < size; ++i)
    value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

void AppendUtf8(std::string& out, uint32_t code_point) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | (code_point >> 6));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    out += static_cast<char>(0xE0 | (code_point >> 12));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code_point >> 18));
    out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

// UTF-16 big-endian code units up to the first NUL unit, as UTF-8; none when
// there is no NUL unit.
std::optional<std::string> CutUtf16(const std::string& bytes, size_t at, size_t units) {
  std::string out;
  for (size_t i = 0; i < units; ++i) {
    const uint32_t unit = static_cast<uint32_t>(*BigEndian(bytes, at + 2 * i, 2));
    if (unit == 0) return out;
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units) {
      const uint32_t low = static_cast<uint32_t>(*BigEndian(bytes, at + 2 * (i + 1), 2));
      if (low >= 0xDC00 && low < 0xE000) {
        AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(out, unit);
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> CutStringsOfBinaryPlist(const std::string& bytes) {
  std::vector<std::string> cut;
  if (bytes.size() < 8 + kTrailerSize || bytes.compare(0, 8, "bplist00") != 0) return cut;
  const size_t trailer = bytes.size() - kTrailerSize;
  const size_t offset_size = static_cast<unsigned char>(bytes[trailer + 6]);
  const auto objects = BigEndian(bytes, trailer + 8, 8);
  const auto table = BigEndian(bytes, trailer + 24, 8);
  if (!objects || !table || offset_size == 0 || offset_size > 8) return cut;
  // Every object needs an entry in the table, which lies before the trailer.
  if (*table > trailer || *objects > (trailer - *table) / offset_size) return cut;

  for (uint64_t i = 0; i < *objects; ++i) {
    const auto offset =
        BigEndian(bytes, static_cast<size_t>(*table + i * offset_size), offset_size);
    if (!offset || *offset >= trailer) continue;
    size_t at = static_cast<size_t>(*offset);
    const unsigned char marker = static_cast<unsigned char>(bytes[at++]);
    const unsigned type = marker >> 4;
    if (type != 0x5 && type != 0x6) continue;  // ASCII, UTF-16
    uint64_t count = marker & 0x0F;
    if (count == 0x0F) {
      // The length follows as an integer object: 0x1N, then 2^N bytes.
      if (at >= trailer) continue;
      const unsigned char length_marker = static_cast<unsigned char>(bytes[at++]);
      if ((length_marker >> 4) != 0x1 || (length_marker & 0x0F) > 3) continue;
      const size_t length_size = size_t{1} << (length_marker & 0x0F);
      const auto length = BigEndian(bytes, at, length_size);
      if (!length) continue;
      count = *length;
      at += length_size;
    }
    const uint64_t unit_size = type == 0x5 ? 1 : 2;
    if (at > trailer || count > (trailer - at) / unit_size) continue;
    if (type == 0x5) {
      const void* nul = std::memchr(bytes.data() + at, '\0', static_cast<size_t>(count));
      if (nul) cut.push_back(bytes.substr(at, static_cast<const char*>(nul) - (bytes.data() + at)));
    } else if (auto text = CutUtf16(bytes, at, static_cast<size_t>(count))) {
      cut.push_back(std::move(*text));
    }
  }
  return cut;
}

}  // namespace sim
