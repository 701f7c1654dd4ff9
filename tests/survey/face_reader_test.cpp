#include <array>
#include <cfloat>
#include <cmath>
#include <limits>
#include <stdexcept>

#include <gtest/gtest.h>
#include <vorm/face_reader.h>

namespace {

Point3dArray Points(std::initializer_list<HxGePoint3d> points) {
  Point3dArray a;
  for (const HxGePoint3d& p : points) a.Append(p);
  return a;
}

using Extents = std::array<double, 4>;  // min x, min y, max x, max y

Extents Of(VormFaceReader& r) {
  Extents e{1, 1, 1, 1};
  r.GetExtents(e[0], e[1], e[2], e[3]);
  return e;
}

TEST(Point3dArray, GrowsByTheLargerOfGrowLengthAndLengthCapped) {
  const struct {
    int appended, physical;
  } steps[] = {{1, 8}, {8, 8}, {9, 16}, {17, 32}, {2049, 4096}, {4097, 6826}, {6827, 9556}};
  Point3dArray a;
  EXPECT_EQ(a.GetPhysicalLength(), 0);
  int done = 0;
  for (size_t i = 0; i < std::size(steps); ++i) {
    for (; done < steps[i].appended; ++done) a.Append(HxGePoint3d(done, 0, 0));
    EXPECT_EQ(a.GetPhysicalLength(), steps[i].physical) << "step " << i;
  }
  EXPECT_EQ(a.GetLength(), 6827);
  EXPECT_EQ(a[6826].x, 6826.0);

  Point3dArray one(0, 0);  // grow length 0 is taken as 1
  one.Append(HxGePoint3d());
  EXPECT_EQ(one.GetPhysicalLength(), 1);
}

TEST(Point3dArray, CopiesAssignmentsAndAppends) {
  Point3dArray a(100, 8);
  a.Append(HxGePoint3d(1, 2, 3)).Append(HxGePoint3d(4, 5, 6));
  EXPECT_EQ(Point3dArray(a).GetPhysicalLength(), 100);  // a copy keeps the physical length
  Point3dArray small(1, 8), big(50, 8);
  small = a;  // too small: reallocated to the source's length
  big = a;    // large enough: keeps its storage
  EXPECT_EQ(small.GetPhysicalLength(), 2);
  EXPECT_EQ(big.GetPhysicalLength(), 50);
  EXPECT_EQ(big.GetAt(1), HxGePoint3d(4, 5, 6));

  a.Append(a);
  a.Append(a[0]);  // a point of the array itself, while it grows
  ASSERT_EQ(a.GetLength(), 5);
  EXPECT_EQ(a[3], HxGePoint3d(4, 5, 6));
  EXPECT_EQ(a[4], HxGePoint3d(1, 2, 3));
  a.RemoveAll();
  EXPECT_EQ(a.GetPhysicalLength(), 100);
  EXPECT_THROW(a[0], std::out_of_range);
}

TEST(VormFaceReaders, ExtentsOfTheSamePoints) {
  const Point3dArray tri = Points({{0, 0, 9}, {2, -1, 9}, {1, 3, -9}});
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Point3dArray withNan = Points({{0, 0, 0}, {nan, nan, 0}, {2, -1, 0}, {1, 3, 0}});
  VormSingleFaceReader single(&tri);
  VormSingleFaceReader singleNan(&withNan);
  VormMultiTriFaceReader multiTri;
  multiTri.AddFace(tri);
  VormMultiPolyFaceReader poly;
  poly.AddFace(Points({{0, 0, 0}, {2, -1, 0}}));
  poly.AddFace(Points({{1, 3, 0}}));
  const Extents expected{0, -1, 2, 3};
  EXPECT_EQ(Of(single), expected);
  EXPECT_EQ(Of(singleNan), expected);
  EXPECT_EQ(Of(multiTri), expected);
  EXPECT_EQ(Of(poly), expected);

  const Point3dArray empty;
  VormSingleFaceReader emptySingle(&empty);
  VormMultiTriFaceReader emptyTri;
  VormMultiPolyFaceReader emptyPoly;
  EXPECT_EQ(Of(emptySingle), (Extents{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL}));
  EXPECT_EQ(Of(emptyTri), (Extents{DBL_MAX, DBL_MAX, -DBL_MAX, -DBL_MAX}));
  EXPECT_EQ(Of(emptyPoly), (Extents{DBL_MAX, DBL_MAX, -DBL_MAX, -DBL_MAX}));
}

TEST(VormSingleFaceReader, DeliversItsFaceOncePerReset) {
  const Point3dArray input = Points({{1, 2, 3}, {4, 5, 6}});
  VormSingleFaceReader r(&input);
  EXPECT_EQ(r.GetNumFaces(), 1);
  Point3dArray face = Points({{7, 7, 7}});
  ASSERT_TRUE(r.GetNextFace(face));
  EXPECT_EQ(face.GetLength(), 2);
  Point3dArray untouched = Points({{7, 7, 7}});
  EXPECT_FALSE(r.GetNextFace(untouched));
  EXPECT_EQ(untouched[0], HxGePoint3d(7, 7, 7));
  r.Reset();
  EXPECT_TRUE(r.GetNextFace(face));

  const Point3dArray empty;
  for (const Point3dArray* source : {&empty, static_cast<const Point3dArray*>(nullptr)}) {
    VormSingleFaceReader e(source);
    EXPECT_EQ(e.GetNumFaces(), 1);
    EXPECT_TRUE(e.GetNextFace(face));
    EXPECT_EQ(face.GetLength(), 0);
  }
}

TEST(VormMultiTriFaceReader, KeepsThreeCornersPerFace) {
  VormMultiTriFaceReader r;
  EXPECT_EQ(r.GetNumFaces(), 0);
  Point3dArray face = Points({{9, 9, 9}, {9, 9, 9}, {9, 9, 9}, {9, 9, 9}});
  EXPECT_FALSE(r.GetNextFace(face));
  EXPECT_EQ(r.AddFace(Points({{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 0}})), 1);
  EXPECT_EQ(r.AddFace(Points({{6, 0, 0}, {7, 0, 0}})), 1);  // too short: nothing added
  EXPECT_EQ(r.AddFace(Point3dArray()), 1);
  ASSERT_TRUE(r.GetNextFace(face));
  EXPECT_EQ(face.GetLength(), 3);  // replaced, not appended to
  EXPECT_EQ(face[2], HxGePoint3d(3, 0, 0));
  EXPECT_FALSE(r.GetNextFace(face));
  EXPECT_EQ(r.AddFace(Points({{6, 0, 0}, {7, 0, 0}, {8, 0, 0}})), 2);
  ASSERT_TRUE(r.GetNextFace(face));  // added after reading began: still delivered
  EXPECT_EQ(face[0], HxGePoint3d(6, 0, 0));
  r.Reset();
  int faces = 0;
  while (r.GetNextFace(face)) ++faces;
  EXPECT_EQ(faces, 2);
}

TEST(VormMultiPolyFaceReader, KeepsCopiesOfItsPolygons) {
  VormMultiPolyFaceReader r;
  Point3dArray square = Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
  EXPECT_EQ(r.AddFace(square), 1);
  EXPECT_EQ(r.AddFace(Point3dArray()), 2);
  square.RemoveAll();  // the reader holds its own copy
  Point3dArray face = Points({{9, 9, 9}, {9, 9, 9}, {9, 9, 9}, {9, 9, 9}, {9, 9, 9}});
  ASSERT_TRUE(r.GetNextFace(face));
  EXPECT_EQ(face.GetLength(), 4);
  EXPECT_EQ(face[2], HxGePoint3d(1, 1, 0));
  ASSERT_TRUE(r.GetNextFace(face));
  EXPECT_EQ(face.GetLength(), 0);
  EXPECT_FALSE(r.GetNextFace(face));
  r.Reset();
  EXPECT_TRUE(r.GetNextFace(face));
  EXPECT_EQ(r.GetNumFaces(), 2);
}

}  // namespace
