// Point readers: hand 3D points to a consumer one at a time, the point counterpart of the
// face readers.
//
//   VormArrayPointReader reader(&points);
//   double x, y, z;
//   while (reader.GetNextPoint(x, y, z, nullptr)) Use(x, y, z);
#pragma once

#include <vorm/export.h>
#include <vorm/face_reader.h>

// A source of points. Implementations belong to one thread at a time.
class VORM_API VormPointReader {
 public:
  // Writes the next point and returns true; at the end returns false and leaves x, y, z
  // untouched. When atEnd is not null it receives the negation of the result.
  virtual bool GetNextPoint(double& x, double& y, double& z, bool* atEnd) = 0;
  // The next GetNextPoint starts again with the first point.
  virtual void Reset() = 0;
  virtual int GetNumPoints() = 0;
  virtual ~VormPointReader();
};

// Delivers one point given by its coordinates; GetNumPoints is 1. One thread at a time.
//   VormSinglePointReader r(1, 2, 3): (1, 2, 3) => true, then false until Reset()
class VORM_API VormSinglePointReader : public VormPointReader {
 public:
  VormSinglePointReader(double x, double y, double z);
  bool GetNextPoint(double& x, double& y, double& z, bool* atEnd) override;
  void Reset() override;
  int GetNumPoints() override;
  ~VormSinglePointReader() override;

 private:
  double m_x;
  double m_y;
  double m_z;
  bool m_read = false;
};

// Delivers the points of the caller's array in order, reading the array as it is at each
// call: points appended before the end is reached are delivered too. The array must
// outlive the reader, which never changes or frees it; a null array reads as an empty
// one. One thread at a time.
class VORM_API VormArrayPointReader : public VormPointReader {
 public:
  explicit VormArrayPointReader(const Point3dArray* points);
  bool GetNextPoint(double& x, double& y, double& z, bool* atEnd) override;
  void Reset() override;
  // The array's logical length.
  int GetNumPoints() override;
  ~VormArrayPointReader() override;

 private:
  int m_next = 0;
  const Point3dArray* m_points;
};
