#pragma once
// A stable sort that finds the runs already in order, extends short ones by insertion, and merges
// neighbouring runs while keeping their lengths balanced. With a comparison that is not transitive
// (the reading order of words on drifting rows) the order produced depends on the algorithm, so
// this one is fixed: insertion sort up to 20 elements; above that, runs of at least 32 to 64
// elements (the whole list below 64), a strictly descending run reversed, and the top runs merged
// until each is longer than the two after it together and the last but one is longer than the last.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <utility>
#include <vector>

namespace halcy::RunMergeSort {

namespace detail {

inline constexpr std::size_t insertionOnlyUpTo = 20;
inline constexpr int minimumRunBits = 6;

// Sorts [begin, end) by inserting each element from `sortedEnd` on into the sorted part before it.
template <class T, class Less>
void insertion(std::vector<T>& items, std::size_t begin, std::size_t sortedEnd, std::size_t end,
               Less& less) {
  for (; sortedEnd < end; ++sortedEnd) {
    for (std::size_t i = sortedEnd; i != begin && less(items[i], items[i - 1]); --i) {
      std::swap(items[i], items[i - 1]);
    }
  }
}

// The end of the run starting at `start`, and whether it is strictly descending.
template <class T, class Less>
std::pair<std::size_t, bool> nextRun(const std::vector<T>& items, std::size_t start, Less& less) {
  std::size_t current = start + 1;
  if (current >= items.size()) return {current, false};
  const bool descending = less(items[current], items[start]);
  do {
    ++current;
  } while (current < items.size() && descending == less(items[current], items[current - 1]));
  return {current, descending};
}

inline std::size_t minimumRunLength(std::size_t count) {
  if (count < (std::size_t{1} << minimumRunBits)) return count;
  const int offset = std::bit_width(count) - minimumRunBits;
  const std::size_t mask = (std::size_t{1} << offset) - 1;
  return (count >> offset) + ((count & mask) == 0 ? 0 : 1);
}

// Merges the sorted [low, mid) and [mid, high) through a buffer holding the shorter one; on ties
// the element of the lower run comes first.
template <class T, class Less>
void merge(std::vector<T>& items, std::size_t low, std::size_t mid, std::size_t high,
           std::vector<T>& buffer, Less& less) {
  buffer.clear();
  if (mid - low < high - mid) {
    for (std::size_t i = low; i < mid; ++i) buffer.push_back(std::move(items[i]));
    std::size_t taken = 0;
    std::size_t source = mid;
    std::size_t destination = low;
    while (taken < buffer.size() && source < high) {
      if (less(items[source], buffer[taken])) {
        items[destination++] = std::move(items[source++]);
      } else {
        items[destination++] = std::move(buffer[taken++]);
      }
    }
    while (taken < buffer.size()) items[destination++] = std::move(buffer[taken++]);
    return;
  }
  for (std::size_t i = mid; i < high; ++i) buffer.push_back(std::move(items[i]));
  std::size_t left = buffer.size();
  std::size_t source = mid;
  std::size_t destination = high;
  while (left > 0 && source > low) {
    --destination;
    if (less(buffer[left - 1], items[source - 1])) {
      items[destination] = std::move(items[--source]);
    } else {
      items[destination] = std::move(buffer[--left]);
    }
  }
  for (std::size_t i = 0; i < left; ++i) items[source + i] = std::move(buffer[i]);
}

struct Run {
  std::size_t begin;
  std::size_t end;
  std::size_t length() const { return end - begin; }
};

// Merges runs[at - 1] and runs[at].
template <class T, class Less>
void mergeRuns(std::vector<T>& items, std::vector<Run>& runs, std::size_t at,
               std::vector<T>& buffer, Less& less) {
  merge(items, runs[at - 1].begin, runs[at].begin, runs[at].end, buffer, less);
  runs[at - 1].end = runs[at].end;
  runs.erase(runs.begin() + static_cast<std::ptrdiff_t>(at));
}

template <class T, class Less>
void mergeTopRuns(std::vector<T>& items, std::vector<Run>& runs, std::vector<T>& buffer,
                  Less& less) {
  while (runs.size() > 1) {
    std::size_t last = runs.size() - 1;
    const bool wBroken =
        last >= 3 && runs[last - 3].length() <= runs[last - 2].length() + runs[last - 1].length();
    const bool xBroken =
        last >= 2 && runs[last - 2].length() <= runs[last - 1].length() + runs[last].length();
    if (wBroken || xBroken) {
      // The middle run of the top three goes with the shorter of its neighbours.
      if (runs[last - 2].length() < runs[last].length()) --last;
    } else if (runs[last - 1].length() > runs[last].length()) {
      return;
    }
    mergeRuns(items, runs, last, buffer, less);
  }
}

}  // namespace detail

template <class T, class Less>
void sort(std::vector<T>& items, Less less) {
  using namespace detail;
  const std::size_t count = items.size();
  if (count < 2) return;
  if (count <= insertionOnlyUpTo) {
    insertion(items, 0, 1, count, less);
    return;
  }
  const std::size_t minimumRun = minimumRunLength(count);
  std::vector<T> buffer;
  buffer.reserve(count / 2 + 1);
  std::vector<Run> runs;
  for (std::size_t start = 0; start < count;) {
    auto [end, descending] = nextRun(items, start, less);
    if (descending) {
      std::reverse(items.begin() + static_cast<std::ptrdiff_t>(start),
                   items.begin() + static_cast<std::ptrdiff_t>(end));
    }
    if (end < count && end - start < minimumRun) {
      const std::size_t extended = std::min(count, start + minimumRun);
      insertion(items, start, end, extended, less);
      end = extended;
    }
    runs.push_back({start, end});
    mergeTopRuns(items, runs, buffer, less);
    start = end;
  }
  while (runs.size() > 1) mergeRuns(items, runs, runs.size() - 1, buffer, less);
}

}  // namespace halcy::RunMergeSort
