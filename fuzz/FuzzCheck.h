#pragma once

#include <QByteArrayView>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

// An assertion that holds in every build type: a broken promise is a finding,
// so it must stop the fuzzer with the input that broke it.
#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);               \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)

// Bytes that arrive in two pieces: the input's first byte says where the
// first piece ends, the rest are the bytes. Empty for an empty input.
struct FuzzPieces {
    QByteArrayView bytes;
    qsizetype cut = 0;
};

inline std::optional<FuzzPieces> SplitFuzzInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return std::nullopt;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    return FuzzPieces { bytes, bytes.isEmpty() ? 0 : data[0] % (bytes.size() + 1) };
}
