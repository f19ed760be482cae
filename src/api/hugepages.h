#pragma once

#include <QtGlobal>

namespace HugePages {

// Asks the kernel to back the 2 MB-aligned middle of [data, data + bytes) with huge pages.
// A whole catalogue fills tens of megabytes of fresh memory at once; in 4 KB pages that is
// tens of thousands of page faults, which cost more than the decoding that fills them.
// Harmless where huge pages are off or the block is small.
void advise(const void *data, qsizetype bytes);
// advise(), then the whole pages inside [data, data + bytes) made ready in one call: a fresh
// block written page by page takes a fault a page, and in a virtual machine each costs more
// than the writing. Harmless where the system cannot (the pages then come as they are touched).
void prepare(void *data, qsizetype bytes);

} // namespace HugePages
