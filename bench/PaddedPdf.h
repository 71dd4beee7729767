#pragma once
// A large PDF the benchmarks write for themselves.

#include "LargePdf.h"

namespace bench {

using largepdf::writePaddedPdf;

} // namespace bench
