// vorm survey report: what a folder of LandXML files holds, surface by surface.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include <vorm/face_reader.h>
#include <vorm/file_trees.h>
#include <vorm/platform/files.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/text.h>
#include <vorm/point_string.h>

#include "cli.h"
#include "commands.h"
#include "xml_load.h"

namespace vorm_cli {

namespace {

struct Surface {
  std::string file, name, points;  // points: the point numbers as a normalised point string
  long pointCount = 0, faceCount = 0;
  bool hasExtents = false;
  double minX = 0, minY = 0, maxX = 0, maxY = 0;
};

struct FileRow {
  std::string file;
  bool landXml = true;
  long surfaces = 0, alignments = 0, cgPoints = 0;
  bool failed = false;
  ParseProblem problem;
};

LONG Count(IXMLDOMNodePtr context, const wchar_t* path) { return context->selectNodes(_bstr_t(path))->Getlength(); }

// A P element's coordinates: LandXML writes northing, easting, elevation.
bool ReadPoint(const std::wstring& text, HxGePoint3d& point) {
  double n = 0, e = 0, z = 0;
  const int read = std::swscanf(text.c_str(), L"%lf %lf %lf", &n, &e, &z);
  if (read < 2) return false;
  point = HxGePoint3d(e, n, read == 3 ? z : 0.0);
  return true;
}

// Points, faces, plan extents (from the faces, through a triangle face reader) and point
// numbers of one Surface element.
Surface ReadSurface(const std::string& file, IXMLDOMNodePtr node) {
  Surface surface;
  surface.file = file;
  surface.name = VormToUtf8(VormXml::GetString(node, L"@name").GetString());
  std::map<std::wstring, HxGePoint3d> points;
  VormSortedPointString numbers;
  IXMLDOMNodeListPtr pnts = node->selectNodes(_bstr_t(L"Definition/Pnts/P"));
  surface.pointCount = pnts->Getlength();
  for (LONG i = 0; i < surface.pointCount; ++i) {
    IXMLDOMNodePtr p = pnts->Getitem(i);
    const CString id = VormXml::GetString(p, L"@id");
    HxGePoint3d point;
    if (ReadPoint(static_cast<const wchar_t*>(p->Gettext()), point)) points[id.GetString()] = point;
    numbers.AddPoint(id.GetString());
  }
  numbers.BuildString();
  surface.points = VormToUtf8(numbers.GetString());

  VormMultiTriFaceReader faces;
  IXMLDOMNodeListPtr fs = node->selectNodes(_bstr_t(L"Definition/Faces/F"));
  surface.faceCount = fs->Getlength();
  for (LONG i = 0; i < surface.faceCount; ++i) {
    wchar_t a[64] = {}, b[64] = {}, c[64] = {};
    const std::wstring text = static_cast<const wchar_t*>(fs->Getitem(i)->Gettext());
    if (std::swscanf(text.c_str(), L"%63ls %63ls %63ls", a, b, c) != 3) continue;
    Point3dArray corners;
    for (const wchar_t* id : {a, b, c}) {
      const auto it = points.find(id);
      if (it != points.end()) corners.Append(it->second);
    }
    faces.AddFace(corners);  // a face with a corner that names no point adds nothing
  }
  if (faces.GetNumFaces() > 0) {
    faces.GetExtents(surface.minX, surface.minY, surface.maxX, surface.maxY);
    surface.hasExtents = std::isfinite(surface.minX) && surface.minX <= surface.maxX;
  }
  return surface;
}

std::string Extents(const Surface& s) {
  if (!s.hasExtents) return "-";
  char text[160];
  std::snprintf(text, sizeof text, "%.3f,%.3f .. %.3f,%.3f", s.minX, s.minY, s.maxX, s.maxY);
  return text;
}

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (const unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// Prints rows of cells in columns as wide as their widest cell; the last column is not
// padded, columns listed in `right` are aligned to the right.
void PrintColumns(const std::vector<std::vector<std::string>>& rows, const std::vector<bool>& right) {
  std::vector<size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      const std::string pad(widths[i] - row[i].size(), ' ');
      const bool last = i + 1 == row.size();
      line += i < right.size() && right[i] ? pad + row[i] : row[i] + (last ? "" : pad);
      if (!last) line += "  ";
    }
    std::printf("%s\n", line.c_str());
  }
}

void PrintTable(const std::vector<Surface>& surfaces, const std::vector<FileRow>& files) {
  std::vector<std::vector<std::string>> rows{
      {"FILE", "SURFACE", "POINTS", "FACES", "PLAN EXTENTS (min x,y .. max x,y)", "POINT NUMBERS"}};
  for (const Surface& s : surfaces) {
    rows.push_back({s.file, s.name, std::to_string(s.pointCount), std::to_string(s.faceCount), Extents(s), s.points});
  }
  PrintColumns(rows, {false, false, true, true, false, false});
  std::printf("\n");
  rows = {{"FILE", "SURFACES", "ALIGNMENTS", "CGPOINTS", "STATUS"}};
  for (const FileRow& f : files) {
    if (f.failed) {
      rows.push_back({f.file, "-", "-", "-", "error " + Describe("", f.problem).substr(2)});
    } else {
      rows.push_back({f.file, std::to_string(f.surfaces), std::to_string(f.alignments), std::to_string(f.cgPoints),
                      f.landXml ? "ok" : "not LandXML"});
    }
  }
  PrintColumns(rows, {false, true, true, true, false});
}

void PrintJson(const std::vector<Surface>& surfaces, const std::vector<FileRow>& files) {
  std::printf("{\"surfaces\": [");
  for (size_t i = 0; i < surfaces.size(); ++i) {
    const Surface& s = surfaces[i];
    std::printf("%s\n  {\"file\": %s, \"surface\": %s, \"points\": %ld, \"faces\": %ld, \"extents\": ", i ? "," : "",
                Json(s.file).c_str(), Json(s.name).c_str(), s.pointCount, s.faceCount);
    if (s.hasExtents) {
      std::printf("{\"minX\": %.17g, \"minY\": %.17g, \"maxX\": %.17g, \"maxY\": %.17g}", s.minX, s.minY, s.maxX,
                  s.maxY);
    } else {
      std::printf("null");
    }
    std::printf(", \"pointNumbers\": %s}", Json(s.points).c_str());
  }
  std::printf("\n],\n\"files\": [");
  for (size_t i = 0; i < files.size(); ++i) {
    const FileRow& f = files[i];
    std::printf("%s\n  {\"file\": %s, ", i ? "," : "", Json(f.file).c_str());
    if (f.failed) {
      std::printf("\"error\": {\"line\": %ld, \"column\": %ld, \"reason\": %s}}", f.problem.line, f.problem.column,
                  Json(f.problem.reason).c_str());
    } else {
      std::printf("\"landxml\": %s, \"surfaces\": %ld, \"alignments\": %ld, \"cgpoints\": %ld, \"error\": null}",
                  f.landXml ? "true" : "false", f.surfaces, f.alignments, f.cgPoints);
    }
  }
  std::printf("\n]}\n");
}

}  // namespace

int SurveyCommand(const Words& words) {
  const Args args = Parse(words, {"--json"}, {});
  if (!args.error.empty()) return UsageError("survey", args.error);
  if (args.operands.size() != 2 || args.operands[0] != "report")
    return UsageError("survey", "survey report takes FOLDER");
  const std::string& folder = args.operands[1];
  const std::wstring root = Wide(folder);
  const DWORD attributes = GetFileAttributesW(root.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Fail("read", folder, GetLastError());
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return Fail("read", folder, ERROR_DIRECTORY);

  std::vector<Surface> surfaces;
  std::vector<FileRow> files;
  VormBFSFileTree walker;
  for (walker.Find(root.c_str(), L"*.xml", 0x20); walker.HasMatch(); walker.FindNext()) {
    FileRow row;
    row.file = Os(walker.GetRelativePath());
    const std::string path = Os(walker.GetPath());
    VormXml xml;
    if (!LoadXmlFile(xml, path, row.problem)) {
      row.failed = true;
      files.push_back(row);
      continue;
    }
    try {
      IXMLDOMDocument2Ptr document = xml.GetDocument();
      IXMLDOMElementPtr top = document->GetdocumentElement();
      row.landXml = top && Utf8(top->GetbaseName()) == "LandXML";
      if (row.landXml) {
        IXMLDOMNodeListPtr list = document->selectNodes(_bstr_t(L"/LandXML/Surfaces/Surface"));
        row.surfaces = list->Getlength();
        for (LONG i = 0; i < row.surfaces; ++i) surfaces.push_back(ReadSurface(row.file, list->Getitem(i)));
        row.alignments = Count(document, L"//Alignments/Alignment");
        row.cgPoints = Count(document, L"//CgPoints/CgPoint");
      }
    } catch (const _com_error& e) {
      row.failed = true;
      row.problem.reason = Utf8(_bstr_t(e.ErrorMessage()));
    }
    files.push_back(row);
  }
  if (args.Has("--json")) {
    PrintJson(surfaces, files);
  } else {
    PrintTable(surfaces, files);
  }
  for (const FileRow& f : files) {
    if (f.failed) return kFailed;
  }
  return kOk;
}

}  // namespace vorm_cli
