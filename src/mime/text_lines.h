#pragma once

#include <compare>
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace bc {

/// A list of text lines kept in one buffer, read as string views. A decoded
/// message holds hundreds of lines: one buffer and one list of ends cost two
/// growing allocations where a string per line cost one each.
/// The views stay valid until the list is changed.
class TextLines {
 public:
  class const_iterator {
   public:
    using iterator_concept = std::random_access_iterator_tag;
    using iterator_category = std::input_iterator_tag;  // elements are made, not stored
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using reference = std::string_view;
    using pointer = void;

    const_iterator() = default;
    const_iterator(const TextLines* lines, std::size_t at) : lines_(lines), at_(at) {}

    std::string_view operator*() const { return (*lines_)[at_]; }
    std::string_view operator[](difference_type n) const {
      return (*lines_)[at_ + static_cast<std::size_t>(n)];
    }
    const_iterator& operator++() {
      ++at_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator before = *this;
      ++at_;
      return before;
    }
    const_iterator& operator--() {
      --at_;
      return *this;
    }
    const_iterator operator--(int) {
      const_iterator before = *this;
      --at_;
      return before;
    }
    const_iterator& operator+=(difference_type n) {
      at_ += static_cast<std::size_t>(n);
      return *this;
    }
    const_iterator& operator-=(difference_type n) {
      at_ -= static_cast<std::size_t>(n);
      return *this;
    }
    friend const_iterator operator+(const_iterator it, difference_type n) { return it += n; }
    friend const_iterator operator+(difference_type n, const_iterator it) { return it += n; }
    friend const_iterator operator-(const_iterator it, difference_type n) { return it -= n; }
    friend difference_type operator-(const const_iterator& a, const const_iterator& b) {
      return static_cast<difference_type>(a.at_) - static_cast<difference_type>(b.at_);
    }
    friend bool operator==(const const_iterator& a, const const_iterator& b) {
      return a.at_ == b.at_;
    }
    friend auto operator<=>(const const_iterator& a, const const_iterator& b) {
      return a.at_ <=> b.at_;
    }

   private:
    const TextLines* lines_ = nullptr;
    std::size_t at_ = 0;
  };
  using iterator = const_iterator;
  using value_type = std::string_view;
  using reference = std::string_view;
  using const_reference = std::string_view;
  using size_type = std::size_t;
  using difference_type = std::ptrdiff_t;

  TextLines() = default;
  TextLines(std::initializer_list<std::string_view> lines) {
    for (std::string_view line : lines) {
      push_back(line);
    }
  }

  [[nodiscard]] size_type size() const { return ends_.size(); }
  [[nodiscard]] bool empty() const { return ends_.empty(); }
  /// The length of all lines together.
  [[nodiscard]] size_type bytes() const { return text_.size(); }
  std::string_view operator[](size_type i) const {
    const std::size_t from = i == 0 ? 0 : ends_[i - 1];
    return {text_.data() + from, ends_[i] - from};
  }
  [[nodiscard]] std::string_view front() const { return (*this)[0]; }
  [[nodiscard]] std::string_view back() const { return (*this)[size() - 1]; }
  [[nodiscard]] const_iterator begin() const { return {this, 0}; }
  [[nodiscard]] const_iterator end() const { return {this, size()}; }

  void push_back(std::string_view line) {
    text_ += line;
    ends_.push_back(text_.size());
  }
  /// Adds one line that write(text) appends to the end of text (the buffer);
  /// write must leave what text held before untouched.
  template <typename Write>
  void AddLine(Write write) {
    write(text_);
    ends_.push_back(text_.size());
  }
  /// Room for `lines` lines of `bytes` bytes in all.
  void reserve(size_type lines, size_type bytes = 0) {
    ends_.reserve(lines);
    text_.reserve(bytes);
  }

  friend bool operator==(const TextLines& a, const TextLines& b) = default;

 private:
  std::string text_;               // the lines one after another, no separators
  std::vector<std::size_t> ends_;  // where each line ends in text_
};

}  // namespace bc
