// The vorm commands; each takes the words after its name and returns the exit code.
#pragma once

#include <string>
#include <vector>

namespace vorm_cli {

using Words = std::vector<std::string>;

int PathCommand(const Words& words);
int WalkCommand(const Words& words);
int TreeCommand(const Words& words, bool verbose);
int PointsCommand(const Words& words);
int WatchCommand(const Words& words);
int XmlCommand(const Words& words);
int SurveyCommand(const Words& words);

// The absolute form of `path` worked out on its text ("" when it cannot be made).
std::wstring FullPath(const std::wstring& path);

}  // namespace vorm_cli
