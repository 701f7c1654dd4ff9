// Point3dArray: the growable point array of the face and point readers.
#include <vorm/face_reader.h>

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <utility>

Point3dArray::Point3dArray(int physicalLength, int growLength)
    : m_physical(physicalLength > 0 ? physicalLength : 0), m_grow(growLength > 0 ? growLength : 1) {
  if (m_physical > 0) m_data = new HxGePoint3d[static_cast<size_t>(m_physical)];
}

Point3dArray::Point3dArray(const Point3dArray& other)
    : m_physical(other.m_physical), m_logical(other.m_logical), m_grow(other.m_grow) {
  if (m_physical > 0) {
    m_data = new HxGePoint3d[static_cast<size_t>(m_physical)];
    std::copy(other.m_data, other.m_data + m_logical, m_data);
  }
}

Point3dArray& Point3dArray::operator=(const Point3dArray& other) {
  if (this == &other) return *this;
  if (m_physical < other.m_logical) {
    auto* data = new HxGePoint3d[static_cast<size_t>(other.m_logical)];
    delete[] m_data;
    m_data = data;
    m_physical = other.m_logical;
  }
  if (other.m_logical > 0) std::copy(other.m_data, other.m_data + other.m_logical, m_data);
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
    delete[] m_data;
    m_data = std::exchange(other.m_data, nullptr);
    m_physical = std::exchange(other.m_physical, 0);
    m_logical = std::exchange(other.m_logical, 0);
    m_grow = other.m_grow;
  }
  return *this;
}

Point3dArray::~Point3dArray() {
  delete[] m_data;
}

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
  auto* data = new HxGePoint3d[static_cast<size_t>(target)];
  std::copy(m_data, m_data + m_logical, data);
  delete[] m_data;
  m_data = data;
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
    std::copy(m_data, m_data + count, m_data + m_logical);
  } else {
    Reserve(m_logical + count);
    std::copy(other.m_data, other.m_data + count, m_data + m_logical);
  }
  m_logical += count;
  return *this;
}
