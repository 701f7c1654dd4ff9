// The XML document over a generated LandXML surface of about 50 MB (Pnts/P and Faces/F):
// VormXml::Load against pugixml's load_file and `xmllint --noout`, CountNodes of every
// point against pugixml's XPath, SaveToMemory against pugixml's save; each printed as a
// ratio. `xml_bench --peak-memory` instead loads the file once in a child process per
// parser and prints the peak resident sizes and their ratio.
//
// The surface is written to $VORM_BENCH_XML (default /tmp/vorm-bench-surface.xml) once and
// reused while its size is right.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <vorm/platform/text.h>
#include <vorm/xml.h>
#include <pugixml.hpp>

#include "bench_support.h"

namespace {

constexpr int kPoints = 420000;
constexpr int kFaces = 2 * kPoints;

std::string g_path;

std::string SurfacePath() {
  const char* env = std::getenv("VORM_BENCH_XML");
  return env && *env ? env : "/tmp/vorm-bench-surface.xml";
}

void MakeSurface(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::file_size(path, ec) > 40'000'000 && !ec) return;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::mt19937 random(7);
  std::uniform_real_distribution<double> east(600000, 700000), north(800000, 900000), height(100, 500);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<LandXML xmlns=\"http://www.landxml.org/schema/LandXML-1.2\" version=\"1.2\" date=\"2024-01-01\" "
         "time=\"12:00:00\">\n\t<Surfaces>\n\t\t<Surface name=\"bench\">\n\t\t\t<Definition surfType=\"TIN\">\n"
         "\t\t\t\t<Pnts>\n";
  char line[160];
  for (int i = 1; i <= kPoints; ++i) {
    std::snprintf(line, sizeof line, "\t\t\t\t\t<P id=\"%d\">%.4f %.4f %.4f</P>\n", i, north(random), east(random),
                  height(random));
    out << line;
  }
  out << "\t\t\t\t</Pnts>\n\t\t\t\t<Faces>\n";
  std::uniform_int_distribution<int> vertex(1, kPoints);
  for (int i = 0; i < kFaces; ++i) {
    std::snprintf(line, sizeof line, "\t\t\t\t\t<F>%d %d %d</F>\n", vertex(random), vertex(random), vertex(random));
    out << line;
  }
  out << "\t\t\t\t</Faces>\n\t\t\t</Definition>\n\t\t</Surface>\n\t</Surfaces>\n</LandXML>\n";
}

void VormXmlLoad(benchmark::State& state) {
  VormXml xml;
  const CString name(VormFromUtf8(g_path));
  for (auto _ : state) {
    if (xml.Load(name, false, false, false) != 0) state.SkipWithError("load failed");
  }
}

void PugixmlLoadFile(benchmark::State& state) {
  for (auto _ : state) {
    pugi::xml_document doc;
    if (!doc.load_file(g_path.c_str())) state.SkipWithError("load failed");
  }
}

void XmllintNoout(benchmark::State& state) {
  const std::string command = "xmllint --noout '" + g_path + "'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("xmllint failed or is missing");
  }
}

void VormXmlCountNodes(benchmark::State& state) {
  VormXml xml(VormFromUtf8(g_path).c_str());
  xml.Load();
  LONG count = 0;
  for (auto _ : state) count = xml.CountNodes(L"//Pnts/P");
  state.counters["nodes"] = count;
}

void PugixmlXPathCount(benchmark::State& state) {
  pugi::xml_document doc;
  doc.load_file(g_path.c_str());
  size_t count = 0;
  for (auto _ : state) count = doc.select_nodes("//Pnts/P").size();
  state.counters["nodes"] = static_cast<double>(count);
}

void VormXmlSaveToMemory(benchmark::State& state) {
  VormXml xml(VormFromUtf8(g_path).c_str());
  xml.Load();
  for (auto _ : state) {
    BYTE* data = nullptr;
    ULONG size = 0;
    VormXml::SaveToMemory(xml.GetDocument(), &data, &size);
    delete[] data;
  }
}

class StringWriter : public pugi::xml_writer {
 public:
  std::string out;
  void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};

void PugixmlSave(benchmark::State& state) {
  pugi::xml_document doc;
  doc.load_file(g_path.c_str());
  for (auto _ : state) {
    StringWriter writer;
    doc.save(writer, "\t");
    benchmark::DoNotOptimize(writer.out.data());
  }
}

// Peak resident size of a child that runs `load`, in KiB.
template <class Load>
long PeakOf(Load load) {
  const pid_t child = fork();
  if (child == 0) {
    load();
    _exit(0);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  return usage.ru_maxrss;
}

int PeakMemory() {
  const long vorm = PeakOf([] {
    VormXml xml(VormFromUtf8(g_path).c_str());
    xml.Load();
  });
  const long pugi = PeakOf([] {
    pugi::xml_document doc;
    doc.load_file(g_path.c_str());
  });
  std::printf("peak resident KiB: VormXml::Load %ld, pugixml load_file %ld, ratio %.2f\n", vorm, pugi,
              static_cast<double>(vorm) / static_cast<double>(pugi));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  g_path = SurfacePath();
  MakeSurface(g_path);
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--peak-memory") == 0) return PeakMemory();
  benchmark::RegisterBenchmark("VormXml::Load", VormXmlLoad)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("pugixml load_file", PugixmlLoadFile)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("xmllint --noout", XmllintNoout)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("VormXml::CountNodes", VormXmlCountNodes)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("pugixml XPath count", PugixmlXPathCount)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("VormXml::SaveToMemory", VormXmlSaveToMemory)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("pugixml save", PugixmlSave)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  vorm_bench::RatioReporter reporter({{"VormXml::Load", "pugixml load_file"},
                                      {"xmllint --noout", "VormXml::Load"},
                                      {"VormXml::CountNodes", "pugixml XPath count"},
                                      {"VormXml::SaveToMemory", "pugixml save"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
