// VormPointMarker: the bit set behind the sorted point string.
#include <vorm/point_string.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace {

std::uint64_t ByteCount(std::uint64_t bits) { return (bits + 7) / 8; }

// The summary keeps one bit per block of the bit array.
constexpr std::uint64_t kBlockBytes = 4096;
constexpr std::uint64_t kBlockBits = kBlockBytes * 8;

std::uint64_t SummaryWords(std::uint64_t bytes) {
  const std::uint64_t blocks = (bytes + kBlockBytes - 1) / kBlockBytes;
  return (blocks + 63) / 64;
}

}  // namespace

VormPointMarker::VormPointMarker(DWORD base) : m_base(base) {}

VormPointMarker::VormPointMarker(const VormPointMarker& other)
    : m_bitCount(other.m_bitCount), m_base(other.m_base), m_summary(other.m_summary) {
  const std::uint64_t bytes = ByteCount(m_bitCount);
  if (bytes != 0) {
    m_bits = static_cast<BYTE*>(std::malloc(bytes));
    if (!m_bits) throw std::bad_alloc();
    std::memcpy(m_bits, other.m_bits, bytes);
  }
}

VormPointMarker& VormPointMarker::operator=(const VormPointMarker& other) {
  if (this != &other) {
    VormPointMarker copy(other);
    std::swap(m_bits, copy.m_bits);
    std::swap(m_bitCount, copy.m_bitCount);
    std::swap(m_base, copy.m_base);
    std::swap(m_summary, copy.m_summary);
  }
  return *this;
}

VormPointMarker::~VormPointMarker() { std::free(m_bits); }

BOOL VormPointMarker::SetBitCount(DWORD bits) {
  // The highest number covered, base + bits - 1, must be a DWORD, and GetEnd() too.
  if (std::uint64_t{m_base} + bits > 0xFFFFFFFFu) return FALSE;
  const std::uint64_t oldBytes = ByteCount(m_bitCount);
  const std::uint64_t newBytes = ByteCount(bits);
  if (newBytes == 0) {
    std::free(m_bits);
    m_bits = nullptr;
    m_bitCount = 0;
    m_summary.clear();
    return TRUE;
  }
  // The summary only ever grows; a longer one than needed is harmless, so growing it
  // first keeps a later failure free of rollback.
  const std::uint64_t summaryWords = SummaryWords(newBytes);
  if (summaryWords > m_summary.size()) {
    try {
      m_summary.resize(summaryWords, 0);
    } catch (const std::bad_alloc&) {
      return FALSE;
    }
  }
  if (newBytes != oldBytes) {
    BYTE* grown = nullptr;
    if (newBytes > oldBytes && (!m_bits || (newBytes >= 2 * oldBytes && newBytes >= (1u << 20)))) {
      // A large jump (a sparse number far beyond the rest): fresh zeroed memory costs
      // nothing until it is touched, where realloc + memset would write every byte.
      grown = static_cast<BYTE*>(std::calloc(newBytes, 1));
      if (!grown) return FALSE;
      if (m_bits) std::memcpy(grown, m_bits, oldBytes);
      std::free(m_bits);
    } else {
      grown = static_cast<BYTE*>(std::realloc(m_bits, newBytes));
      if (!grown) return FALSE;
      if (newBytes > oldBytes) std::memset(grown + oldBytes, 0, newBytes - oldBytes);
    }
    m_bits = grown;
  }
  // Bits at or beyond the bit count are kept clear, so a later growth cannot bring back
  // numbers that were cut off.
  if (bits < m_bitCount && bits % 8 != 0) m_bits[bits / 8] &= static_cast<BYTE>((1u << (bits % 8)) - 1);
  m_bitCount = bits;
  return TRUE;
}

BOOL VormPointMarker::Change(DWORD n, bool value) {
  // Below the base (0 for base 1: relational tokens, non-numeric text) and above
  // kMaxNumber there is nothing to mark.
  if (n > kMaxNumber || n < m_base) return FALSE;
  const DWORD i = n - m_base;
  if (i >= m_bitCount && !SetBitCount(i + kGrowBits)) return FALSE;
  if (value) {
    SetBit(i);
  } else {
    ClearBit(i);
  }
  return TRUE;
}

void VormPointMarker::Mark(DWORD n) { Change(n, true); }

void VormPointMarker::Unmark(DWORD n) { Change(n, false); }

BOOL VormPointMarker::IsMarked(DWORD n) const {
  if (n > kMaxNumber || n < m_base) return FALSE;
  return TestBit(n - m_base);
}

void VormPointMarker::SetBit(DWORD i) {
  if (i >= m_bitCount) return;
  m_bits[i / 8] |= static_cast<BYTE>(1u << (i % 8));
  const std::uint64_t block = i / kBlockBits;
  m_summary[block / 64] |= std::uint64_t{1} << (block % 64);
}

void VormPointMarker::ClearBit(DWORD i) {
  if (i < m_bitCount) m_bits[i / 8] &= static_cast<BYTE>(~(1u << (i % 8)));
}

BOOL VormPointMarker::TestBit(DWORD i) const {
  return i < m_bitCount && (m_bits[i / 8] & (1u << (i % 8))) != 0 ? TRUE : FALSE;
}

std::uint64_t VormPointMarker::FindBit(std::uint64_t from, bool value) const {
  const std::uint64_t count = m_bitCount;
  const std::uint64_t bytes = ByteCount(count);
  // Bit i is bit i % 8 of byte i / 8, so byte k of a little-endian word holds bits
  // 8k..8k+7 of that word: word w holds bits 64w..64w+63 in order.
  auto word = [&](std::uint64_t w) {
    const std::uint64_t offset = w * 8;
    std::uint64_t v = 0;
    if (offset + 8 <= bytes) {
      if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&v, m_bits + offset, 8);
      } else {
        for (int k = 7; k >= 0; --k) v = (v << 8) | m_bits[offset + static_cast<std::uint64_t>(k)];
      }
    } else {
      for (std::uint64_t k = bytes; k-- > offset;) v = (v << 8) | m_bits[k];
    }
    return v;
  };
  auto mayHoldSetBits = [&](std::uint64_t block) { return (m_summary[block / 64] >> (block % 64)) & 1u; };

  for (std::uint64_t i = from; i < count;) {
    const std::uint64_t block = i / kBlockBits;
    if (!mayHoldSetBits(block)) {
      if (!value) return i;  // an all-clear block: bit i is clear
      // Jump to the next block that may hold set bits.
      std::uint64_t next = block + 1;
      std::uint64_t w = next / 64;
      std::uint64_t bitsOfWord = w < m_summary.size() ? m_summary[w] & (~std::uint64_t{0} << (next % 64)) : 0;
      while (bitsOfWord == 0 && ++w < m_summary.size()) bitsOfWord = m_summary[w];
      if (bitsOfWord == 0) return count;
      i = (w * 64 + static_cast<std::uint64_t>(std::countr_zero(bitsOfWord))) * kBlockBits;
      continue;
    }
    const std::uint64_t blockEnd = (block + 1) * kBlockBits < count ? (block + 1) * kBlockBits : count;
    while (i < blockEnd) {
      const std::uint64_t w = i / 64;
      std::uint64_t v = word(w);
      if (!value) v = ~v;  // looking for a clear bit: bits past the storage read as clear
      v &= ~std::uint64_t{0} << (i % 64);
      if (v != 0) {
        const std::uint64_t found = w * 64 + static_cast<std::uint64_t>(std::countr_zero(v));
        return found < count ? found : count;
      }
      i = (w + 1) * 64;
    }
  }
  return count;
}
