// The effect's parameters as AudioUnit parameters: "TNParameters.txt" in the
// bundle's resources is read once at construction (and written from what the
// effect reports when it is missing), values are scaled between the
// AudioUnit range of the file and the VST range 0..1.

#include "wrapper/TandemParameterMapping.h"

#include "platform/files/FileServices.h"
#include "wrapper/TandemCF.h"
#include "hosting/VSTPlugIn.h"
#include "hosting/TandemException.h"
#include "hosting/TandemLog.h"

#include <AudioToolbox/AudioToolbox.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <unistd.h>

namespace {

constexpr AudioUnitParameterOptions plainFlags = kAudioUnitParameterFlag_IsReadable |
                                                 kAudioUnitParameterFlag_IsWritable |
                                                 kAudioUnitParameterFlag_HasCFNameString;

// Hands out the data one line at a time. A line ends at CR, LF or CR LF;
// only its first 2047 characters are kept, the rest is skipped.
class MappingLineReader {
public:
    static constexpr std::size_t bufferSize = 2048;

    MappingLineReader(const UInt8* data, std::size_t size) : data(data), size(size) {}

    bool atEnd() const { return position >= size; }

    void readLine(char (&line)[bufferSize])
    {
        if (atEnd())
            throw EOFException("End of file error");
        std::size_t length = 0;
        while (position < size && data[position] != '\r' && data[position] != '\n') {
            if (length < bufferSize - 1)
                line[length++] = char(data[position]);
            ++position;
        }
        line[length] = '\0';
        if (position < size && data[position] == '\r') {
            ++position;
            if (position < size && data[position] == '\n')
                ++position;
        } else if (position < size && data[position] == '\n') {
            ++position;
        }
    }

private:
    const UInt8* data;
    std::size_t size;
    std::size_t position = 0;
};

const char* skipSpaces(const char* text)
{
    while (*text == ' ')
        ++text;
    return text;
}

CFStringRef createMacRomanString(const char* text)
{
    return CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingMacRoman);
}

// The leading decimal integer of column 1 (0 when it has none); values
// beyond int are returned as -1, which no parameter has.
int parameterIndexOf(const char* column)
{
    if (!(*column >= '0' && *column <= '9') && *column != '-' && *column != '+')
        return 0;
    errno = 0;
    const long index = std::strtol(column, nullptr, 10);
    if (errno == ERANGE || index < -1 || index > 0x7fffffffL)
        return -1;
    return int(index);
}

struct MappingLine {
    char column1[33];
    char name[256];
    float minValue, maxValue;
    char display[1024];
    char unit[256];
    float defaultValue;
};

// Splits a line into its seven columns; false when any is missing.
bool splitColumns(const char* text, MappingLine& line)
{
    return std::sscanf(text, "%32s%*[\t]%255[^\t]%*[\t]%f%*[\t]%f%*[\t]%1023[^\t]%*[\t]%255[^\t]%*[\t]%f",
                       line.column1, line.name, &line.minValue, &line.maxValue, line.display, line.unit,
                       &line.defaultValue) == 7;
}

// The info, flags and value names for one valid line; every string it makes
// is owned by the caller.
void describeParameter(const MappingLine& line, const char* display, bool isMeta, AudioUnitParameterInfo& info,
                       CFArrayRef& valueStrings)
{
    std::memset(&info, 0, sizeof info);
    valueStrings = nullptr;
    // A fixed 52-byte field: the name column may be up to 255 characters.
    const std::size_t nameLength = std::min(std::strlen(line.name), sizeof info.name - 1);
    std::memcpy(info.name, line.name, nameLength);
    info.name[nameLength] = '\0';
    const bool hasUnit = std::strcmp(line.unit, "-") != 0;
    info.unitName = hasUnit ? createMacRomanString(line.unit) : nullptr;
    info.clumpID = 0;
    info.cfNameString = createMacRomanString(line.name);
    info.minValue = line.minValue;
    info.maxValue = line.maxValue;
    info.defaultValue = line.defaultValue;
    info.flags = plainFlags;
    info.unit = hasUnit ? kAudioUnitParameterUnit_CustomUnit : kAudioUnitParameterUnit_Generic;

    if (std::strcmp(display, "=") == 0) {
    } else if (std::strcmp(display, "?") == 0) {
        info.flags |= kAudioUnitParameterFlag_ValuesHaveStrings;
    } else if (std::strcmp(display, "b") == 0) {
        info.unit = kAudioUnitParameterUnit_Boolean;
        info.minValue = 0.0f;
        info.maxValue = 1.0f;
    } else {
        ScopedCFRef<CFStringRef> names(createMacRomanString(display));
        valueStrings = names.get() ? CFStringCreateArrayBySeparatingStrings(kCFAllocatorDefault, names.get(),
                                                                             CFSTR("|"))
                                   : nullptr;
        info.unit = kAudioUnitParameterUnit_Indexed;
        info.minValue = 0.0f;
        info.maxValue = valueStrings ? float(CFArrayGetCount(valueStrings) - 1) : 0.0f;
    }
    if (isMeta)
        info.flags |= kAudioUnitParameterFlag_IsGlobalMeta;
}

void releaseParameterInfo(AudioUnitParameterInfo& info, CFArrayRef& valueStrings)
{
    if (info.unitName)
        CFRelease(info.unitName);
    if (info.cfNameString)
        CFRelease(info.cfNameString);
    if (valueStrings)
        CFRelease(valueStrings);
    std::memset(&info, 0, sizeof info);
    valueStrings = nullptr;
}

// True when the text is a float through its very end (an empty text is 0).
bool convertsToFloat(const char* text, float& value)
{
    if (*text == '\0') {
        value = 0.0f;
        return true;
    }
    char* end = nullptr;
    value = std::strtof(text, &end);
    return end != text && *end == '\0';
}

} // namespace

void parseParameterMapping(const UInt8* data, std::size_t size, ParameterMappingTables& tables)
{
    MappingLineReader reader(data, size);
    char text[MappingLineReader::bufferSize];
    reader.readLine(text); // the header

    for (int lineNumber = 2; !reader.atEnd(); ++lineNumber) {
        reader.readLine(text);
        const char* start = skipSpaces(text);
        if (*start == '\0' || *start == ';')
            continue;

        MappingLine line;
        std::memset(&line, 0, sizeof line);
        bool valid = splitColumns(start, line);
        bool isMeta = false;
        int index = -1;
        const char* display = "";
        if (valid) {
            const std::size_t length = std::strlen(line.column1);
            if (length > 0 && line.column1[length - 1] == '+') {
                line.column1[length - 1] = '\0';
                isMeta = true;
            }
            index = parameterIndexOf(line.column1);
            display = skipSpaces(line.display);
            // Infinite or NaN bounds would scale every value to NaN.
            valid = index >= 0 && index < tables.parameterCount && std::isfinite(line.minValue) &&
                    std::isfinite(line.maxValue) && line.minValue < line.maxValue &&
                    line.minValue <= line.defaultValue && line.defaultValue <= line.maxValue && *display != '\0' &&
                    tables.parameterInfos[index].flags == 0;
        }
        if (!valid) {
            tandemLog("Ignored invalid parameter-mapping line (%d): %s\n", lineNumber, text);
            continue;
        }

        AudioUnitParameterInfo info;
        CFArrayRef valueStrings;
        describeParameter(line, display, isMeta, info, valueStrings);
        // A list of one name ("Off", or "= " with its trailing space) would
        // be the range 0..0, where every value scales to NaN.
        if (!(info.minValue < info.maxValue)) {
            releaseParameterInfo(info, valueStrings);
            tandemLog("Ignored invalid parameter-mapping line (%d): %s\n", lineNumber, text);
            continue;
        }
        if (*tables.mappedParameterCount >= maxMappedParameters) {
            releaseParameterInfo(info, valueStrings);
            throw TandemException("Too many mapped parameters");
        }
        tables.auParameterList[(*tables.mappedParameterCount)++] = unsigned(index);
        tables.parameterInfos[index] = info;
        tables.parameterValueStrings[index] = valueStrings;
    }
    tandemLog("Successfully parsed %d parameter-mapping lines\n", *tables.mappedParameterCount);
}

void releaseParameterMapping(ParameterMappingTables& tables)
{
    for (int i = 0; i < tables.parameterCount; ++i)
        releaseParameterInfo(tables.parameterInfos[i], tables.parameterValueStrings[i]);
    *tables.mappedParameterCount = 0;
}

std::string defaultParameterMappingLine(int index, const ReportedParameter& parameter, bool tandemExtensions)
{
    auto orDash = [](const char* text) {
        text = skipSpaces(text);
        return *text ? text : "-";
    };
    const char* name = orDash(parameter.name);
    const char* label = orDash(parameter.label);

    float atValue = 0, at0 = 0, atHalf = 0, at1 = 0;
    const bool linearNumeric = convertsToFloat(parameter.displayAtValue, atValue) &&
                               convertsToFloat(parameter.displayAt0, at0) &&
                               convertsToFloat(parameter.displayAtHalf, atHalf) &&
                               convertsToFloat(parameter.displayAt1, at1) &&
                               std::fabs(atHalf - (at0 + at1) * 0.5f) <= 0.0001f;

    char line[2048];
    if (linearNumeric)
        std::snprintf(line, sizeof line, "%d\t%s\t%g\t%g\t%c\t%s\t%g\r", index, name, double(at0), double(at1), '=',
                      label, double(atValue));
    else
        std::snprintf(line, sizeof line, "%d\t%s\t%g\t%g\t%c\t%s\t%g\r", index, name, 0.0, 1.0,
                      tandemExtensions ? '?' : '=', tandemExtensions ? label : "-", double(parameter.value));
    return line;
}

// ---- the component's table ----

TandemParameterMap::TandemParameterMap(int parameterCount)
    : parameterCount(parameterCount), infos(new AudioUnitParameterInfo[size_t(parameterCount)]()),
      valueStringArrays(new CFArrayRef[size_t(parameterCount)]())
{
}

TandemParameterMap::~TandemParameterMap()
{
    ParameterMappingTables tables = {parameterCount, &mappedCount, mappedList, infos.get(), valueStringArrays.get()};
    releaseParameterMapping(tables);
}

void TandemParameterMap::readOrCreate(const std::string& resourcesFolder, VSTPlugIn& vst, bool tandemExtensions)
{
    std::string path;
    OSStatus status = gravel_files::findItem(resourcesFolder, parameterMappingFileName, path);
    if (status == fnfErr) {
        // Written under a name of this process and then renamed into place,
        // so that a host opening the unit in another process at the same
        // moment never reads a half-written file.
        const std::string temporaryName = std::string(".") + parameterMappingFileName + "." + std::to_string(getpid());
        std::string temporaryPath = resourcesFolder + "/" + temporaryName;
        gravel_files::deleteItem(temporaryPath); // left by a process that died writing it
        status = gravel_files::createFile(resourcesFolder, temporaryName, temporaryPath);
        if (status != noErr) {
            tandemLog("Could not create %s in %s (error %d): make that folder writable once, or install the "
                      "bundle with its parameter mapping\n",
                      parameterMappingFileName, resourcesFolder.c_str(), int(status));
            throw MacOSException(status);
        }
        try {
            writeDefaultFile(temporaryPath, vst, tandemExtensions);
            if (std::rename(temporaryPath.c_str(), (resourcesFolder + "/" + parameterMappingFileName).c_str()) != 0)
                throw MacOSException(errno == EACCES || errno == EPERM ? permErr : ioErr);
        } catch (...) {
            gravel_files::deleteItem(temporaryPath);
            throw;
        }
        status = gravel_files::findItem(resourcesFolder, parameterMappingFileName, path);
    }
    if (status != noErr)
        throw MacOSException(status);
    read(path);
}

void TandemParameterMap::read(const std::string& path)
{
    std::vector<UInt8> contents;
    const OSStatus status = gravel_files::readFile(path, contents);
    if (status != noErr)
        throw MacOSException(status);
    ParameterMappingTables tables = {parameterCount, &mappedCount, mappedList, infos.get(), valueStringArrays.get()};
    parseParameterMapping(contents.data(), contents.size(), tables);
}

void TandemParameterMap::writeDefaultFile(const std::string& path, VSTPlugIn& vst, bool tandemExtensions)
{
    std::string text = parameterMappingHeader;
    for (int i = 0; i < parameterCount; ++i) {
        char name[25] = {}, label[25] = {};
        char atValue[25] = {}, at0[25] = {}, atHalf[25] = {}, at1[25] = {};
        vst.getParameterName(i, name);
        vst.getParameterLabel(i, label);
        const float value = vst.getParameter(i);
        vst.getParameterDisplay(i, atValue);
        vst.setParameter(i, 0.0f);
        vst.getParameterDisplay(i, at0);
        vst.setParameter(i, 0.5f);
        vst.getParameterDisplay(i, atHalf);
        vst.setParameter(i, 1.0f);
        vst.getParameterDisplay(i, at1);
        vst.setParameter(i, value);
        const ReportedParameter reported = {name, label, value, atValue, at0, atHalf, at1};
        text += defaultParameterMappingLine(i, reported, tandemExtensions);
    }
    const OSStatus status = gravel_files::writeFile(path, text.data(), text.size());
    if (status != noErr)
        throw MacOSException(status);
}

OSStatus TandemParameterMap::scaleToVST(AudioUnitParameterID id, AudioUnitParameterValue value,
                                       float& scaled) const noexcept
{
    if (id >= AudioUnitParameterID(parameterCount))
        return kAudioUnitErr_InvalidParameter;
    const AudioUnitParameterInfo& published = infos[id];
    if (published.flags == 0 || !(published.minValue < published.maxValue))
        return kAudioUnitErr_InvalidParameter;
    if (std::isnan(value))
        return paramErr;
    scaled = std::min(std::max((value - published.minValue) / (published.maxValue - published.minValue), 0.0f), 1.0f);
    return noErr;
}

float TandemParameterMap::toVST(AudioUnitParameterID id, AudioUnitParameterValue value) const
{
    float scaled = 0.0f;
    const OSStatus status = scaleToVST(id, value, scaled);
    if (status != noErr)
        throw MacOSException(status);
    return scaled;
}

AudioUnitParameterValue TandemParameterMap::fromVST(AudioUnitParameterID id, float value) const
{
    const AudioUnitParameterInfo& published = infos[id];
    const AudioUnitParameterValue scaled = published.minValue + (published.maxValue - published.minValue) * value;
    if (published.unit == kAudioUnitParameterUnit_Indexed || published.unit == kAudioUnitParameterUnit_Boolean)
        return std::floor(scaled + 0.5f);
    return scaled;
}
