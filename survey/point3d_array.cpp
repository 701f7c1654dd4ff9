// Point3dArray: the growable point array of the face and point readers.
#include <vorm/face_reader.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>

// Points are plain data, so storage is malloc'd and grown with realloc, which moves large
// blocks by remapping pages instead of copying them: with the capped growth step a long
// array is reallocated every 2730 points, and copying each time would make filling it
// quadratic. Slots beyond the logical length are never read, so they are left as
// allocated.
static_assert(std::is_trivially_copyable_v<HxGePoint3d> && std::is_trivially_destructible_v<HxGePoint3d>);

namespace {

HxGePoint3d* Allocate(long long count) {
  void* p = std::malloc(static_cast<size_t>(count) * sizeof(HxGePoint3d));
  if (!p) throw std::bad_alloc();
  return static_cast<HxGePoint3d*>(p);
}

}  // namespace

Point3dArray::Point3dArray(int physicalLength, int growLength)
    : m_physical(physicalLength > 0 ? physicalLength : 0), m_grow(growLength > 0 ? growLength : 1) {
  if (m_physical > 0) m_data = Allocate(m_physical);
}

Point3dArray::Point3dArray(const Point3dArray& other)
    : m_physical(other.m_physical), m_logical(other.m_logical), m_grow(other.m_grow) {
  if (m_physical > 0) {
    m_data = Allocate(m_physical);
    if (m_logical > 0) std::memcpy(m_data, other.m_data, static_cast<size_t>(m_logical) * sizeof(HxGePoint3d));
  }
}

Point3dArray& Point3dArray::operator=(const Point3dArray& other) {
  if (this == &other) return *this;
  if (m_physical < other.m_logical) {
    HxGePoint3d* data = Allocate(other.m_logical);
    std::free(m_data);
    m_data = data;
    m_physical = other.m_logical;
  }
  if (other.m_logical > 0)
    std::memcpy(m_data, other.m_data, static_cast<size_t>(other.m_logical) * sizeof(HxGePoint3d));
  m_logical = other.m_logical;
  return *this;
}

Point3dArray::Point3dArray(Point3dArray&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)),
      m_physical(std::exchange(other.m_physical, 0)),
      m_logical(std::exchange(other.m_logical, 0)),
      m_grow(other.m_grow) {}

Point3dArray& Point3dArray::operator=(Point3dArray&& other) noexcept {
  if (this != &other) {
    std::free(m_data);
    m_data = std::exchange(other.m_data, nullptr);
    m_physical = std::exchange(other.m_physical, 0);
    m_logical = std::exchange(other.m_logical, 0);
    m_grow = other.m_grow;
  }
  return *this;
}

Point3dArray::~Point3dArray() { std::free(m_data); }

HxGePoint3d& Point3dArray::operator[](int i) {
  if (i < 0 || i >= m_logical) throw std::out_of_range("Point3dArray index out of range");
  return m_data[i];
}

const HxGePoint3d& Point3dArray::operator[](int i) const {
  if (i < 0 || i >= m_logical) throw std::out_of_range("Point3dArray index out of range");
  return m_data[i];
}

Point3dArray& Point3dArray::RemoveAll() {
  m_logical = 0;
  return *this;
}

void Point3dArray::Reserve(int needed) {
  if (needed <= m_physical) return;
  // Grow by the grow length or by the points in use, whichever is larger, but by no
  // more than kMaxGrowStep points for the latter.
  const long long step = std::max<long long>(m_grow, std::min(m_logical, kMaxGrowStep));
  const long long target = std::max<long long>(needed, m_physical + step);
  if (target > INT_MAX) throw std::length_error("Point3dArray too long");
  void* data = std::realloc(m_data, static_cast<size_t>(target) * sizeof(HxGePoint3d));
  if (!data) throw std::bad_alloc();
  m_data = static_cast<HxGePoint3d*>(data);
  m_physical = static_cast<int>(target);
}

Point3dArray& Point3dArray::Append(const HxGePoint3d& point) {
  if (m_logical == m_physical) {
    if (m_logical == INT_MAX) throw std::length_error("Point3dArray too long");
    const HxGePoint3d copy = point;  // `point` may live in the storage about to move
    Reserve(m_logical + 1);
    m_data[m_logical++] = copy;
  } else {
    m_data[m_logical++] = point;
  }
  return *this;
}

Point3dArray& Point3dArray::Append(const Point3dArray& other) {
  const int count = other.m_logical;
  if (count == 0) return *this;
  if (count > INT_MAX - m_logical) throw std::length_error("Point3dArray too long");
  if (&other == this) {
    Reserve(m_logical + count);
    std::memcpy(m_data + m_logical, m_data, static_cast<size_t>(count) * sizeof(HxGePoint3d));
  } else {
    Reserve(m_logical + count);
    std::memcpy(m_data + m_logical, other.m_data, static_cast<size_t>(count) * sizeof(HxGePoint3d));
  }
  m_logical += count;
  return *this;
}
