#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Every fuzz target is a libFuzzer entry point; the same sources, linked with ReplayMain.cpp,
// replay the kept corpus as an ordinary test.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// A broken promise of the code under test: reported and fatal, so that the fuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);               \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

// A folder of the process's own for the files a target writes; removed when the process ends.
QString FuzzDir();
// Writes `size` bytes to `path`, replacing the file.
void WriteBytes(const QString& path, const std::uint8_t* data, std::size_t size);
QByteArray ReadBytes(const QString& path);
