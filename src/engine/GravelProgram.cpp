#include "engine/GravelProgram.h"

#include <cstring>

namespace gravel {

namespace {

constexpr int32_t fourCC(char a, char b, char c, char d)
{
    return int32_t((uint32_t(uint8_t(a)) << 24) | (uint32_t(uint8_t(b)) << 16) | (uint32_t(uint8_t(c)) << 8) |
                   uint32_t(uint8_t(d)));
}

constexpr int32_t kChunkMagic = fourCC('C', 'c', 'n', 'K');
constexpr int32_t kProgramMagic = fourCC('F', 'x', 'C', 'k');
constexpr size_t kNameOffset = 28;
constexpr size_t kValuesOffset = 56;

void putWord(unsigned char* p, uint32_t u)
{
    p[0] = uint8_t(u >> 24);
    p[1] = uint8_t(u >> 16);
    p[2] = uint8_t(u >> 8);
    p[3] = uint8_t(u);
}

uint32_t word(const unsigned char* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

} // namespace

void encodeProgram(const Program& program, unsigned char (&bytes)[kProgramBytes])
{
    std::memset(bytes, 0, sizeof bytes);
    putWord(bytes, uint32_t(kChunkMagic));
    putWord(bytes + 4, uint32_t(kProgramBytes - 8)); // the record after this field
    putWord(bytes + 8, uint32_t(kProgramMagic));
    putWord(bytes + 12, 1);
    putWord(bytes + 16, uint32_t(kProgramEffectID));
    putWord(bytes + 20, uint32_t(kProgramEffectVersion));
    putWord(bytes + 24, uint32_t(kGRVNumParams));
    std::memcpy(bytes + kNameOffset, program.name, strnlen(program.name, kProgramNameSize));
    for (int32_t i = 0; i < kGRVNumParams; ++i) {
        uint32_t u;
        std::memcpy(&u, &program.values[i], 4);
        putWord(bytes + kValuesOffset + 4 * size_t(i), u);
    }
}

bool decodeProgram(const unsigned char* bytes, size_t size, Program& program)
{
    if (!bytes || size != kProgramBytes || word(bytes) != uint32_t(kChunkMagic) ||
        word(bytes + 4) != kProgramBytes - 8 || word(bytes + 8) != uint32_t(kProgramMagic) ||
        word(bytes + 12) != 1 || word(bytes + 16) != uint32_t(kProgramEffectID) ||
        word(bytes + 24) != uint32_t(kGRVNumParams))
        return false;
    Program read;
    for (int32_t i = 0; i < kGRVNumParams; ++i) {
        const uint32_t u = word(bytes + kValuesOffset + 4 * size_t(i));
        std::memcpy(&read.values[i], &u, 4);
        if (!(read.values[i] >= 0.0f && read.values[i] <= 1.0f))
            return false;
    }
    std::memset(read.name, 0, sizeof read.name);
    for (size_t n = 0; n < kProgramNameSize && bytes[kNameOffset + n] != 0; ++n)
        read.name[n] = char(bytes[kNameOffset + n]);
    program = read;
    return true;
}

} // namespace gravel
