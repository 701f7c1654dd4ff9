#!/usr/bin/env bash
# Keeps the host OS inside the platform layer. Above platform/ (the components, the public
# headers and the vorm tool) a source file may include only the C++ standard library, the
# library's public headers <vorm/...> and files of its own folder; never a POSIX or Linux
# header, nor one of the platform layer's internal headers.
#   tests/layers/check_layers.sh [root]     exit 0 when clean, 1 listing each offending line
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}

# The C++ standard library's headers (C++20), the C ones in their <cxxx> form only.
standard="algorithm any array atomic barrier bit bitset cassert cctype cerrno cfenv cfloat
charconv chrono cinttypes climits clocale cmath codecvt compare complex concepts
condition_variable coroutine csetjmp csignal cstdarg cstddef cstdint cstdio cstdlib cstring
ctime cuchar cwchar cwctype deque exception execution filesystem format forward_list fstream
functional future initializer_list iomanip ios iosfwd iostream istream iterator latch limits
list locale map memory memory_resource mutex new numbers numeric optional ostream queue
random ranges ratio regex scoped_allocator semaphore set shared_mutex source_location span
sstream stack stdexcept stop_token streambuf string string_view syncstream system_error
thread tuple type_traits typeindex typeinfo unordered_map unordered_set utility valarray
variant vector version"
declare -A allowed
for h in $standard; do allowed[$h]=1; done

include_line='^[[:space:]]*#[[:space:]]*include[[:space:]]*([<"])([^>"]+)[>"]'
status=0
while IFS= read -r -d '' file; do
  lineno=0
  while IFS= read -r line; do
    lineno=$((lineno + 1))
    [[ $line =~ $include_line ]] || continue
    kind=${BASH_REMATCH[1]}
    header=${BASH_REMATCH[2]}
    if [[ $kind == "<" ]]; then
      [[ $header == vorm/* || -n ${allowed[$header]:-} ]] && continue
      why="a host or third-party header"
    else
      [[ $header != */* && -f $(dirname "$file")/$header ]] && continue
      why="not a file of its own folder"
    fi
    echo "${file#"$root"/}:$lineno: $why: $header"
    status=1
  done < "$file"
done < <(find "$root/foundation" "$root/filesystem" "$root/filewatch" "$root/messaging" "$root/xml" \
              "$root/survey" "$root/include/vorm" "$root/tools/vorm" \
              -type f \( -name '*.h' -o -name '*.cpp' \) -print0 2>/dev/null)
exit $status
