// Face readers: hand the faces of a surface (triangles or polygons, each a list of 3D
// points) to a consumer one at a time, and report their number and plan extents.
//
//   VormMultiTriFaceReader tri;
//   tri.AddFace(triangle);                       // first three points of the array
//   Point3dArray face;
//   for (tri.Reset(); tri.GetNextFace(face);) Draw(face);
//
// Also the point type and the growable point array that the readers and the point
// readers (point_reader.h) exchange.
#pragma once

#include <vector>

#include <vorm/export.h>

// A 3D point: three doubles x, y, z in this order; zero when default-constructed.
// A plain value, safe to copy between threads.
struct HxGePoint3d {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;

  constexpr HxGePoint3d() = default;
  constexpr HxGePoint3d(double px, double py, double pz) : x(px), y(py), z(pz) {}
  friend constexpr bool operator==(const HxGePoint3d& a, const HxGePoint3d& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
  }
};

// A growable array of points with a logical length (points in use) inside a physical one
// (slots allocated). Appending to a full array grows it by the larger of the grow length
// and the logical length, the latter counted up to 2730 points (65,520 bytes):
//   physical 0, grow 8:   appends grow it to 8, 16, 32, 64, ... 2048, 4096, 6826, 9556
// A copy allocates the source's physical length; an assignment reallocates only when the
// target's physical length is below the source's logical length, and keeps its own grow
// length. Indexes outside 0..GetLength()-1 throw std::out_of_range; memory exhaustion
// throws std::bad_alloc and a length beyond INT_MAX std::length_error, as the standard
// containers do. One thread at a time; owns its points.
class VORM_API Point3dArray {
 public:
  static constexpr int kMaxGrowStep = 2730;

  // A grow length below 1 is taken as 1.
  explicit Point3dArray(int physicalLength = 0, int growLength = 8);
  Point3dArray(const Point3dArray& other);
  Point3dArray& operator=(const Point3dArray& other);
  // Moves take the points and leave the source empty with no storage.
  Point3dArray(Point3dArray&& other) noexcept;
  Point3dArray& operator=(Point3dArray&& other) noexcept;
  ~Point3dArray();

  int GetLength() const { return m_logical; }
  int GetPhysicalLength() const { return m_physical; }
  int GetGrowLength() const { return m_grow; }
  bool IsEmpty() const { return m_logical == 0; }

  HxGePoint3d& operator[](int i);
  const HxGePoint3d& operator[](int i) const;
  const HxGePoint3d& GetAt(int i) const { return (*this)[i]; }
  void SetAt(int i, const HxGePoint3d& point) { (*this)[i] = point; }
  // The points in use, contiguous; null while nothing is allocated.
  const HxGePoint3d* GetData() const { return m_data; }

  // Logical length 0; the storage stays.
  Point3dArray& RemoveAll();
  Point3dArray& Append(const HxGePoint3d& point);
  // Appends every point of `other`; appending an array to itself doubles it.
  Point3dArray& Append(const Point3dArray& other);

 private:
  // Makes room for `needed` points, growing by the rule above at least.
  void Reserve(int needed);

  HxGePoint3d* m_data = nullptr;  // malloc'd room for m_physical points
  int m_physical = 0;
  int m_logical = 0;
  int m_grow = 8;
};

// A source of faces. Implementations belong to one thread at a time.
class VORM_API VormFaceReader {
 public:
  // Replaces `face` with the next face; false at the end, leaving `face` untouched.
  virtual bool GetNextFace(Point3dArray& face) = 0;
  // The next GetNextFace starts again with the first face.
  virtual void Reset() = 0;
  virtual int GetNumFaces() = 0;
  // Plan extents (x and y) of every point of every face. A coordinate that is NaN never
  // changes them. With no points the outputs keep their start values, which each reader
  // states. Points (0,0), (2,-1), (1,3) give min (0,-1), max (2,3).
  virtual void GetExtents(double& minX, double& minY, double& maxX, double& maxY) = 0;
  virtual ~VormFaceReader();
};

// Delivers one face, the caller's array, read in place: the array must outlive the
// reader, which never changes or frees it. A null array reads as an empty one.
// GetNumFaces is always 1; with no points GetExtents gives (+inf, +inf, -inf, -inf).
// One thread at a time.
class VORM_API VormSingleFaceReader : public VormFaceReader {
 public:
  explicit VormSingleFaceReader(const Point3dArray* face);
  bool GetNextFace(Point3dArray& face) override;
  void Reset() override;
  int GetNumFaces() override;
  void GetExtents(double& minX, double& minY, double& maxX, double& maxY) override;
  ~VormSingleFaceReader() override;

 private:
  const Point3dArray* m_face;
  bool m_read = false;
};

// Triangles kept three corners at a time in one owned array. With no points GetExtents
// gives (DBL_MAX, DBL_MAX, -DBL_MAX, -DBL_MAX). Faces added while reading are delivered
// when reading reaches them. One thread at a time; owns its points.
class VORM_API VormMultiTriFaceReader : public VormFaceReader {
 public:
  VormMultiTriFaceReader();
  bool GetNextFace(Point3dArray& face) override;
  void Reset() override;
  int GetNumFaces() override;
  void GetExtents(double& minX, double& minY, double& maxX, double& maxY) override;
  ~VormMultiTriFaceReader() override;
  // Stores the first three points of `face` (any further ones are ignored) and returns
  // the number of faces. An array of fewer than three points adds nothing.
  virtual int AddFace(const Point3dArray& face);

 private:
  Point3dArray m_points;
  int m_next = 0;  // index of the next face's first corner
};

// Polygons kept as copies, one array each. With no points GetExtents gives
// (DBL_MAX, DBL_MAX, -DBL_MAX, -DBL_MAX). One thread at a time; owns its polygons.
class VORM_API VormMultiPolyFaceReader : public VormFaceReader {
 public:
  VormMultiPolyFaceReader();
  bool GetNextFace(Point3dArray& face) override;
  void Reset() override;
  int GetNumFaces() override;
  void GetExtents(double& minX, double& minY, double& maxX, double& maxY) override;
  ~VormMultiPolyFaceReader() override;
  // Adds a copy of `face` as a new polygon (empty ones too); returns the number of faces.
  virtual int AddFace(const Point3dArray& face);

 private:
  std::vector<Point3dArray> m_polygons;
  unsigned m_next = 0;
};
