// Uses a path, a walker, a point string and an XML document from the installed library;
// prints what it found and exits 0 when all four answered as expected.
#include <cstdio>
#include <cstring>
#include <cwchar>

#include <vorm/file_trees.h>
#include <vorm/path.h>
#include <vorm/point_string.h>
#include <vorm/xml.h>

int main() {
  int failures = 0;
  const VormPath path(L"/data//survey/site.xml", VormPath::SlashSeparator | VormPath::CanonicalForm);
  const bool pathOk = path.GetExtension().GetText() == L".xml";
  std::printf("path extension %s\n", pathOk ? "ok" : "WRONG");
  failures += pathOk ? 0 : 1;

  VormBFSDirectoryTree folders;
  int count = 0;
  for (folders.Find(L"/", L"*", 0x10); folders.HasMatch() && count < 3; folders.FindNext()) ++count;
  std::printf("walked %d folders\n", count);
  failures += count > 0 ? 0 : 1;

  VormPointString points(L"5,1-3,2");
  points.Normalize(TRUE);
  const bool pointsOk = std::wcscmp(points.GetString(), L"1-3,5") == 0;
  std::printf("points %s\n", pointsOk ? "ok" : "WRONG");
  failures += pointsOk ? 0 : 1;

  VormXml xml;
  const char text[] = "<LandXML><Surfaces><Surface name='a'/><Surface name='b'/></Surfaces></LandXML>";
  const HRESULT loaded =
      VormXml::LoadFromMemory(xml.GetDocument(), reinterpret_cast<const BYTE*>(text), std::strlen(text));
  const LONG surfaces = loaded == 0 ? xml.CountNodes(L"//Surface") : -1;
  std::printf("surfaces %ld\n", static_cast<long>(surfaces));
  failures += surfaces == 2 ? 0 : 1;
  return failures == 0 ? 0 : 1;
}
