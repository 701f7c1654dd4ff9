// vorm points: point-number lists such as "1-5,7,10-12".
#include <cstdio>

#include <vorm/platform/text.h>
#include <vorm/point_string.h>

#include "cli.h"
#include "commands.h"

namespace vorm_cli {

int PointsCommand(const Words& words) {
  const Args args = Parse(words, {}, {});
  if (!args.error.empty()) return UsageError("points", args.error);
  if (args.operands.size() != 2) return UsageError("points", "points takes an action and TEXT");
  const std::string& verb = args.operands[0];
  if (verb != "count" && verb != "normalize" && verb != "sorted") {
    return UsageError("points", "unknown action '" + verb + "'");
  }
  VormPointString points(VormFromUtf8(args.operands[1]).c_str());
  if (!points.IsValid()) return Complain("not a valid point list: '" + args.operands[1] + "'");
  if (verb == "count") {
    std::printf("%u\n", static_cast<unsigned>(points.GetCount()));
  } else {
    points.Normalize(verb == "sorted" ? TRUE : FALSE);
    std::printf("%s\n", VormToUtf8(points.GetString()).c_str());
  }
  return kOk;
}

}  // namespace vorm_cli
