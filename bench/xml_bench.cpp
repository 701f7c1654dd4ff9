// The XML document over a generated LandXML surface of about 50 MB (Pnts/P and Faces/F):
// VormXml::Load against pugixml's load_file and `xmllint --noout`, CountNodes of every
// point against pugixml's XPath, SaveToMemory against pugixml's save; each printed as a
// ratio. `xml_bench --fresh-process` instead loads the file once in a fresh child process
// per parser, in turns, and prints the median times, the peak resident sizes and their ratios.
//
// The surface is written to $VORM_BENCH_XML (default /tmp/vorm-bench-surface.xml) once and
// reused while its size is right.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

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

// What one load costs a process that does nothing else: a child runs `load` once and
// reports its time; the peak resident size comes from the child's usage.
struct Fresh {
  double ms = 0;
  long peakKiB = 0;
};

template <class Load>
Fresh InFreshProcess(Load load) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    const auto start = std::chrono::steady_clock::now();
    load();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (write(fds[1], &ms, sizeof ms) != sizeof ms) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  Fresh fresh;
  if (read(fds[0], &fresh.ms, sizeof fresh.ms) != sizeof fresh.ms) fresh.ms = 0;
  close(fds[0]);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  fresh.peakKiB = usage.ru_maxrss;
  return fresh;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Each side loads the file once in a fresh process, in turns, seven times: the medians of the
// times and the peak resident sizes, with their ratios. Free of what earlier benchmarks of one
// process leave in the allocator, which moves the in-process load ratio either way.
int FreshProcesses() {
  std::vector<double> vormMs, pugiMs;
  long vormPeak = 0, pugiPeak = 0;
  for (int round = 0; round < 7; ++round) {
    const Fresh vorm = InFreshProcess([] {
      VormXml xml(VormFromUtf8(g_path).c_str());
      xml.Load();
    });
    const Fresh pugi = InFreshProcess([] {
      pugi::xml_document doc;
      doc.load_file(g_path.c_str());
    });
    vormMs.push_back(vorm.ms);
    pugiMs.push_back(pugi.ms);
    vormPeak = std::max(vormPeak, vorm.peakKiB);
    pugiPeak = std::max(pugiPeak, pugi.peakKiB);
  }
  const double vorm = Median(vormMs), pugi = Median(pugiMs);
  std::printf("one load per fresh process, median of 7: VormXml::Load %.1f ms, pugixml load_file %.1f ms, ratio %.3g\n",
              vorm, pugi, vorm / pugi);
  std::printf("peak resident KiB: VormXml::Load %ld, pugixml load_file %ld, ratio %.2f\n", vormPeak, pugiPeak,
              static_cast<double>(vormPeak) / static_cast<double>(pugiPeak));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  g_path = SurfacePath();
  MakeSurface(g_path);
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--fresh-process") == 0) return FreshProcesses();
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
