#include "hugepages.h"

#include <sys/mman.h>

#include <cstdint>

namespace HugePages {

void advise(const void *data, qsizetype bytes)
{
    constexpr std::uintptr_t huge = 2 * 1024 * 1024;
    if (!data || bytes < qsizetype(2 * huge))
        return;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + huge - 1) & ~(huge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + std::uintptr_t(bytes)) & ~(huge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
}

} // namespace HugePages
