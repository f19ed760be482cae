#pragma once

#include <QtGlobal>

namespace HugePages {

// Asks the kernel to back the 2 MB-aligned middle of [data, data + bytes) with huge pages.
// A whole catalogue fills tens of megabytes of fresh memory at once; in 4 KB pages that is
// tens of thousands of page faults, which cost more than the decoding that fills them.
// Harmless where huge pages are off or the block is small.
void advise(const void *data, qsizetype bytes);

} // namespace HugePages
