// FXP / FXB program and bank records of the hosted effect. Every field is
// big-endian whatever the machine; the reader checks each word against the
// end of the caller's bytes before it touches it.

#include "hosting/VSTPlugIn.h"

#include "hosting/TandemException.h"
#include "hosting/TandemLog.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

constexpr VstInt32 fourCC(const char (&code)[5])
{
    return vstFourCC(code[0], code[1], code[2], code[3]);
}

constexpr VstInt32 cMagic = fourCC("CcnK");
constexpr VstInt32 fMagic = fourCC("FxCk");      // one program as parameter values
constexpr VstInt32 chunkPresetMagic = fourCC("FPCh"); // one program as a chunk
constexpr VstInt32 bankMagic = fourCC("FxBk");   // a bank of parameter programs
constexpr VstInt32 chunkBankMagic = fourCC("FBCh"); // a bank as a chunk

constexpr size_t nameOffset = 28;
constexpr size_t nameFieldSize = 28;
constexpr size_t fxCkValuesOffset = 56;
constexpr size_t fpChChunkSizeOffset = 56;
constexpr size_t fpChChunkOffset = 60;
constexpr size_t bankProgramsOffset = 156;
constexpr size_t fbChChunkSizeOffset = 156;
constexpr size_t fbChChunkOffset = 160;
constexpr size_t maxName = 24;

const char* const invalidFormat = "Invalid format of FXP / FXB data";

void putInt(unsigned char* p, VstInt32 value)
{
    uint32_t u = static_cast<uint32_t>(value);
    p[0] = static_cast<unsigned char>(u >> 24);
    p[1] = static_cast<unsigned char>(u >> 16);
    p[2] = static_cast<unsigned char>(u >> 8);
    p[3] = static_cast<unsigned char>(u);
}

void putFloat(unsigned char* p, float value)
{
    uint32_t u;
    std::memcpy(&u, &value, 4);
    putInt(p, static_cast<VstInt32>(u));
}

VstInt32 getInt(const unsigned char* p)
{
    return static_cast<VstInt32>((uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) |
                                 (uint32_t(p[2]) << 8) | uint32_t(p[3]));
}

// The word at `offset` of [data, data + size); throws when it does not fit.
VstInt32 readInt(const unsigned char* data, size_t size, size_t offset)
{
    if (offset > size || size - offset < 4)
        throw EOFException();
    return getInt(data + offset);
}

float readFloat(const unsigned char* data, size_t size, size_t offset)
{
    uint32_t u = static_cast<uint32_t>(readInt(data, size, offset));
    float value;
    std::memcpy(&value, &u, 4);
    return value;
}

void putHeader(unsigned char* p, VstInt32 byteSize, VstInt32 fxMagic, const AEffect* effect)
{
    putInt(p, cMagic);
    putInt(p + 4, byteSize);
    putInt(p + 8, fxMagic);
    putInt(p + 12, 1);
    putInt(p + 16, effect->uniqueID);
    putInt(p + 20, effect->version);
}

struct Header {
    VstInt32 chunkMagic, byteSize, fxMagic, version, fxID, fxVersion;
};

Header readHeader(const unsigned char* data, size_t size, size_t offset)
{
    Header h;
    h.chunkMagic = readInt(data, size, offset);
    h.byteSize = readInt(data, size, offset + 4);
    h.fxMagic = readInt(data, size, offset + 8);
    h.version = readInt(data, size, offset + 12);
    h.fxID = readInt(data, size, offset + 16);
    h.fxVersion = readInt(data, size, offset + 20);
    return h;
}

// The name field at `offset`: at most 24 characters, ending at a NUL or at
// the end of the data.
void readName(const unsigned char* data, size_t size, size_t offset, char* name)
{
    size_t available = offset < size ? size - offset : 0;
    size_t n = 0;
    while (n < maxName && n < available && data[offset + n] != 0) {
        name[n] = static_cast<char>(data[offset + n]);
        ++n;
    }
    name[n] = '\0';
}

// The chunk [offset, offset + chunkSize) must lie wholly inside the data.
bool chunkFits(size_t size, size_t offset, VstInt32 chunkSize)
{
    return chunkSize >= 0 && offset <= size && static_cast<size_t>(chunkSize) <= size - offset;
}

} // namespace

void VSTPlugIn::readProgramName(unsigned char* field)
{
    std::memset(field, 0, nameFieldSize);
    getCurrentProgramName(reinterpret_cast<char*>(field)); // at most 24 characters
    field[maxName] = 0;
}

unsigned char* VSTPlugIn::writeFxCk(unsigned char* out)
{
    const VstInt32 numParams = effect->numParams;
    putHeader(out, static_cast<VstInt32>(48 + 4 * numParams), fMagic, effect);
    putInt(out + 24, numParams);
    readProgramName(out + nameOffset);
    unsigned char* p = out + fxCkValuesOffset;
    for (VstInt32 i = 0; i < numParams; ++i, p += 4)
        putFloat(p, getParameter(i));
    return p;
}

std::unique_ptr<unsigned char[]> VSTPlugIn::createFXP(size_t& size)
{
    tandemLog("VST createFXP\n");
    size = 0;
    std::unique_ptr<unsigned char[]> buffer;
    size_t length = 0;
    if (hasProgramChunks()) {
        void* chunk = nullptr;
        VstIntPtr chunkSize = callDispatcher(effGetChunk, 1, 0, &chunk, 0.0f);
        // A chunk the 32-bit size field cannot describe, or a length without
        // bytes behind it, is no chunk either.
        if (chunkSize <= 0 || !chunk ||
            chunkSize > std::numeric_limits<VstInt32>::max() - VstIntPtr(fpChChunkOffset))
            throw TandemException("VST could not create chunk for FXP");
        length = static_cast<size_t>(chunkSize) + fpChChunkOffset;
        buffer.reset(new unsigned char[length]());
        unsigned char* p = buffer.get();
        putHeader(p, static_cast<VstInt32>(length - 8), chunkPresetMagic, effect);
        putInt(p + 24, effect->numParams);
        readProgramName(p + nameOffset);
        putInt(p + fpChChunkSizeOffset, static_cast<VstInt32>(chunkSize));
        std::memcpy(p + fpChChunkOffset, chunk, static_cast<size_t>(chunkSize));
    } else {
        length = fxCkValuesOffset + 4 * static_cast<size_t>(std::max(effect->numParams, 0));
        buffer.reset(new unsigned char[length]());
        writeFxCk(buffer.get());
    }
    size = length;
    return buffer;
}

std::unique_ptr<unsigned char[]> VSTPlugIn::createFXB(size_t& size)
{
    tandemLog("VST createFXB\n");
    size = 0;
    if (hasProgramChunks()) {
        void* chunk = nullptr;
        VstIntPtr chunkSize = callDispatcher(effGetChunk, 0, 0, &chunk, 0.0f);
        if (chunkSize <= 0 || !chunk ||
            chunkSize > std::numeric_limits<VstInt32>::max() - VstIntPtr(fbChChunkOffset))
            throw TandemException("VST could not create chunk for FXB");
        size_t length = static_cast<size_t>(chunkSize) + fbChChunkOffset;
        std::unique_ptr<unsigned char[]> buffer(new unsigned char[length]()); // future: zeros
        unsigned char* p = buffer.get();
        putHeader(p, static_cast<VstInt32>(length - 8), chunkBankMagic, effect);
        putInt(p + 24, effect->numPrograms);
        putInt(p + fbChChunkSizeOffset, static_cast<VstInt32>(chunkSize));
        std::memcpy(p + fbChChunkOffset, chunk, static_cast<size_t>(chunkSize));
        size = length;
        return buffer;
    }

    const int numPrograms = std::max(effect->numPrograms, 0);
    const size_t programSize = fxCkValuesOffset + 4 * static_cast<size_t>(std::max(effect->numParams, 0));
    const size_t length = bankProgramsOffset + numPrograms * programSize;
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[length]());
    unsigned char* p = buffer.get();
    putHeader(p, static_cast<VstInt32>(length - 8), bankMagic, effect);
    putInt(p + 24, numPrograms);

    const int current = getCurrentProgram();
    try {
        unsigned char* position = p + bankProgramsOffset;
        for (int i = 0; i < numPrograms; ++i) {
            setCurrentProgram(i);
            position = writeFxCk(position);
        }
    } catch (...) {
        setCurrentProgram(current);
        throw;
    }
    setCurrentProgram(current);
    size = length;
    return buffer;
}

const unsigned char* VSTPlugIn::readFxCk(const unsigned char* p, const unsigned char* end,
                                         bool* perfect)
{
    size_t size = end > p ? static_cast<size_t>(end - p) : 0;
    return p + readFxCkAt(p, size, 0, perfect);
}

// Reads the FxCk record at `offset` and returns the offset after it, never
// beyond `size`. The record's own value count decides where it ends: a bank
// saved by an effect with more or fewer parameters still finds each program.
size_t VSTPlugIn::readFxCkAt(const unsigned char* data, size_t size, size_t offset, bool* perfect)
{
    const Header h = readHeader(data, size, offset);
    if (h.chunkMagic != cMagic || h.version != 1 || h.fxID != effect->uniqueID)
        throw FormatException(invalidFormat);

    const VstInt32 recordParams = readInt(data, size, offset + 24);
    const VstInt32 numParams = effect->numParams;
    if (recordParams != numParams) {
        tandemLog("Unexpected parameter count in FXP, expected %d, got %d\n", numParams,
                  recordParams);
        *perfect = false;
    }

    char name[maxName + 1];
    readName(data, size, offset + nameOffset, name);
    setCurrentProgramName(name);

    size_t position = std::min(offset + fxCkValuesOffset, size);
    callDispatcher(effBeginSetProgram, 0, 0, nullptr, 0.0f);
    try {
        for (VstInt32 i = 0; i < numParams; ++i) {
            float value = 0.0f;
            if (i < recordParams) {
                value = readFloat(data, size, position);
                position += 4;
            }
            // NaN is out of range too; like a missing value it becomes 0.0.
            if (!(value >= 0.0f && value <= 1.0f)) {
                tandemLog("Invalid parameter in FXP: %d=%f\n", i, value);
                *perfect = false;
                value = value > 1.0f ? 1.0f : 0.0f;
            }
            setParameter(i, value);
        }
    } catch (...) {
        callDispatcher(effEndSetProgram, 0, 0, nullptr, 0.0f);
        throw;
    }
    callDispatcher(effEndSetProgram, 0, 0, nullptr, 0.0f);
    const size_t recordEnd = offset + fxCkValuesOffset + 4 * static_cast<size_t>(std::max(recordParams, 0));
    return std::min(std::max(position, recordEnd), size);
}

bool VSTPlugIn::loadFXPOrFXB(size_t size, const unsigned char* data)
{
    tandemLog("VST loadFXPOrFXB (size=%ld)\n", static_cast<long>(size));
    if (!data)
        size = 0;
    const Header h = readHeader(data, size, 0);
    if (h.chunkMagic != cMagic ||
        static_cast<uint64_t>(size) < static_cast<uint64_t>(std::max<int64_t>(int64_t(h.byteSize) + 8, 0)) ||
        h.version != 1 || h.fxID != effect->uniqueID)
        throw FormatException(invalidFormat);

    switch (h.fxMagic) {
    case fMagic: {
        tandemLog("VST loading FxCk\n");
        bool perfect = true;
        readFxCkAt(data, size, 0, &perfect);
        return perfect;
    }
    case chunkPresetMagic: {
        tandemLog("VST loading FPCh\n");
        char name[maxName + 1];
        readName(data, size, nameOffset, name);
        setCurrentProgramName(name);
        const VstInt32 chunkSize = readInt(data, size, fpChChunkSizeOffset);
        if (!chunkFits(size, fpChChunkOffset, chunkSize))
            throw EOFException("Unexpected end of file in FXP / FXB data");
        return callDispatcher(effSetChunk, 1, chunkSize,
                              const_cast<unsigned char*>(data + fpChChunkOffset), 0.0f) != 0;
    }
    case chunkBankMagic: {
        tandemLog("VST loading FBCh\n");
        const VstInt32 chunkSize = readInt(data, size, fbChChunkSizeOffset);
        if (!chunkFits(size, fbChChunkOffset, chunkSize))
            throw EOFException("Unexpected end of file in FXB data");
        return callDispatcher(effSetChunk, 0, chunkSize,
                              const_cast<unsigned char*>(data + fbChChunkOffset), 0.0f) != 0;
    }
    case bankMagic: {
        tandemLog("VST loading FxBk\n");
        bool perfect = true;
        const VstInt32 recordPrograms = readInt(data, size, 24);
        const VstInt32 numPrograms = effect->numPrograms;
        if (recordPrograms != numPrograms) {
            tandemLog("Unexpected program count in FXB data, expected %d, got %d\n", numPrograms,
                      recordPrograms);
            perfect = false;
        }
        const VstInt32 count = std::min(recordPrograms, numPrograms);
        const int current = getCurrentProgram();
        try {
            size_t position = std::min(bankProgramsOffset, size);
            for (VstInt32 i = 0; i < count; ++i) {
                setCurrentProgram(i);
                position = readFxCkAt(data, size, position, &perfect);
            }
        } catch (...) {
            setCurrentProgram(current);
            throw;
        }
        setCurrentProgram(current);
        return perfect;
    }
    default:
        throw FormatException(invalidFormat);
    }
}
