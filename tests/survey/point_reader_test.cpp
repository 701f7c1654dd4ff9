#include <gtest/gtest.h>
#include <vorm/point_reader.h>

namespace {

TEST(VormSinglePointReader, DeliversItsPointOncePerReset) {
  VormSinglePointReader r(1, 2, 3);
  EXPECT_EQ(r.GetNumPoints(), 1);
  double x = 0, y = 0, z = 0;
  bool atEnd = true;
  ASSERT_TRUE(r.GetNextPoint(x, y, z, &atEnd));
  EXPECT_FALSE(atEnd);
  EXPECT_EQ(x, 1.0);
  EXPECT_EQ(y, 2.0);
  EXPECT_EQ(z, 3.0);
  x = y = z = 9;
  EXPECT_FALSE(r.GetNextPoint(x, y, z, &atEnd));
  EXPECT_TRUE(atEnd);
  EXPECT_EQ(x, 9.0);
  EXPECT_EQ(z, 9.0);
  r.Reset();
  EXPECT_TRUE(r.GetNextPoint(x, y, z, nullptr));
  EXPECT_EQ(y, 2.0);
}

TEST(VormArrayPointReader, ReadsTheArrayAsItIsAtEachCall) {
  Point3dArray points;
  VormArrayPointReader r(&points);
  double x = 7, y = 7, z = 7;
  bool atEnd = false;
  EXPECT_EQ(r.GetNumPoints(), 0);
  EXPECT_FALSE(r.GetNextPoint(x, y, z, &atEnd));
  EXPECT_TRUE(atEnd);
  EXPECT_EQ(x, 7.0);

  points.Append(HxGePoint3d(1, 2, 3)).Append(HxGePoint3d(4, 5, 6));
  EXPECT_EQ(r.GetNumPoints(), 2);
  ASSERT_TRUE(r.GetNextPoint(x, y, z, &atEnd));  // reads on from where it stopped
  EXPECT_FALSE(atEnd);
  EXPECT_EQ(z, 3.0);
  points.Append(HxGePoint3d(7, 8, 9));
  ASSERT_TRUE(r.GetNextPoint(x, y, z, nullptr));
  ASSERT_TRUE(r.GetNextPoint(x, y, z, nullptr));
  EXPECT_EQ(x, 7.0);
  EXPECT_FALSE(r.GetNextPoint(x, y, z, nullptr));
  r.Reset();
  ASSERT_TRUE(r.GetNextPoint(x, y, z, nullptr));
  EXPECT_EQ(x, 1.0);

  VormArrayPointReader none(nullptr);
  EXPECT_EQ(none.GetNumPoints(), 0);
  EXPECT_FALSE(none.GetNextPoint(x, y, z, &atEnd));
  EXPECT_TRUE(atEnd);
}

}  // namespace
