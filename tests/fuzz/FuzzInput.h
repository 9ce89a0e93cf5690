#pragma once

// The bytes of one fuzz input, taken from the front as the values a fuzz target needs. When
// the bytes run out every value is 0, so every input is a whole run.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

class FuzzInput
{
public:
    FuzzInput(const uint8_t* bytes, size_t size) : next(bytes), left(size)
    {
    }

    bool empty() const
    {
        return left == 0;
    }

    uint8_t byte()
    {
        if (left == 0)
            return 0;
        --left;
        return *next++;
    }

    bool flag()
    {
        return (byte() & 1) != 0;
    }

    // A whole number in low..high (a range of at most 2^32 values).
    int number(int low, int high)
    {
        const uint64_t span = static_cast<uint64_t>(static_cast<int64_t>(high) - low) + 1;
        const uint64_t raw = static_cast<uint64_t>(byte()) | static_cast<uint64_t>(byte()) << 8
                             | static_cast<uint64_t>(byte()) << 16 | static_cast<uint64_t>(byte()) << 24;
        return static_cast<int>(low + static_cast<int64_t>(raw % span));
    }

    // Any 32-bit value, as a host or a stored file could hand it over.
    int anyInt()
    {
        uint32_t raw = 0;
        bits(&raw, sizeof raw);
        int32_t value;
        std::memcpy(&value, &raw, sizeof value);
        return value;
    }

    // Any double: NaN, infinities and huge values included.
    double anyDouble()
    {
        double value = 0.0;
        bits(&value, sizeof value);
        return value;
    }

    float anyFloat()
    {
        float value = 0.0f;
        bits(&value, sizeof value);
        return value;
    }

    // Up to `count` bytes (fewer when the input ends); returns how many.
    size_t take(uint8_t* into, size_t count)
    {
        const size_t taken = count < left ? count : left;
        std::memcpy(into, next, taken);
        next += taken;
        left -= taken;
        return taken;
    }

    const uint8_t* rest() const
    {
        return next;
    }
    size_t restSize() const
    {
        return left;
    }
    void skip(size_t count)
    {
        const size_t skipped = count < left ? count : left;
        next += skipped;
        left -= skipped;
    }

private:
    void bits(void* into, size_t count)
    {
        std::memset(into, 0, count);
        take(static_cast<uint8_t*>(into), count);
    }

    const uint8_t* next;
    size_t left;
};

// An invariant of the code under test: a broken one is a finding, reported like a crash.
#define FUZZ_REQUIRE(condition)                                                                              \
    do                                                                                                       \
    {                                                                                                        \
        if (!(condition))                                                                                    \
        {                                                                                                    \
            std::fprintf(stderr, "invariant broken at %s:%d: %s\n", __FILE__, __LINE__, #condition);         \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)
