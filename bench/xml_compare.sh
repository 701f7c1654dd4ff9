#!/usr/bin/env bash
# Times the XML document over a generated 50 MB LandXML surface against pugixml and
# xmllint, printing ratios, then one load by each in a fresh process (time and peak memory):
# bench/xml_compare.sh [build dir]
set -euo pipefail
build=${1:-build/bench}
"$build/bench/xml_bench" --benchmark_min_time=1
"$build/bench/xml_bench" --fresh-process
