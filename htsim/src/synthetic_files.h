// The files some faults make up (extra=N): their names, sizes and contents,
// so that a program checking what crossed the line can know them too.
#pragma once

#include <cstdint>
#include <string>

namespace vsk::htsim {

// The synthetic files of extra=N: XTRA0001.DAT ... with these sizes.
std::string extraName(int i);
int64_t extraSize(int i);

// Contents of the synthetic files some faults add: text lines, different per `seed`.
std::string syntheticContent(int seed, int64_t size);

}  // namespace vsk::htsim
