// AudioUnit presets through the AudioUnit API: the factory presets a
// component generates and loads, the document state (ClassInfo), the current
// preset, and the conversion of VST preset files in the AudioUnit preset
// folders. Components are built in scratch folders around FakeProgram.vst,
// whose programs each instance keeps for itself.

#include "FakeProgramEffect.h"
#include "TandemDirectRender.h"
#include "TandemTestSupport.h"
#include "../support/ComponentBundle.h"

#include <gtest/gtest.h>

#include <CoreFoundation/CoreFoundation.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>

namespace fs = std::filesystem;

namespace {

FakePrograms& programTemplate()
{
    static void* handle = dlopen(GRAVEL_FAKE_PROGRAM_EXECUTABLE, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        throw std::runtime_error(std::string("cannot load the program effect: ") + dlerror());
    return *static_cast<FakePrograms*>(dlsym(handle, "fakeProgramTemplate"));
}

FakePrograms* latestPrograms()
{
    programTemplate();
    static void* handle = dlopen(GRAVEL_FAKE_PROGRAM_EXECUTABLE, RTLD_NOW | RTLD_LOCAL);
    return *static_cast<FakePrograms**>(dlsym(handle, "fakeProgramLatest"));
}

// The template the next effect instance copies: these programs, with
// parameter 0 = 0.1 * (i + 1) and parameter 1 = i / 10 in program i.
void setPrograms(const std::vector<std::string>& names, VstInt32 uniqueID = 0)
{
    FakePrograms& p = programTemplate();
    p = FakePrograms{};
    p.numPrograms = int(names.size());
    p.uniqueID = uniqueID;
    for (size_t i = 0; i < names.size(); ++i) {
        std::snprintf(p.names[i], sizeof p.names[i], "%s", names[i].c_str());
        p.values[i][0] = 0.1f * float(i + 1);
        p.values[i][1] = float(i) / 10.0f;
    }
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Config {
    bool autoConvert = false;
    bool presetIsFXB = false;
    bool updateNameOnLoad = false;
};

// A component bundle around FakeProgram.vst in a folder of its own, under
// a subtype of its own.
class PresetComponent {
public:
    explicit PresetComponent(Config config = Config(), const std::string& name = "Test: Presets",
                             const std::string& effect = GRAVEL_FAKE_PROGRAM_BUNDLE, int publishedParameters = 2)
        : name(name)
    {
        std::string folder = temporaryPattern("tandem-presets");
        root = mkdtemp(folder.data());
        static int count = 0;
        std::snprintf(subtype, sizeof subtype, "P%03d", ++count % 1000);
        ComponentBundle component{"Tandem", subtype, "Test", name};
        component.autoConvertPresets = config.autoConvert;
        component.presetIsFXB = config.presetIsFXB;
        component.updateNameOnLoad = config.updateNameOnLoad;
        component.write(bundle(), GRAVEL_TANDEM_EXECUTABLE, effect);
        std::ofstream mapping(resources() + "/TNParameters.txt");
        mapping << "vst param #\tname\tmin\tmax\tdisplay\tunit\tdefault\n";
        for (int i = 0; i < publishedParameters; ++i)
            mapping << i << "\tP" << i << "\t0\t1\t=\t-\t0\n";
    }
    ~PresetComponent()
    {
        std::error_code error;
        fs::remove_all(root, error);
    }
    PresetComponent(const PresetComponent&) = delete;
    PresetComponent& operator=(const PresetComponent&) = delete;

    std::string bundle() const { return root + "/Presets.component"; }
    std::string resources() const { return bundle() + "/Contents/Resources"; }
    std::string resource(const std::string& file) const { return resources() + "/" + file; }
    std::unique_ptr<OpenedUnit> open() const
    {
        auto unit = std::make_unique<OpenedUnit>(bundle(), subtype);
        EXPECT_EQ(unit->status, noErr);
        return unit;
    }
    std::string folder() const { return root; }

    const std::string name;
    char subtype[16];

private:
    std::string root;
};

std::string text(CFStringRef string)
{
    if (!string)
        return "(null)";
    char buffer[1024];
    return CFStringGetCString(string, buffer, sizeof buffer, kCFStringEncodingUTF8) ? buffer : "?";
}

CFTypeRef value(CFDictionaryRef dictionary, const char* key)
{
    CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFTypeRef v = CFDictionaryGetValue(dictionary, k);
    CFRelease(k);
    return v;
}

SInt32 number(CFDictionaryRef dictionary, const char* key)
{
    SInt32 n = -999;
    CFNumberGetValue(static_cast<CFNumberRef>(value(dictionary, key)), kCFNumberSInt32Type, &n);
    return n;
}

std::string dataBytes(CFDictionaryRef dictionary)
{
    CFDataRef data = static_cast<CFDataRef>(value(dictionary, "vstdata"));
    return std::string(reinterpret_cast<const char*>(CFDataGetBytePtr(data)), size_t(CFDataGetLength(data)));
}

void setNumber(CFMutableDictionaryRef dictionary, const char* key, SInt32 n)
{
    CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFNumberRef v = CFNumberCreate(nullptr, kCFNumberSInt32Type, &n);
    CFDictionarySetValue(dictionary, k, v);
    CFRelease(k);
    CFRelease(v);
}

// A preset file as a dictionary (the caller releases it); null when it is none.
CFDictionaryRef readPresetFile(const std::string& path)
{
    const std::string bytes = readFile(path);
    CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()), CFIndex(bytes.size()));
    CFPropertyListRef list = CFPropertyListCreateFromXMLData(nullptr, data, kCFPropertyListImmutable, nullptr);
    CFRelease(data);
    if (list && CFGetTypeID(list) != CFDictionaryGetTypeID()) {
        CFRelease(list);
        return nullptr;
    }
    return static_cast<CFDictionaryRef>(list);
}

CFDictionaryRef classInfo(AudioUnit unit)
{
    CFPropertyListRef info = nullptr;
    UInt32 size = sizeof info;
    EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &info, &size),
              noErr);
    EXPECT_EQ(size, sizeof info);
    return static_cast<CFDictionaryRef>(info);
}

OSStatus setClassInfo(AudioUnit unit, CFPropertyListRef info)
{
    return AudioUnitSetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &info, sizeof info);
}

std::vector<std::string> factoryPresetNames(AudioUnit unit, OSStatus* status = nullptr)
{
    CFArrayRef presets = nullptr;
    UInt32 size = sizeof presets;
    const OSStatus result = AudioUnitGetProperty(unit, kAudioUnitProperty_FactoryPresets, kAudioUnitScope_Global, 0,
                                                 &presets, &size);
    if (status)
        *status = result;
    std::vector<std::string> names;
    if (result != noErr)
        return names;
    for (CFIndex i = 0; i < CFArrayGetCount(presets); ++i) {
        const AUPreset* preset = static_cast<const AUPreset*>(CFArrayGetValueAtIndex(presets, i));
        EXPECT_EQ(preset->presetNumber, SInt32(i));
        names.push_back(text(preset->presetName));
    }
    CFRelease(presets);
    return names;
}

OSStatus selectPreset(AudioUnit unit, SInt32 number, AudioUnitPropertyID id = kAudioUnitProperty_PresentPreset)
{
    AUPreset preset = {number, nullptr};
    return AudioUnitSetProperty(unit, id, kAudioUnitScope_Global, 0, &preset, sizeof preset);
}

AUPreset currentPreset(AudioUnit unit, AudioUnitPropertyID id = kAudioUnitProperty_PresentPreset)
{
    AUPreset preset = {-99, nullptr};
    UInt32 size = sizeof preset;
    EXPECT_EQ(AudioUnitGetProperty(unit, id, kAudioUnitScope_Global, 0, &preset, &size), noErr);
    EXPECT_EQ(size, sizeof preset);
    return preset;
}

// One slice of 256 frames of the ramp through the unit, both channels.
std::vector<float> render(AudioUnit unit)
{
    static RampSource source;
    AURenderCallbackStruct callback = source.callback();
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &callback,
                                   sizeof callback),
              noErr);
    EXPECT_EQ(AudioUnitInitialize(unit), noErr);
    EXPECT_EQ(AudioUnitReset(unit, kAudioUnitScope_Global, 0), noErr);
    BufferList out(2, 256);
    AudioTimeStamp stamp = sampleTime(0);
    EXPECT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 256, out.get()), noErr);
    AudioUnitUninitialize(unit);
    std::vector<float> samples(out.channel(0), out.channel(0) + 256);
    samples.insert(samples.end(), out.channel(1), out.channel(1) + 256);
    return samples;
}

std::vector<float> parameterValues(AudioUnit unit)
{
    std::vector<float> values;
    for (AudioUnitParameterID id = 0; id < fakeProgramParameterCount; ++id) {
        AudioUnitParameterValue v = -1;
        EXPECT_EQ(AudioUnitGetParameter(unit, id, kAudioUnitScope_Global, 0, &v), noErr);
        values.push_back(v);
    }
    return values;
}

std::set<std::string> filesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

void listener(void* calls, AudioUnit, AudioUnitPropertyID id, AudioUnitScope, AudioUnitElement)
{
    static_cast<std::vector<AudioUnitPropertyID>*>(calls)->push_back(id);
}

} // namespace

TEST(TandemPresets, FirstConstructionWritesOnePresetFilePerDistinctProgramAndLoadsThemBack)
{
    setPrograms({"Init", "Init", "  Lead  ", "Init", "   "});
    PresetComponent component;
    auto unit = component.open();
    ASSERT_EQ(unit->status, noErr);

    EXPECT_EQ(readFile(component.resource("TNFactoryPresets.txt")), "Init.aupreset\rLead.aupreset\rInit.aupreset\r");
    std::set<std::string> expected = {"Effect.vst", "TNParameters.txt", "TNFactoryPresets.txt", "Init.aupreset",
                                      "Lead.aupreset"};
    EXPECT_EQ(filesIn(component.resources()), expected);
    EXPECT_EQ(factoryPresetNames(unit->unit), (std::vector<std::string>{"Init", "Lead", "Init"}));

    // A converted file has six keys; the fourth program replaced the first.
    CFDictionaryRef init = readPresetFile(component.resource("Init.aupreset"));
    ASSERT_NE(init, nullptr);
    EXPECT_EQ(CFDictionaryGetCount(init), 6);
    EXPECT_EQ(number(init, "version"), 1);
    EXPECT_EQ(OSType(number(init, "subtype")), fourCC(component.subtype));
    EXPECT_EQ(OSType(number(init, "manufacturer")), fourCC("Test"));
    EXPECT_EQ(OSType(number(init, "type")), fourCC("aufx"));
    CFRelease(init);

    // Factory presets 0 and 2 both hold the fourth program's values.
    ASSERT_EQ(selectPreset(unit->unit, 1), noErr);
    EXPECT_EQ(parameterValues(unit->unit), (std::vector<float>{0.3f, 0.2f}));
    ASSERT_EQ(selectPreset(unit->unit, 0), noErr);
    EXPECT_EQ(parameterValues(unit->unit), (std::vector<float>{0.4f, 0.3f}));
    const AUPreset current = currentPreset(unit->unit, kAudioUnitProperty_CurrentPreset);
    EXPECT_EQ(current.presetNumber, 0);
    EXPECT_EQ(text(current.presetName), "Init");
    unit->dispose();

    // Later constructions only read the list.
    std::ofstream(component.resource("TNFactoryPresets.txt"), std::ios::binary) << "Lead.aupreset\n";
    auto again = component.open();
    EXPECT_EQ(factoryPresetNames(again->unit), (std::vector<std::string>{"Lead"}));
    EXPECT_EQ(filesIn(component.resources()), expected);
}

TEST(TandemPresets, APresetFileThatCannotBeWrittenLeavesTheOneItReplaces)
{
    setPrograms({"Init"});
    PresetComponent component;
    std::ofstream(component.resource("Init.aupreset")) << "the user's own preset";
    // The file the new preset is written to first cannot be made: a folder
    // that is not empty holds its name.
    const std::string blocked = component.resource(".Init.aupreset." + std::to_string(getpid()) + ".tmp");
    fs::create_directories(blocked + "/inside");
    OpenedUnit unit(component.bundle(), component.subtype);
    // Generating the factory presets fails, and so does the open.
    EXPECT_NE(unit.status, noErr);
    EXPECT_EQ(readFile(component.resource("Init.aupreset")), "the user's own preset");
    EXPECT_FALSE(fs::exists(component.resource("TNFactoryPresets.txt")));
}

TEST(TandemPresets, ProgramNamesNeverWriteOutsideTheirFolder)
{
    setPrograms({"../../x", "a/b", "..", ".hidden", "."});
    PresetComponent component;
    const auto before = filesIn(component.folder());
    auto unit = component.open();
    ASSERT_EQ(unit->status, noErr);

    EXPECT_EQ(filesIn(component.folder()), before);
    EXPECT_EQ(readFile(component.resource("TNFactoryPresets.txt")),
              "_..-..-x.aupreset\ra-b.aupreset\r_...aupreset\r_.hidden.aupreset\r_..aupreset\r");
    // The presets keep the names the programs have.
    EXPECT_EQ(factoryPresetNames(unit->unit), (std::vector<std::string>{"../../x", "a/b", "..", ".hidden", "."}));
}

TEST(TandemPresets, BankConfigurationWritesOneBankPresetNamedDefault)
{
    setPrograms({"One", "Two", "Three"});
    PresetComponent component(Config{false, true, false});
    StderrCapture log;
    auto unit = component.open();
    ASSERT_EQ(unit->status, noErr);

    EXPECT_EQ(readFile(component.resource("TNFactoryPresets.txt")), "FactoryPreset.aupreset\r");
    EXPECT_TRUE(log.contains(logLine(component.name, "Converted single fxb factory preset")));
    EXPECT_EQ(factoryPresetNames(unit->unit), (std::vector<std::string>{"Default"}));
    CFDictionaryRef bank = readPresetFile(component.resource("FactoryPreset.aupreset"));
    ASSERT_NE(bank, nullptr);
    EXPECT_EQ(dataBytes(bank).substr(8, 4), "FxBk");
    CFRelease(bank);

    // The document state is the whole bank too.
    CFDictionaryRef info = classInfo(unit->unit);
    EXPECT_EQ(dataBytes(info).substr(8, 4), "FxBk");
    CFRelease(info);
}

TEST(TandemPresets, TheListIsReadLineByLineUpTo128PresetsAndStopsAtABadFile)
{
    setPrograms({"Init"});
    PresetComponent component;
    {
        // Generate one preset file to copy.
        auto unit = component.open();
    }
    const std::string preset = readFile(component.resource("Init.aupreset"));
    std::string list = "; factory sounds\r\n\r\n   \n";
    for (int i = 0; i < 130; ++i) {
        const std::string file = "P " + std::to_string(i) + " .aupreset";
        std::ofstream(component.resource(file), std::ios::binary) << preset;
        list += "  " + file + (i % 3 == 0 ? "\r" : i % 3 == 1 ? "\n" : "\r\n");
    }
    std::ofstream(component.resource("TNFactoryPresets.txt"), std::ios::binary) << list;
    {
        StderrCapture log;
        auto unit = component.open();
        ASSERT_EQ(unit->status, noErr);
        EXPECT_EQ(factoryPresetNames(unit->unit).size(), 128u);
        EXPECT_TRUE(log.contains(logLine(component.name, "Successfully loaded 128 factory presets")));
    }

    // A listed file that is not a property list ends the loading there.
    std::ofstream(component.resource("Broken.aupreset"), std::ios::binary) << "not a property list";
    std::ofstream(component.resource("TNFactoryPresets.txt"), std::ios::binary)
        << "P 0 .aupreset\rBroken.aupreset\rP 1 .aupreset\r";
    {
        StderrCapture log;
        auto unit = component.open();
        ASSERT_EQ(unit->status, noErr);
        EXPECT_EQ(factoryPresetNames(unit->unit).size(), 1u);
        bool logged = false;
        for (const std::string& line : log.lines())
            logged = logged || line.rfind(logLine(component.name, "Failed loading factory presets, caught exception: "
                                                                  "Could not create property list from XML data"),
                                          0) == 0;
        EXPECT_TRUE(logged) << log.text();
    }

    // An empty list offers no factory presets at all; a listed name that
    // would leave the folder is not followed.
    for (const char* contents : {"", "../Resources/P 0 .aupreset\r"}) {
        std::ofstream(component.resource("TNFactoryPresets.txt"), std::ios::binary) << contents;
        auto unit = component.open();
        ASSERT_EQ(unit->status, noErr);
        OSStatus status = noErr;
        EXPECT_TRUE(factoryPresetNames(unit->unit, &status).empty());
        EXPECT_EQ(status, kAudioUnitErr_InvalidProperty);
    }
}

TEST(TandemPresets, DocumentStateRestoresAFreshInstanceAndRefusesOtherComponents)
{
    setPrograms({"Clean", "Crunch", "Lead"});
    PresetComponent component;
    auto first = component.open();
    latestPrograms()->current = 2; // chosen in the effect's own editor
    ASSERT_EQ(AudioUnitSetParameter(first->unit, 0, kAudioUnitScope_Global, 0, 0.77f, 0), noErr);
    ASSERT_EQ(AudioUnitSetParameter(first->unit, 1, kAudioUnitScope_Global, 0, 0.25f, 0), noErr);
    // A host reads the current preset before it saves the document.
    CFRelease(currentPreset(first->unit).presetName);
    CFDictionaryRef saved = classInfo(first->unit);
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(CFDictionaryGetCount(saved), 7);
    EXPECT_EQ(number(saved, "ProgramNumber"), 2);
    EXPECT_EQ(text(static_cast<CFStringRef>(value(saved, "name"))), "Lead");
    const std::vector<float> expected = render(first->unit);

    auto fresh = component.open();
    const std::vector<float> untouched = render(fresh->unit);
    ASSERT_NE(untouched, expected);

    // Another component's document, a wrong version, and values of the
    // wrong type are refused before anything changes.
    CFMutableDictionaryRef other = CFDictionaryCreateMutableCopy(nullptr, 0, saved);
    setNumber(other, "subtype", SInt32(fourCC("Othr")));
    EXPECT_EQ(setClassInfo(fresh->unit, other), kAudioUnitErr_InvalidPropertyValue);
    setNumber(other, "subtype", SInt32(fourCC(component.subtype)));
    setNumber(other, "version", 0);
    EXPECT_EQ(setClassInfo(fresh->unit, other), kAudioUnitErr_InvalidPropertyValue);
    CFStringRef versionKey = CFStringCreateWithCString(nullptr, "version", kCFStringEncodingUTF8);
    CFDictionarySetValue(other, versionKey, versionKey);
    EXPECT_EQ(setClassInfo(fresh->unit, other), kAudioUnitErr_InvalidPropertyValue);
    CFRelease(versionKey);
    CFRelease(other);
    // A document lacking a key asks for program 2 in vain: nothing changes.
    for (const char* key : {"vstdata", "name", "manufacturer"}) {
        CFMutableDictionaryRef lacking = CFDictionaryCreateMutableCopy(nullptr, 0, saved);
        CFStringRef missing = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
        CFDictionaryRemoveValue(lacking, missing);
        EXPECT_EQ(setClassInfo(fresh->unit, lacking), kAudioUnitErr_InvalidPropertyValue) << key;
        EXPECT_EQ(latestPrograms()->current, 0) << key;
        CFRelease(missing);
        CFRelease(lacking);
    }
    EXPECT_EQ(setClassInfo(fresh->unit, nullptr), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(setClassInfo(fresh->unit, kCFBooleanTrue), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(render(fresh->unit), untouched);
    EXPECT_EQ(latestPrograms()->current, 0);

    std::vector<AudioUnitPropertyID> calls;
    ASSERT_EQ(AudioUnitAddPropertyListener(fresh->unit, kAudioUnitProperty_PresentPreset, listener, &calls), noErr);
    ASSERT_EQ(AudioUnitAddPropertyListener(fresh->unit, kAudioUnitProperty_CurrentPreset, listener, &calls), noErr);
    ASSERT_EQ(setClassInfo(fresh->unit, saved), noErr);
    EXPECT_EQ(calls, (std::vector<AudioUnitPropertyID>{kAudioUnitProperty_CurrentPreset,
                                                       kAudioUnitProperty_PresentPreset}));
    EXPECT_EQ(render(fresh->unit), expected);
    EXPECT_EQ(parameterValues(fresh->unit), parameterValues(first->unit));
    const AUPreset current = currentPreset(fresh->unit);
    EXPECT_EQ(current.presetNumber, -1);
    EXPECT_EQ(text(current.presetName), "Lead");
    CFRelease(current.presetName);

    // A program number out of range selects program 0.
    CFMutableDictionaryRef outOfRange = CFDictionaryCreateMutableCopy(nullptr, 0, saved);
    setNumber(outOfRange, "ProgramNumber", 3);
    ASSERT_EQ(setClassInfo(fresh->unit, outOfRange), noErr);
    EXPECT_EQ(latestPrograms()->current, 0);
    EXPECT_EQ(render(fresh->unit), expected);
    CFRelease(outOfRange);
    CFRelease(saved);
}

TEST(TandemPresets, DocumentStateRenamesTheProgramOnlyWhenConfiguredTo)
{
    setPrograms({"Clean", "Crunch"});
    PresetComponent renaming(Config{false, false, true});
    auto unit = renaming.open();
    CFDictionaryRef saved = classInfo(unit->unit);
    CFMutableDictionaryRef info = CFDictionaryCreateMutableCopy(nullptr, 0, saved);
    CFRelease(saved);
    CFStringRef nameKey = CFStringCreateWithCString(nullptr, "name", kCFStringEncodingUTF8);
    CFStringRef name = CFStringCreateWithCString(nullptr, "My Song Sound", kCFStringEncodingUTF8);
    CFDictionarySetValue(info, nameKey, name);
    ASSERT_EQ(setClassInfo(unit->unit, info), noErr);
    EXPECT_STREQ(latestPrograms()->names[0], "My Song Sound");
    AUPreset current = currentPreset(unit->unit);
    EXPECT_EQ(text(current.presetName), "My Song Sound");
    CFRelease(current.presetName);
    unit->dispose();

    PresetComponent keeping;
    auto other = keeping.open();
    setNumber(info, "subtype", SInt32(fourCC(keeping.subtype)));
    ASSERT_EQ(setClassInfo(other->unit, info), noErr);
    // The program's name comes from the FXP record itself.
    EXPECT_STREQ(latestPrograms()->names[0], "Clean");
    CFRelease(name);
    CFRelease(nameKey);
    CFRelease(info);
}

TEST(TandemPresets, CurrentAndPresentPresetFollowTheRules)
{
    setPrograms({"Clean", "Lead"});
    PresetComponent component;
    auto unit = component.open();
    AudioUnit au = unit->unit;

    UInt32 size = 0;
    Boolean writable = false;
    ASSERT_EQ(AudioUnitGetPropertyInfo(au, kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0, &size,
                                       &writable),
              noErr);
    EXPECT_EQ(size, 16u);
    EXPECT_TRUE(writable);
    EXPECT_EQ(AudioUnitGetPropertyInfo(au, kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Input, 0, &size,
                                       &writable),
              kAudioUnitErr_InvalidScope);

    // Four bytes carry the number alone.
    SInt32 numberOnly = -99;
    size = sizeof numberOnly;
    ASSERT_EQ(AudioUnitGetProperty(au, kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0, &numberOnly,
                                   &size),
              noErr);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(numberOnly, -1);
    numberOnly = 1;
    ASSERT_EQ(AudioUnitSetProperty(au, kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0, &numberOnly,
                                   sizeof numberOnly),
              noErr);
    AUPreset current = currentPreset(au, kAudioUnitProperty_CurrentPreset);
    EXPECT_EQ(current.presetNumber, 1);
    EXPECT_EQ(text(current.presetName), "Lead");

    // Numbers past the factory presets are refused; the preset stays.
    EXPECT_EQ(selectPreset(au, 2), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(currentPreset(au, kAudioUnitProperty_CurrentPreset).presetNumber, 1);

    std::vector<AudioUnitPropertyID> calls, unrelated;
    ASSERT_EQ(AudioUnitAddPropertyListener(au, kAudioUnitProperty_CurrentPreset, listener, &calls), noErr);
    ASSERT_EQ(AudioUnitAddPropertyListener(au, kAudioUnitProperty_PresentPreset, listener, &calls), noErr);
    ASSERT_EQ(AudioUnitAddPropertyListener(au, kAudioUnitProperty_StreamFormat, listener, &unrelated), noErr);

    // A user preset with a name renames the effect's program.
    CFStringRef name = CFStringCreateWithCString(nullptr, "Lead 2", kCFStringEncodingUTF8);
    AUPreset user = {-1, name};
    ASSERT_EQ(AudioUnitSetProperty(au, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0, &user,
                                   sizeof user),
              noErr);
    EXPECT_STREQ(latestPrograms()->names[latestPrograms()->current], "Lead 2");
    EXPECT_EQ(calls, (std::vector<AudioUnitPropertyID>{kAudioUnitProperty_CurrentPreset,
                                                       kAudioUnitProperty_PresentPreset}));
    // The same user preset again changes nothing and tells nobody.
    ASSERT_EQ(AudioUnitSetProperty(au, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0, &user,
                                   sizeof user),
              noErr);
    EXPECT_EQ(calls.size(), 2u);
    current = currentPreset(au);
    EXPECT_EQ(current.presetNumber, -1);
    EXPECT_EQ(text(current.presetName), "Lead 2");
    EXPECT_GE(CFGetRetainCount(current.presetName), 2); // PresentPreset hands out a reference
    CFRelease(current.presetName);
    CFRelease(name);

    // The effect renaming its program reaches the listeners through its
    // display update.
    calls.clear();
    std::snprintf(latestPrograms()->renameOnIdle, 25, "Renamed");
    for (int i = 0; i < 20 && calls.empty(); ++i)
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.03, false);
    EXPECT_EQ(calls, (std::vector<AudioUnitPropertyID>{kAudioUnitProperty_CurrentPreset,
                                                       kAudioUnitProperty_PresentPreset}));
    current = currentPreset(au, kAudioUnitProperty_CurrentPreset);
    EXPECT_EQ(text(current.presetName), "Renamed");
    EXPECT_TRUE(unrelated.empty());
}

TEST(TandemPresets, VSTPresetFilesAreConvertedOnceInTheUserAndLocalFolders)
{
    setPrograms({"Soft", "Hard"});
    // Program and bank data of this effect, and a bank of another effect.
    std::string fxp, fxb, otherFxb;
    {
        PresetComponent programs;
        auto unit = programs.open();
        CFDictionaryRef info = classInfo(unit->unit);
        fxp = dataBytes(info);
        CFRelease(info);
    }
    {
        PresetComponent banks(Config{false, true, false});
        auto unit = banks.open();
        CFDictionaryRef info = classInfo(unit->unit);
        fxb = dataBytes(info);
        CFRelease(info);
    }
    setPrograms({"Soft", "Hard"}, vstFourCC('O', 't', 'h', 'r'));
    {
        PresetComponent banks(Config{false, true, false});
        auto unit = banks.open();
        CFDictionaryRef info = classInfo(unit->unit);
        otherFxb = dataBytes(info);
        CFRelease(info);
    }
    setPrograms({"Soft", "Hard"});

    std::string folder = temporaryPattern("tandem-support");
    const std::string support = mkdtemp(folder.data());
    // The name's parts are folders; a part ".." stays a folder inside.
    const std::string presets = support + "/Presets/Test Maker/_../Gravel";
    fs::create_directories(presets);
    std::ofstream(presets + "/Clean.fxp", std::ios::binary) << fxp;
    std::ofstream(presets + "/Bank.FXB", std::ios::binary) << fxb;
    std::ofstream(presets + "/Other.fxb", std::ios::binary) << otherFxb;
    std::ofstream(presets + "/notes.txt") << "not a preset";
    // The longest name a file may have: the preset's name is cut so that
    // ".aupreset" still fits.
    const std::string longName(251, 'L');
    std::ofstream(presets + "/" + longName + ".fxp", std::ios::binary) << fxp;
    setenv("AU_USER_SUPPORT", support.c_str(), 1);
    setenv("AU_LOCAL_SUPPORT", (support + "/missing").c_str(), 1);

    PresetComponent component(Config{true, false, false}, " Test Maker : : .. :Gravel");
    {
        StderrCapture log;
        auto unit = component.open();
        ASSERT_EQ(unit->status, noErr);
        EXPECT_TRUE(log.contains(logLine(component.name, "Found fxp: " + presets + "/Clean.fxp")));
        EXPECT_TRUE(log.contains(logLine(component.name, "Successfully converted fxp to single preset")));
        EXPECT_TRUE(log.contains(logLine(component.name, "Successfully converted fxb to multiple presets")));
        EXPECT_TRUE(log.contains(logLine(component.name, "Failed converting preset, caught exception: Invalid "
                                                         "format of FXP / FXB data")))
            << log.text();
        bool localLogged = false;
        for (const std::string& line : log.lines())
            localLogged = localLogged ||
                          line.rfind(logLine(component.name, "Failed converting presets in local domain, caught exception"),
                                     0) == 0;
        EXPECT_TRUE(localLogged);
    }
    CFDictionaryRef clean = readPresetFile(presets + "/Clean.aupreset");
    ASSERT_NE(clean, nullptr);
    EXPECT_EQ(CFDictionaryGetCount(clean), 6);
    EXPECT_EQ(text(static_cast<CFStringRef>(value(clean, "name"))), "Clean");
    EXPECT_EQ(dataBytes(clean), fxp);
    CFRelease(clean);
    EXPECT_EQ(filesIn(presets + "/Bank"), (std::set<std::string>{"Soft.aupreset", "Hard.aupreset"}));
    EXPECT_TRUE(fs::exists(presets + "/" + longName.substr(0, 246) + ".aupreset"));
    EXPECT_TRUE(filesIn(presets + "/Other").empty());
    EXPECT_EQ(filesIn(support + "/Presets/Test Maker"), std::set<std::string>{"_.."});

    // A second construction leaves everything alone.
    const auto cleanTime = fs::last_write_time(presets + "/Clean.aupreset");
    {
        StderrCapture log;
        auto unit = component.open();
        EXPECT_FALSE(log.contains(logLine(component.name, "Successfully converted fxp to single preset")));
        EXPECT_FALSE(log.contains(logLine(component.name, "Successfully converted fxb to multiple presets")));
    }
    EXPECT_EQ(fs::last_write_time(presets + "/Clean.aupreset"), cleanTime);

    // With whole banks, a bank becomes one preset and programs are passed over.
    PresetComponent banks(Config{true, true, false}, "Test Maker: Banks");
    fs::create_directories(support + "/Presets/Test Maker/Banks");
    std::ofstream(support + "/Presets/Test Maker/Banks/Bank.FXB", std::ios::binary) << fxb;
    std::ofstream(support + "/Presets/Test Maker/Banks/Single.fxp", std::ios::binary) << fxp;
    banks.open();
    EXPECT_EQ(filesIn(support + "/Presets/Test Maker/Banks"),
              (std::set<std::string>{"Bank.FXB", "Bank.aupreset", "Single.fxp"}));

    unsetenv("AU_USER_SUPPORT");
    unsetenv("AU_LOCAL_SUPPORT");
    fs::remove_all(support);
}

TEST(TandemPresets, GravelDocumentStateRendersIdenticallyInAFreshInstance)
{
    // The bundle ships its generated factory presets.
    EXPECT_EQ(readFile(std::string(GRAVEL_BUNDLE_DIR) + "/Contents/Resources/TNFactoryPresets.txt"),
              "Init 1.aupreset\rClean Boost.aupreset\rEdge of Breakup.aupreset\rCrunch.aupreset\rLead.aupreset\r"
              "Fat Lead.aupreset\r");
    ASSERT_TRUE(fs::exists(std::string(GRAVEL_BUNDLE_DIR) + "/Contents/Resources/Init 1.aupreset"));
    // So opening it writes nothing there, as a read-only installation needs.
    auto resourcesState = [] {
        std::map<std::string, fs::file_time_type> state;
        for (const auto& entry : fs::directory_iterator(std::string(GRAVEL_BUNDLE_DIR) + "/Contents/Resources"))
            state[entry.path().filename().string()] = entry.last_write_time();
        return state;
    };
    const auto shipped = resourcesState();

    OpenedUnit first(GRAVEL_BUNDLE_DIR, "Grvl", "Bkfd");
    ASSERT_EQ(first.status, noErr);
    EXPECT_EQ(factoryPresetNames(first.unit), (std::vector<std::string>{"Init 1", "Clean Boost", "Edge of Breakup",
                                                                        "Crunch", "Lead", "Fat Lead"}));
    UInt32 size = 0;
    ASSERT_EQ(AudioUnitGetPropertyInfo(first.unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0,
                                       &size, nullptr),
              noErr);
    std::vector<AudioUnitParameterID> ids(size / sizeof(AudioUnitParameterID));
    ASSERT_FALSE(ids.empty());
    ASSERT_EQ(AudioUnitGetProperty(first.unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0,
                                   ids.data(), &size),
              noErr);
    std::map<AudioUnitParameterID, AudioUnitParameterValue> values;
    for (AudioUnitParameterID id : ids) {
        AudioUnitParameterInfo info;
        size = sizeof info;
        ASSERT_EQ(AudioUnitGetProperty(first.unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id,
                                       &info, &size),
                  noErr);
        // Away from the defaults, so the document carries every value.
        const AudioUnitParameterValue v = info.maxValue - (info.maxValue - info.minValue) * 0.3f;
        ASSERT_EQ(AudioUnitSetParameter(first.unit, id, kAudioUnitScope_Global, 0, v, 0), noErr);
    }
    for (AudioUnitParameterID id : ids)
        AudioUnitGetParameter(first.unit, id, kAudioUnitScope_Global, 0, &values[id]);
    CFDictionaryRef saved = classInfo(first.unit);
    const std::vector<float> expected = render(first.unit);

    OpenedUnit fresh(GRAVEL_BUNDLE_DIR, "Grvl", "Bkfd");
    ASSERT_EQ(fresh.status, noErr);
    ASSERT_EQ(setClassInfo(fresh.unit, saved), noErr);
    for (AudioUnitParameterID id : ids) {
        AudioUnitParameterValue v = -1;
        AudioUnitGetParameter(fresh.unit, id, kAudioUnitScope_Global, 0, &v);
        EXPECT_EQ(v, values[id]) << "parameter " << id;
    }
    EXPECT_EQ(render(fresh.unit), expected);
    CFRelease(saved);
    EXPECT_EQ(resourcesState(), shipped);
}

TEST(TandemPresets, AnotherMakersEffectRoundTripsThroughTheDocumentState)
{
    if (!fs::exists(GRAVEL_LSP_COMPRESSOR))
        GTEST_SKIP() << "LSP's compressor is not installed (scripts/deps.sh installs it)";
    // Kept loaded, with the library that holds LSP's code, as the other
    // tests of this effect do: its one-time allocations would otherwise be
    // reported as leaks when it is unloaded.
    static void* keptLoaded = dlopen(GRAVEL_LSP_COMPRESSOR, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(keptLoaded, nullptr);
    static const bool coreKeptLoaded = [] {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(fs::path(GRAVEL_LSP_COMPRESSOR).parent_path(), error))
            if (entry.path().filename().string().rfind("lsp-plugins-vst2-", 0) == 0)
                return dlopen(entry.path().c_str(), RTLD_NOW | RTLD_LOCAL) != nullptr;
        return false;
    }();
    (void)coreKeptLoaded;
    // The guitar riff at 48 kHz, from a freshly reset effect.
    auto renderRiff = [](AudioUnit unit) {
        UInt32 frames = 1024;
        EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                                       &frames, sizeof frames),
                  noErr);
        const AudioStreamBasicDescription format = floatFormat(48000, 2);
        EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &format,
                                       sizeof format),
                  noErr);
        AURenderCallbackStruct callback = {riffSource, nullptr};
        EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                                       &callback, sizeof callback),
                  noErr);
        EXPECT_EQ(AudioUnitInitialize(unit), noErr);
        EXPECT_EQ(AudioUnitReset(unit, kAudioUnitScope_Global, 0), noErr);
        const std::vector<float> samples = renderRiffThroughAudioUnit(unit);
        AudioUnitUninitialize(unit);
        return samples;
    };
    PresetComponent component(Config(), "Test: LSP Presets", GRAVEL_LSP_BUNDLE, 12);
    // Gains and side-chain settings: continuous, so their values read back
    // as set (the compressor rounds its switches).
    const AudioUnitParameterID continuous[] = {1, 2, 10, 11};
    auto first = component.open();
    ASSERT_EQ(first->status, noErr);
    for (AudioUnitParameterID id : continuous)
        ASSERT_EQ(AudioUnitSetParameter(first->unit, id, kAudioUnitScope_Global, 0, 0.2f + 0.05f * float(id), 0),
                  noErr);
    std::vector<float> values;
    for (AudioUnitParameterID id : continuous) {
        AudioUnitParameterValue v = -1;
        AudioUnitGetParameter(first->unit, id, kAudioUnitScope_Global, 0, &v);
        values.push_back(v);
    }
    CFDictionaryRef saved = classInfo(first->unit);
    ASSERT_NE(saved, nullptr);
    const std::vector<float> expected = renderRiff(first->unit);

    auto fresh = component.open();
    ASSERT_EQ(fresh->status, noErr);
    ASSERT_EQ(setClassInfo(fresh->unit, saved), noErr);
    for (size_t i = 0; i < values.size(); ++i) {
        AudioUnitParameterValue v = -1;
        AudioUnitGetParameter(fresh->unit, continuous[i], kAudioUnitScope_Global, 0, &v);
        EXPECT_FLOAT_EQ(v, values[i]) << "parameter " << continuous[i];
    }
    EXPECT_EQ(renderRiff(fresh->unit), expected);
    ASSERT_FALSE(expected.empty());
    // The effect glides to new gains even across a reset, so the instance
    // that renders untouched settings is a third one.
    auto untouched = component.open();
    EXPECT_NE(renderRiff(untouched->unit), expected);
    CFRelease(saved);
}
