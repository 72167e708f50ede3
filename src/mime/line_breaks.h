#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace bc {

/// Finds the CR and LF bytes of one text from front to back. The breaks of a
/// whole 64-byte block are marked at once and kept, so the lines inside it
/// (most mail lines are shorter) cost a shift each rather than a search of
/// their own.
class LineBreaks {
 public:
  /// Searches text from now on; the text must outlive the searches.
  void Reset(std::string_view text) {
    text_ = text;
    blockFrom_ = 0;
    blockSize_ = 0;
    blockMask_ = 0;
  }

  /// Where the first CR or LF at or after `from` (a position in the text) is;
  /// the text's size when there is none.
  std::size_t Next(std::size_t from) {
    if (from < blockFrom_ || from >= blockFrom_ + blockSize_) {
      if (from >= text_.size()) {
        return text_.size();
      }
      Load(from);
    }
    std::uint64_t marks = blockMask_ >> (from - blockFrom_);
    while (marks == 0) {
      from = blockFrom_ + blockSize_;
      if (from >= text_.size()) {
        return text_.size();
      }
      Load(from);
      marks = blockMask_;
    }
    return from + static_cast<std::size_t>(std::countr_zero(marks));
  }

 private:
  static constexpr std::size_t kBlock = 64;

  void Load(std::size_t from) {
    const char* at = text_.data() + from;
    const std::size_t size = text_.size() - from < kBlock ? text_.size() - from : kBlock;
    std::uint64_t mask = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i lineFeeds = _mm_set1_epi8('\n');
    const __m128i carriageReturns = _mm_set1_epi8('\r');
    for (; i + 16 <= size; i += 16) {
      const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + i));
      const auto found = static_cast<unsigned>(_mm_movemask_epi8(
          _mm_or_si128(_mm_cmpeq_epi8(chunk, lineFeeds), _mm_cmpeq_epi8(chunk, carriageReturns))));
      mask |= static_cast<std::uint64_t>(found) << i;
    }
#endif
    for (; i < size; ++i) {
      if (at[i] == '\n' || at[i] == '\r') {
        mask |= std::uint64_t{1} << i;
      }
    }
    blockFrom_ = from;
    blockSize_ = size;
    blockMask_ = mask;
  }

  std::string_view text_;
  std::size_t blockFrom_ = 0;  // the block marked: its position in text_ and its size
  std::size_t blockSize_ = 0;
  std::uint64_t blockMask_ = 0;  // bit i: text_[blockFrom_ + i] is a CR or an LF
};

}  // namespace bc
