// The two point readers.
#include <vorm/point_reader.h>

VormPointReader::~VormPointReader() = default;

VormSinglePointReader::VormSinglePointReader(double x, double y, double z) : m_x(x), m_y(y), m_z(z) {}

VormSinglePointReader::~VormSinglePointReader() = default;

bool VormSinglePointReader::GetNextPoint(double& x, double& y, double& z, bool* atEnd) {
  const bool delivered = !m_read;
  if (delivered) {
    x = m_x;
    y = m_y;
    z = m_z;
    m_read = true;
  }
  if (atEnd) *atEnd = !delivered;
  return delivered;
}

void VormSinglePointReader::Reset() { m_read = false; }

int VormSinglePointReader::GetNumPoints() { return 1; }

VormArrayPointReader::VormArrayPointReader(const Point3dArray* points) : m_points(points) {}

VormArrayPointReader::~VormArrayPointReader() = default;

bool VormArrayPointReader::GetNextPoint(double& x, double& y, double& z, bool* atEnd) {
  const bool delivered = m_points && m_next < m_points->GetLength();
  if (delivered) {
    const HxGePoint3d& p = (*m_points)[m_next++];
    x = p.x;
    y = p.y;
    z = p.z;
  }
  if (atEnd) *atEnd = !delivered;
  return delivered;
}

void VormArrayPointReader::Reset() { m_next = 0; }

int VormArrayPointReader::GetNumPoints() { return m_points ? m_points->GetLength() : 0; }
