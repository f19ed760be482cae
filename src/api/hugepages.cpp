#include "hugepages.h"

#include <sys/mman.h>

#include <cstdint>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23 // Linux 5.14
#endif

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

void prepare(void *data, qsizetype bytes)
{
    advise(data, bytes);
    constexpr std::uintptr_t page = 4096;
    if (!data || bytes < qsizetype(64 * page))
        return;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + page - 1) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + std::uintptr_t(bytes)) & ~(page - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_POPULATE_WRITE);
}

} // namespace HugePages
