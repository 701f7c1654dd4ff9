#include <array>
#include <cwchar>

#include <vorm/platform/text.h>

#include "platform/fs/fs_internal.h"

namespace VormFiles_details {
namespace {

bool Set(unsigned char& bit) {
  bit = 1;
  return true;
}

}  // namespace

WildcardPattern::WildcardPattern(std::wstring_view pattern, bool caseSensitive) : caseSensitive_(caseSensitive) {
  tokens_.reserve(pattern.size());
  bool onlyStars = !pattern.empty();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    wchar_t c = pattern[i];
    wchar_t next = i + 1 < pattern.size() ? pattern[i + 1] : L'\0';
    if (c != L'*') onlyStars = false;
    if (c == L'*') {
      hasWildcards_ = true;
      if (next == L'.') {
        tokens_.push_back({Kind::StarBeforeDot, 0});
      } else if (tokens_.empty() || tokens_.back().kind != Kind::Star) {
        tokens_.push_back({Kind::Star, 0});
      }
    } else if (c == L'?') {
      hasWildcards_ = true;
      tokens_.push_back({Kind::AnyOne, 0});
    } else if (c == L'.' && (next == L'*' || next == L'?' || i + 1 == pattern.size())) {
      tokens_.push_back({Kind::DotOrEnd, L'.'});
    } else {
      tokens_.push_back({Kind::Literal, Fold(c)});
    }
  }
  matchesAll_ = onlyStars || pattern == L"*.*";
}

wchar_t WildcardPattern::Fold(wchar_t c) const { return caseSensitive_ ? c : VormToUpper(c); }

// One pass per token over the set of name positions reachable so far (a bit row of
// length+1): linear in pattern length times name length, with no backtracking blow-up.
bool WildcardPattern::MatchFolded(const wchar_t* name, std::size_t n) const {
  if (matchesAll_) return true;
  std::array<unsigned char, 2 * 264> local;
  std::vector<unsigned char> heap;
  unsigned char* cur = local.data();
  if (2 * (n + 1) > local.size()) {
    heap.resize(2 * (n + 1));
    cur = heap.data();
  }
  unsigned char* next = cur + (n + 1);

  std::size_t lastDot = n;  // n: the name has no dot
  for (std::size_t j = 0; j < n; ++j) {
    if (name[j] == L'.') lastDot = j;
  }

  std::fill(cur, cur + n + 1, 0);
  cur[0] = 1;
  for (const Token& t : tokens_) {
    std::fill(next, next + n + 1, 0);
    bool any = false;
    switch (t.kind) {
      case Kind::Literal:
        for (std::size_t j = 0; j < n; ++j) {
          if (cur[j] && name[j] == t.c) any = Set(next[j + 1]);
        }
        break;
      case Kind::AnyOne:
        // One character other than '.', or nothing at a dot or at the end of the name.
        for (std::size_t j = 0; j < n; ++j) {
          if (cur[j]) any = Set(next[name[j] == L'.' ? j : j + 1]);
        }
        if (cur[n]) any = Set(next[n]);
        break;
      case Kind::Star: {
        unsigned char run = 0;
        for (std::size_t j = 0; j <= n; ++j) {
          run |= cur[j];
          next[j] = run;
          any = any || run;
        }
        break;
      }
      case Kind::StarBeforeDot: {
        // Like '*', but the consumed run may not contain the name's last dot.
        unsigned char run = 0;
        for (std::size_t j = 0; j <= n; ++j) {
          run = (lastDot < n && j == lastDot + 1) ? cur[j] : static_cast<unsigned char>(run | cur[j]);
          next[j] = run;
          any = any || run;
        }
        break;
      }
      case Kind::DotOrEnd:
        for (std::size_t j = 0; j < n; ++j) {
          if (cur[j] && name[j] == L'.') any = Set(next[j + 1]);
        }
        if (cur[n]) any = Set(next[n]);
        break;
    }
    if (!any) return false;
    std::swap(cur, next);
  }
  return cur[n] != 0;
}

}  // namespace VormFiles_details

bool VormWildcardMatch(const wchar_t* pattern, const wchar_t* name) {
  if (!pattern || !name) return false;
  return VormFiles_details::Guarded(false, [&] {
    VormFiles_details::WildcardPattern compiled(pattern, false);
    std::wstring folded(name);
    for (wchar_t& c : folded) c = compiled.Fold(c);
    return compiled.MatchFolded(folded.data(), folded.size());
  });
}
