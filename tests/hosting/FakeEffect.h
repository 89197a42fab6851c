#pragma once

// A tiny VST 2.4 effect the hosting tests load as a foreign plug-in. Its
// state lives behind AEffect::object so that a test can steer it (throw from
// an opcode, hand out chunks, change its counts) and read what it was sent.

#include "plugin/VstInterface.h"

#include <cstring>

struct FakeEffect {
    static constexpr int maxParams = 16;
    static constexpr int maxPrograms = 4;
    static constexpr int maxOpcodes = 1024;

    AEffect effect; // first, so that a pointer to one is a pointer to the other
    audioMasterCallback master;
    const char* entryName; // which exported function created it

    // Answers the host gave inside the main function.
    VstIntPtr versionAnswer;
    VstIntPtr currentIdAnswer;

    float params[maxParams];
    char programNames[maxPrograms][64];
    float programParams[maxPrograms][maxParams];
    VstIntPtr currentProgram;

    // Every dispatcher opcode received, in order.
    int opcodes[maxOpcodes];
    int opcodeCount;
    int count(int opcode) const
    {
        int n = 0;
        for (int i = 0; i < opcodeCount; ++i)
            n += opcodes[i] == opcode;
        return n;
    }

    int throwOnOpcode;       // dispatcher throws for this opcode; -1 none
    bool throwOnGetParameter;
    bool throwOnSetParameter;
    int setParameterCalls;

    // Chunks (used when effFlagsProgramChunks is set).
    unsigned char chunk[64];
    VstIntPtr chunkSize;     // what effGetChunk answers
    bool nullChunkPointer;   // hand out a length but no bytes
    VstIntPtr setChunkResult;
    unsigned char receivedChunk[256];
    VstIntPtr receivedChunkSize;
    VstInt32 receivedChunkIndex;

    ERect rect;
    bool hasRect;
    VstIntPtr editOpenResult;
    char lastProgramNameSent[64];
    float lastSampleRate;
    VstIntPtr lastBlockSize;
    // Called by effClose just before the effect deletes itself.
    void (*beforeDelete)(const FakeEffect*);
};

// The fake effect's parameter names; index 1 is longer than 24 characters.
inline const char* fakeParameterName(int index)
{
    static const char* const names[] = {"Gain", "A parameter name longer than 24", "Mix"};
    return index >= 0 && index < 3 ? names[index] : "Extra";
}
