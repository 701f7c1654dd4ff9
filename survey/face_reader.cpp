// The three face readers.
#include <vorm/face_reader.h>

#include <cfloat>
#include <cmath>

namespace VormFaceReader_details {

// Widens the extents by a run of points. Works on local copies so the compiler keeps them
// in registers (the outputs could otherwise alias the points); comparisons with a NaN are
// false, so NaN coordinates change nothing.
void Extend(const HxGePoint3d* points, int count, double& minX, double& minY, double& maxX, double& maxY) {
  double x0 = minX;
  double y0 = minY;
  double x1 = maxX;
  double y1 = maxY;
  for (int i = 0; i < count; ++i) {
    const double x = points[i].x;
    const double y = points[i].y;
    if (x0 > x) x0 = x;
    if (y < y0) y0 = y;
    if (x1 < x) x1 = x;
    if (y > y1) y1 = y;
  }
  minX = x0;
  minY = y0;
  maxX = x1;
  maxY = y1;
}

void Start(double start, double& minX, double& minY, double& maxX, double& maxY) {
  minX = minY = start;
  maxX = maxY = -start;
}

}  // namespace VormFaceReader_details

using namespace VormFaceReader_details;

VormFaceReader::~VormFaceReader() = default;

// ---------------------------------------------------------------------------------------

VormSingleFaceReader::VormSingleFaceReader(const Point3dArray* face) : m_face(face) {}

VormSingleFaceReader::~VormSingleFaceReader() = default;

bool VormSingleFaceReader::GetNextFace(Point3dArray& face) {
  if (m_read) return false;
  if (m_face) {
    face = *m_face;
  } else {
    face.RemoveAll();
  }
  m_read = true;
  return true;
}

void VormSingleFaceReader::Reset() { m_read = false; }

int VormSingleFaceReader::GetNumFaces() { return 1; }

void VormSingleFaceReader::GetExtents(double& minX, double& minY, double& maxX, double& maxY) {
  Start(HUGE_VAL, minX, minY, maxX, maxY);
  if (m_face) Extend(m_face->GetData(), m_face->GetLength(), minX, minY, maxX, maxY);
}

// ---------------------------------------------------------------------------------------

VormMultiTriFaceReader::VormMultiTriFaceReader() : m_points(0, 8) {}

VormMultiTriFaceReader::~VormMultiTriFaceReader() = default;

bool VormMultiTriFaceReader::GetNextFace(Point3dArray& face) {
  if (m_next >= m_points.GetLength() - 2) return false;
  face.RemoveAll();
  face.Append(m_points[m_next]);
  face.Append(m_points[m_next + 1]);
  face.Append(m_points[m_next + 2]);
  m_next += 3;
  return true;
}

void VormMultiTriFaceReader::Reset() { m_next = 0; }

int VormMultiTriFaceReader::GetNumFaces() { return m_points.GetLength() / 3; }

void VormMultiTriFaceReader::GetExtents(double& minX, double& minY, double& maxX, double& maxY) {
  Start(DBL_MAX, minX, minY, maxX, maxY);
  Extend(m_points.GetData(), m_points.GetLength(), minX, minY, maxX, maxY);
}

int VormMultiTriFaceReader::AddFace(const Point3dArray& face) {
  // A triangle needs three corners; reading three from a shorter array would run past it.
  if (face.GetLength() >= 3) {
    const HxGePoint3d a = face[0];
    const HxGePoint3d b = face[1];
    const HxGePoint3d c = face[2];
    m_points.Append(a).Append(b).Append(c);
  }
  return GetNumFaces();
}

// ---------------------------------------------------------------------------------------

VormMultiPolyFaceReader::VormMultiPolyFaceReader() = default;

VormMultiPolyFaceReader::~VormMultiPolyFaceReader() = default;

bool VormMultiPolyFaceReader::GetNextFace(Point3dArray& face) {
  if (m_next >= m_polygons.size()) return false;
  face.RemoveAll();
  face.Append(m_polygons[m_next]);
  ++m_next;
  return true;
}

void VormMultiPolyFaceReader::Reset() { m_next = 0; }

int VormMultiPolyFaceReader::GetNumFaces() { return static_cast<int>(m_polygons.size()); }

void VormMultiPolyFaceReader::GetExtents(double& minX, double& minY, double& maxX, double& maxY) {
  Start(DBL_MAX, minX, minY, maxX, maxY);
  for (const Point3dArray& polygon : m_polygons) {
    Extend(polygon.GetData(), polygon.GetLength(), minX, minY, maxX, maxY);
  }
}

int VormMultiPolyFaceReader::AddFace(const Point3dArray& face) {
  m_polygons.push_back(face);
  return GetNumFaces();
}
