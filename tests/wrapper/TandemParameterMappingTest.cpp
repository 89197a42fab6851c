// The parameter mapping as a host sees it: component bundles built in
// scratch folders, each with the mapping file a test writes (or none), opened
// and read through the AudioUnit API.

#include "TandemScratchComponent.h"

#include <sys/stat.h>

#include <CoreFoundation/CFRunLoop.h>

#include <cmath>
#include <map>

TEST(ParameterMappingFile, ValidLinesArePublishedInTheirOrderAndTheRestLoggedWithTheirLineNumbers)
{
    FakeBusState& fake = resetFakeBus();
    ScratchComponent component(GRAVEL_FAKE_BUS_BUNDLE);
    const std::string longName(60, 'N');
    const std::string longLine(3000, 'x');
    component.writeMapping(header +                                   // line 1
                           "3+\tDrive\t0\t10\t=\tdB\t5\n" +           // 2: meta, custom unit
                           "\r\n" +                                   // 3: blank
                           "  ; a comment\r" +                        // 4
                           "2\tMode\t0\t2\tSoft|Hard|Off\t-\t1\r\n" + // 5: indexed
                           "3\tAgain\t0\t1\t=\t-\t0\n" +              // 6: duplicate
                           "1\tEqual\t1\t1\t=\t-\t1\n" +              // 7: min = max
                           "1\tOutside\t0\t1\t=\t-\t2\n" +            // 8: default outside
                           "1\tMode2\t0\t1\tSoft|Hard|Off\t-\t2\n" +  // 9: own numbers decide
                           "1\tOne\t0\t1\t= \t-\t0\n" +                // 10: a list of one name
                           longLine + "\n" +                          // 11: cut to 2047
                           "  1\tSwitch\t0\t1\t  b\tV\t0\n" +         // 12: boolean
                           "0\t" + longName + "\t-1\t1\t?\t-\t0");    // 13: no line end
    StderrCapture log;
    auto opened = component.open();
    ASSERT_EQ(opened->status, noErr) << log.text();
    AudioUnit unit = opened->unit;

    EXPECT_EQ(parameterList(unit), (std::vector<AudioUnitParameterID>{3, 2, 1, 0}));
    // Only the global scope lists parameters; other scopes answer an empty list.
    AudioUnitParameterID untouched[4] = {99, 99, 99, 99};
    UInt32 listSize = sizeof untouched;
    EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Input, 0, untouched,
                                   &listSize),
              noErr);
    EXPECT_EQ(listSize, 0u);
    EXPECT_EQ(untouched[0], 99u);
    EXPECT_EQ(AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global,
                                       fakeBusParameterCount, nullptr, nullptr),
              kAudioUnitErr_InvalidElement);
    const std::string logged = log.text();
    for (int line : {6, 7, 8, 9, 10})
        EXPECT_NE(logged.find("Ignored invalid parameter-mapping line (" + std::to_string(line) + "): "),
                  std::string::npos)
            << "line " << line << "\n"
            << logged;
    EXPECT_TRUE(log.contains(logLine(scratchName, "Ignored invalid parameter-mapping line (11): " +
                                                      std::string(2047, 'x'))));
    EXPECT_TRUE(log.contains(logLine(scratchName, "Successfully parsed 4 parameter-mapping lines")));

    const AudioUnitParameterInfo drive = parameterInfo(unit, 3);
    EXPECT_STREQ(drive.name, "Drive");
    EXPECT_EQ(text(drive.cfNameString), "Drive");
    EXPECT_EQ(text(drive.unitName), "dB");
    EXPECT_EQ(drive.unit, kAudioUnitParameterUnit_CustomUnit);
    EXPECT_EQ(drive.minValue, 0.0f);
    EXPECT_EQ(drive.maxValue, 10.0f);
    EXPECT_EQ(drive.defaultValue, 5.0f);
    EXPECT_EQ(drive.flags, 0xC8000000u | kAudioUnitParameterFlag_IsGlobalMeta);
    fake.parameters[3] = 0.25f;
    EXPECT_FLOAT_EQ(parameterValue(unit, 3), 2.5f);

    const AudioUnitParameterInfo mode = parameterInfo(unit, 2);
    EXPECT_EQ(mode.unit, kAudioUnitParameterUnit_Indexed);
    EXPECT_EQ(mode.unitName, nullptr);
    EXPECT_EQ(mode.maxValue, 2.0f);
    EXPECT_EQ(mode.flags, 0xC8000000u);
    EXPECT_EQ(valueStrings(unit, 2), (std::vector<std::string>{"Soft", "Hard", "Off"}));
    fake.parameters[2] = 0.5f;
    EXPECT_EQ(parameterValue(unit, 2), 1.0f);
    ASSERT_EQ(AudioUnitSetParameter(unit, 2, kAudioUnitScope_Global, 0, 2.0f, 0), noErr);
    EXPECT_EQ(fake.parameters[2], 1.0f);

    const AudioUnitParameterInfo toggle = parameterInfo(unit, 1);
    EXPECT_STREQ(toggle.name, "Switch");
    EXPECT_EQ(toggle.unit, kAudioUnitParameterUnit_Boolean);
    EXPECT_EQ(text(toggle.unitName), "V") << "a boolean keeps its unit name";
    fake.parameters[1] = 0.49f;
    EXPECT_EQ(parameterValue(unit, 1), 0.0f);
    fake.parameters[1] = 0.5f;
    EXPECT_EQ(parameterValue(unit, 1), 1.0f);
    OSStatus status = noErr;
    valueStrings(unit, 1, &status);
    EXPECT_EQ(status, kAudioUnitErr_InvalidParameter);

    // The fixed name field holds 51 characters; the CFString the whole name.
    const AudioUnitParameterInfo named = parameterInfo(unit, 0);
    EXPECT_EQ(std::string(named.name), std::string(51, 'N'));
    EXPECT_EQ(text(named.cfNameString), longName);
    EXPECT_EQ(named.flags, 0xC8200000u);
    EXPECT_EQ(named.minValue, -1.0f);
}

// Only published parameters take values, and only values the effect can
// take: an unpublished one has no range and a NaN has no place in one, so
// neither may reach the effect as NaN; a value past the range is held at its end.
TEST(ParameterMappingFile, SetParameterTakesOnlyWhatTheMappingPublishes)
{
    FakeBusState& fake = resetFakeBus();
    ScratchComponent component(GRAVEL_FAKE_BUS_BUNDLE);
    component.writeMapping(header + "3\tDrive\t0\t10\t=\t-\t5\r");
    auto opened = component.open();
    ASSERT_EQ(opened->status, noErr);
    AudioUnit unit = opened->unit;

    ASSERT_EQ(AudioUnitSetParameter(unit, 3, kAudioUnitScope_Global, 0, 2.5f, 0), noErr);
    EXPECT_FLOAT_EQ(fake.parameters[3], 0.25f);
    EXPECT_EQ(AudioUnitSetParameter(unit, 3, kAudioUnitScope_Global, 0, NAN, 0), paramErr);
    EXPECT_FLOAT_EQ(fake.parameters[3], 0.25f);
    EXPECT_EQ(AudioUnitSetParameter(unit, 3, kAudioUnitScope_Global, 0, 25.0f, 0), noErr);
    EXPECT_FLOAT_EQ(fake.parameters[3], 1.0f);
    EXPECT_EQ(AudioUnitSetParameter(unit, 3, kAudioUnitScope_Global, 0, -3.0f, 0), noErr);
    EXPECT_FLOAT_EQ(fake.parameters[3], 0.0f);

    const float before = fake.parameters[1];
    EXPECT_EQ(AudioUnitSetParameter(unit, 1, kAudioUnitScope_Global, 0, 0.5f, 0), kAudioUnitErr_InvalidParameter);
    AudioUnitParameterEvent event{};
    event.scope = kAudioUnitScope_Global;
    event.parameter = 1;
    event.eventType = kParameterEvent_Immediate;
    event.eventValues.immediate.value = 0.5f;
    EXPECT_EQ(AudioUnitScheduleParameters(unit, &event, 1), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(fake.parameters[1], before);
}

TEST(ParameterMappingFile, AFileWithOnlyItsHeaderPublishesNothingAndAnEmptyOneFailsTheOpen)
{
    resetFakeBus();
    {
        ScratchComponent component(GRAVEL_FAKE_BUS_BUNDLE);
        component.writeMapping(header);
        StderrCapture log;
        auto opened = component.open();
        ASSERT_EQ(opened->status, noErr);
        EXPECT_TRUE(parameterList(opened->unit).empty());
        EXPECT_TRUE(log.contains(logLine(scratchName, "Successfully parsed 0 parameter-mapping lines")));
    }
    {
        ScratchComponent component(GRAVEL_FAKE_BUS_BUNDLE);
        component.writeMapping("");
        auto opened = component.open();
        EXPECT_EQ(opened->status, eofErr);
    }
}

TEST(ParameterMappingFile, AMissingFileIsWrittenFromWhatTheEffectReports)
{
    for (bool tandem : {true, false}) {
        FakeTextState& fake = resetFakeText();
        fake.tandemExtensions = tandem;
        fake.parameters[1] = 0.25f;
        ScratchComponent component(GRAVEL_FAKE_TEXT_BUNDLE);
        auto opened = component.open();
        ASSERT_EQ(opened->status, noErr);

        // Numeric and linear; number with a unit; flat; falling.
        EXPECT_EQ(readText(component.mappingPath()),
                  header + "0\tGain\t-10\t10\t=\tdB\t0\r" +
                      (tandem ? "1\tDrive\t0\t1\t?\t-\t0.25\r" : "1\tDrive\t0\t1\t=\t-\t0.25\r") +
                      "2\tFlat\t3\t3\t=\t-\t3\r" + "3\tFalling\t1\t0\t=\t-\t0.5\r");
        EXPECT_EQ(parameterList(opened->unit), (std::vector<AudioUnitParameterID>{0, 1}))
            << "flat and falling lines are refused by the reader";
        EXPECT_EQ(fake.parameters[1], 0.25f) << "every parameter gets its value back";
        EXPECT_FLOAT_EQ(parameterValue(opened->unit, 0), 0.0f);
    }
}

TEST(ParameterMappingFile, AnUnwritableFolderFailsTheOpenAndSaysWhatToDo)
{
    resetFakeBus();
    ScratchComponent component(GRAVEL_FAKE_BUS_BUNDLE);
    chmod(component.resources().c_str(), 0555);
    // The superuser writes anywhere a mode allows nothing: make the folder immutable.
    const bool immutable = geteuid() == 0 &&
                           std::system(("chattr +i '" + component.resources() + "' 2>/dev/null").c_str()) == 0;
    struct Restore {
        const ScratchComponent& component;
        bool immutable;
        ~Restore()
        {
            if (immutable)
                (void)std::system(("chattr -i '" + component.resources() + "'").c_str());
            chmod(component.resources().c_str(), 0755);
        }
    } restore{component, immutable};
    if (std::ofstream(component.resources() + "/probe"))
        GTEST_SKIP() << "this user can write into any folder";

    StderrCapture log;
    auto opened = component.open();
    // Access denied, or an immutable folder's plain I/O error: the status is the file system's.
    EXPECT_TRUE(opened->status == permErr || opened->status == ioErr) << opened->status;
    EXPECT_NE(log.text().find("Could not create TNParameters.txt in " + component.resources() + " (error " +
                              std::to_string(opened->status) +
                              "): make that folder writable once, or install the bundle with its parameter mapping"),
              std::string::npos)
        << log.text();
    EXPECT_FALSE(fs::exists(component.mappingPath()));
}

TEST(ParameterMappingFile, GravelShipsItsMappingAndOpensFromAReadOnlyInstall)
{
    std::string folder = temporaryPattern("tandem-readonly");
    const std::string root = mkdtemp(folder.data());
    const std::string bundle = root + "/Gravel.vst";
    fs::copy(GRAVEL_BUNDLE_DIR, bundle, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    // Its own subtype, so it is not mistaken for the build's bundle.
    std::string plist = readText(bundle + "/Contents/Info.plist");
    const size_t at = plist.find("<string>Grvl</string>");
    ASSERT_NE(at, std::string::npos);
    plist.replace(at, 21, "<string>GrRO</string>");
    std::ofstream(bundle + "/Contents/Info.plist") << plist;

    std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> before;
    for (const auto& entry : fs::recursive_directory_iterator(bundle)) {
        if (!entry.is_symlink())
            before[entry.path()] = {entry.is_regular_file() ? entry.file_size() : 0, entry.last_write_time()};
        chmod(entry.path().c_str(), entry.is_directory() ? 0555 : 0444);
    }
    {
        OpenedUnit opened(bundle, "GrRO", "Bkfd");
        ASSERT_EQ(opened.status, noErr);
        AudioUnit unit = opened.unit;
        EXPECT_EQ(parameterList(unit), (std::vector<AudioUnitParameterID>{1, 2, 3, 0, 4, 5, 6, 7, 8, 9, 10}));
        const AudioUnitParameterInfo drive = parameterInfo(unit, 1);
        EXPECT_STREQ(drive.name, "Drive");
        EXPECT_EQ(drive.maxValue, 10.0f);
        EXPECT_EQ(parameterInfo(unit, 2).defaultValue, 5.0f);
        const AudioUnitParameterInfo input = parameterInfo(unit, 0);
        EXPECT_EQ(input.maxValue, 2.0f);
        EXPECT_EQ(text(input.unitName), "x");
        EXPECT_FLOAT_EQ(parameterValue(unit, 0), 1.0f) << "Input Level starts at 1x";
        EXPECT_EQ(parameterInfo(unit, 9).unit, kAudioUnitParameterUnit_Boolean);
        EXPECT_EQ(valueStrings(unit, 8), (std::vector<std::string>{"Mono", "Stereo"}));
        EXPECT_EQ(valueStrings(unit, 10), (std::vector<std::string>{"2x", "4x", "8x"}));
        ASSERT_EQ(AudioUnitSetParameter(unit, 10, kAudioUnitScope_Global, 0, 2.0f, 0), noErr);
        EXPECT_EQ(parameterValue(unit, 10), 2.0f);
    }
    std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> after;
    for (const auto& entry : fs::recursive_directory_iterator(bundle))
        if (!entry.is_symlink())
            after[entry.path()] = {entry.is_regular_file() ? entry.file_size() : 0, entry.last_write_time()};
    EXPECT_TRUE(before == after) << "nothing in the bundle was written";
    for (const auto& entry : fs::recursive_directory_iterator(bundle))
        chmod(entry.path().c_str(), 0755);
    chmod(bundle.c_str(), 0755);
    fs::remove_all(root);
}

namespace {

struct HeardEvent {
    AudioUnitEventType type;
    AudioUnitParameterID parameter;
    AudioUnitParameterValue value;
};

void recordEvent(void* reference, void*, const AudioUnitEvent* event, UInt64, AudioUnitParameterValue value)
{
    static_cast<std::vector<HeardEvent>*>(reference)->push_back(
        HeardEvent{event->mEventType, event->mArgument.mParameter.mParameterID, value});
}

} // namespace

TEST(ParameterMappingNotifications, AnEditorGestureReachesAnEventListenerAsBeginChangeEnd)
{
    FakeTextState& fake = resetFakeText();
    ScratchComponent component(GRAVEL_FAKE_TEXT_BUNDLE);
    component.writeMapping(header + "0\tGain\t-10\t10\t=\tdB\t0\r");
    auto opened = component.open();
    ASSERT_EQ(opened->status, noErr);
    AudioUnit unit = opened->unit;

    std::vector<HeardEvent> heard;
    AUEventListenerRef listener = nullptr;
    ASSERT_EQ(AUEventListenerCreate(recordEvent, &heard, nullptr, nullptr, 0.0f, 0.0f, &listener), noErr);
    for (AudioUnitEventType type : {kAudioUnitEvent_ParameterValueChange, kAudioUnitEvent_BeginParameterChangeGesture,
                                    kAudioUnitEvent_EndParameterChangeGesture}) {
        AudioUnitEvent event;
        std::memset(&event, 0, sizeof event);
        event.mEventType = type;
        event.mArgument.mParameter = AudioUnitParameter{unit, 0, kAudioUnitScope_Global, 0};
        ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &event), noErr);
    }

    StderrCapture log;
    fake.gestureValue = 0.75f;
    fake.gestureOnIdleParameter = 0;
    for (int i = 0; i < 100 && heard.size() < 3; ++i)
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.03, false);
    AUListenerDispose(listener);

    // The value change is announced both to parameter listeners and as an
    // event; an event listener hears both announcements.
    ASSERT_GE(heard.size(), 3u) << log.text();
    EXPECT_EQ(heard.front().type, kAudioUnitEvent_BeginParameterChangeGesture);
    EXPECT_EQ(heard.back().type, kAudioUnitEvent_EndParameterChangeGesture);
    for (size_t i = 1; i + 1 < heard.size(); ++i) {
        EXPECT_EQ(heard[i].type, kAudioUnitEvent_ParameterValueChange);
        EXPECT_FLOAT_EQ(heard[i].value, 5.0f) << "the new value, in the mapping's range";
    }
    for (const HeardEvent& event : heard)
        EXPECT_EQ(event.parameter, 0u);
    EXPECT_TRUE(log.contains(logLine(scratchName, "Notifying kAudioUnitEvent_BeginParameterChangeGesture on parameter 0")));
    EXPECT_TRUE(log.contains(logLine(scratchName, "Notifying kAudioUnitEvent_EndParameterChangeGesture on parameter 0")));
}
