// Splitting the lines of a pedigree file into fields, shared by the
// one-thread reader and the reader of parallel chunks so that both see
// exactly the same fields. Internal to the readers.
//
// Conventions: fields are NUL-terminated, upper-cased, at most kMaxIdLength
// bytes; columns are 0-based, -1 = absent.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>

#include "pedigree/pedigree.h"

namespace kinvar::line_splitter {

constexpr int kMaxFields = 5;

constexpr bool IsLeadingSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
constexpr bool IsSeparator(unsigned char c) { return c == ' ' || c == ',' || c == '\t'; }

// What a byte is to the line splitter, looked up once per byte.
enum ByteKind : unsigned char { kOrdinary, kSeparator, kNul, kForbidden };

constexpr std::array<ByteKind, 256> MakeByteKinds() {
  std::array<ByteKind, 256> kinds{};
  for (int c = 0; c < 256; ++c) {
    const auto b = static_cast<unsigned char>(c);
    kinds[static_cast<std::size_t>(c)] = IsSeparator(b) ? kSeparator
                                         : b == 0       ? kNul
                                         : (b == '<' || b == '>' || b == '|' || b == '!') ? kForbidden
                                                                                           : kOrdinary;
  }
  return kinds;
}
constexpr std::array<ByteKind, 256> kByteKinds = MakeByteKinds();

// Splits one physical line into at most five upper-cased fields, byte by
// byte, so that lines of any length cost no memory beyond the fields.
class LineSplitter {
 public:
  enum class Error { None, Forbidden, TooLong, Nul };

  void Start(bool commentsAllowed) {
    started_ = comment_ = false;
    commentsAllowed_ = commentsAllowed;
    error_ = Error::None;
    count_ = length_ = 0;
  }

  // Feeds the bytes p[0..n-1] of the line, as if one by one.
  void Feed(const unsigned char* p, std::size_t n) {
    std::size_t i = 0;
    if (!started_) {
      while (i < n && IsLeadingSpace(p[i])) ++i;
      if (i == n) return;
      started_ = true;
      comment_ = commentsAllowed_ && p[i] == '!';
    }
    if (comment_ || error_ != Error::None || count_ == kMaxFields) return;
    char* field = fields_[static_cast<std::size_t>(count_)].data();
    for (; i < n; ++i) {
      const unsigned char c = p[i];
      switch (kByteKinds[c]) {
        case kOrdinary:
          if (length_ == kMaxIdLength) {
            error_ = Error::TooLong;
            return;
          }
          field[length_++] = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
          break;
        case kSeparator:
          Close();
          if (count_ == kMaxFields) return;
          field = fields_[static_cast<std::size_t>(count_)].data();
          break;
        case kNul:
          // A NUL byte marks a binary file, never a pedigree.
          error_ = Error::Nul;
          return;
        default:
          error_ = Error::Forbidden;
          return;
      }
    }
  }

  void Finish() { Close(); }

  bool Blank() const { return !started_ || comment_; }
  Error error() const { return error_; }
  int count() const { return count_; }
  const char* field(int i) const { return fields_[static_cast<std::size_t>(i)].data(); }

 private:
  void Close() {
    if (length_ == 0 || count_ == kMaxFields) return;
    fields_[static_cast<std::size_t>(count_)][static_cast<std::size_t>(length_)] = 0;
    ++count_;
    length_ = 0;
  }

  std::array<std::array<char, kMaxIdLength + 1>, kMaxFields> fields_{};
  int count_ = 0;
  int length_ = 0;
  bool started_ = false;
  bool comment_ = false;
  bool commentsAllowed_ = true;
  Error error_ = Error::None;
};

struct Columns {
  int progeny = -1, sire = -1, dam = -1, group = -1, f = -1;
  int required = 0;
};

inline bool ParseHeader(const LineSplitter& split, Columns& cols) {
  for (int i = 0; i < split.count(); ++i) {
    std::string name = split.field(i);
    for (char& c : name) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (name == "progeny") cols.progeny = i;
    if (name == "sire") cols.sire = i;
    if (name == "dam") cols.dam = i;
    if (name == "group") cols.group = i;
    if (name == "f") cols.f = i;
  }
  if (cols.progeny < 0 || cols.sire < 0 || cols.dam < 0) return false;
  cols.required = 1 + std::max({cols.progeny, cols.sire, cols.dam, cols.group, cols.f});
  return true;
}

// Group field: digits only, value at most 1000; -1 for anything else.
inline int ParseGroup(const char* text) {
  long value = 0;
  for (const char* p = text; *p != 0; ++p) {
    if (*p < '0' || *p > '9') return -1;
    value = std::min(value * 10 + (*p - '0'), 100000L);
  }
  return value > kMaxGroupNumber ? -1 : static_cast<int>(value);
}

}  // namespace kinvar::line_splitter
