#pragma once

// The parameter mapping: which of the effect's VST parameters an AudioUnit
// host sees, in which order, under which names, ranges, units and value
// names. It comes from "TNParameters.txt", a tab-separated text file users
// edit, so the reader takes nothing in it on trust: every line it cannot use
// is logged and skipped.

#include <AudioUnit/AudioUnit.h>

#include <cstddef>
#include <memory>
#include <string>

class VSTPlugIn;

// Where a parsed mapping goes: the component's own tables.
struct ParameterMappingTables {
    int parameterCount;                       // the effect's numParams
    int* mappedParameterCount;                // entries used in auParameterList
    unsigned int* auParameterList;            // room for maxMappedParameters
    AudioUnitParameterInfo* parameterInfos;   // parameterCount entries, zero until published
    CFArrayRef* parameterValueStrings;        // parameterCount entries, null until published
};

constexpr int maxMappedParameters = 1024;
constexpr const char* parameterMappingFileName = "TNParameters.txt";
constexpr const char* parameterMappingHeader = "vst param #\tname\tmin\tmax\tdisplay\tunit\tdefault\r";

// Publishes every valid line of the file's bytes (the first line is a header
// and ignored). EOFException when there is not even a header line;
// TandemException "Too many mapped parameters" on a valid line after the
// 1024th (those mapped so far stay).
void parseParameterMapping(const UInt8* data, std::size_t size, ParameterMappingTables& tables);

// Releases the strings and arrays a parse stored in the tables and clears them.
void releaseParameterMapping(ParameterMappingTables& tables);

// What one VST parameter reports of itself, for the default file.
struct ReportedParameter {
    const char* name;     // at most 24 characters
    const char* label;
    float value;          // current value
    const char* displayAtValue;
    const char* displayAt0;
    const char* displayAtHalf;
    const char* displayAt1;
};

// One line of the default file (CR-terminated) for VST parameter `index`:
// a linear numeric display publishes the displayed range, anything else
// 0..1 with the effect's own texts ("?") when it can convert them.
std::string defaultParameterMappingLine(int index, const ReportedParameter& parameter, bool tandemExtensions);

// The component's published parameters: read from the bundle's mapping file
// (written from what the effect reports when it is missing), and the one
// scaling between a parameter's AudioUnit range and the VST range 0..1.
class TandemParameterMap {
public:
    explicit TandemParameterMap(int parameterCount);
    ~TandemParameterMap();
    TandemParameterMap(const TandemParameterMap&) = delete;
    TandemParameterMap& operator=(const TandemParameterMap&) = delete;

    void readOrCreate(const std::string& resourcesFolder, VSTPlugIn& vst, bool tandemExtensions);

    int getParameterCount() const { return parameterCount; }
    int getMappedCount() const { return mappedCount; }
    const unsigned int* getMappedList() const { return mappedList; }
    const AudioUnitParameterInfo& info(AudioUnitParameterID id) const { return infos[id]; }
    CFArrayRef valueStrings(AudioUnitParameterID id) const { return valueStringArrays[id]; }

    // A host's value as the effect's: NaN is refused (paramErr), a parameter
    // the mapping does not publish too (its range is empty, so the value
    // would reach the effect as NaN), and a value outside the published
    // range is held at its end, since VST effects are promised 0..1.
    float toVST(AudioUnitParameterID id, AudioUnitParameterValue value) const;
    // The same for the render thread: the refusal as a status, no exception.
    OSStatus scaleToVST(AudioUnitParameterID id, AudioUnitParameterValue value, float& scaled) const noexcept;
    // The effect's value in the published range; indexed and boolean
    // parameters round to whole numbers.
    AudioUnitParameterValue fromVST(AudioUnitParameterID id, float value) const;

private:
    void read(const std::string& path);
    void writeDefaultFile(const std::string& path, VSTPlugIn& vst, bool tandemExtensions);

    const int parameterCount; // the effect's numParams, fixed once the effect is open
    int mappedCount = 0;
    unsigned int mappedList[maxMappedParameters] = {};
    std::unique_ptr<AudioUnitParameterInfo[]> infos;
    std::unique_ptr<CFArrayRef[]> valueStringArrays;
};
