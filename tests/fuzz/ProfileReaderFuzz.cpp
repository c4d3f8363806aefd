#include "fuzz/ProfileReaderExercise.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    exerciseProfileReader(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
