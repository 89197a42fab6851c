// Foot control as a pedalboard sends it: which control changes reach which
// parameter, and with what value.

#include "live/MidiControlMap.h"

#include <gtest/gtest.h>

namespace {

struct Translated {
    bool mapped;
    int parameter;
    float value;
};

Translated send(const MidiControlMap& map, unsigned char status, unsigned char controller, unsigned char value,
                size_t size = 3)
{
    const unsigned char message[3] = {status, controller, value};
    Translated t{false, -1, -1.0f};
    t.mapped = map.translate(message, size, t.parameter, t.value);
    return t;
}

} // namespace

TEST(MidiControlMap, BindingsAreReadAsWrittenAndRefusedOutsideMidisRanges)
{
    ControlBinding binding;
    std::string error;
    ASSERT_TRUE(parseControlBinding("11=drive", binding, error));
    EXPECT_EQ(binding.channel, 0) << "no channel: any channel";
    EXPECT_EQ(binding.controller, 11);
    EXPECT_EQ(binding.parameter, "drive");
    ASSERT_TRUE(parseControlBinding("16:127=input level", binding, error));
    EXPECT_EQ(binding.channel, 16);
    EXPECT_EQ(binding.parameter, "input level");

    for (const char* refused : {"128=drive", "0:11=drive", "17:11=drive", "x=drive", "11", "11=", "=drive",
                                "1:=drive", "1000=drive"}) {
        error.clear();
        EXPECT_FALSE(parseControlBinding(refused, binding, error)) << refused;
        EXPECT_NE(error.find("--cc 11=drive"), std::string::npos) << refused << ": the refusal shows the form";
    }
}

TEST(MidiControlMap, SwitchesTurnOnFromSixtyFourAndKnobsFollowTheValue)
{
    MidiControlMap map;
    map.bind(0, 11, 1, false); // an expression pedal on Drive, any channel
    map.bind(3, 64, 9, true);  // a footswitch on Bypass, channel 3 only

    EXPECT_FLOAT_EQ(send(map, 0xB0, 11, 0).value, 0.0f);
    EXPECT_FLOAT_EQ(send(map, 0xB5, 11, 127).value, 1.0f);
    const Translated half = send(map, 0xBF, 11, 64);
    EXPECT_TRUE(half.mapped);
    EXPECT_EQ(half.parameter, 1);
    EXPECT_FLOAT_EQ(half.value, 64.0f / 127.0f);

    EXPECT_FLOAT_EQ(send(map, 0xB2, 64, 63).value, 0.0f) << "channel 3 is status 0xB2";
    const Translated on = send(map, 0xB2, 64, 64);
    EXPECT_TRUE(on.mapped);
    EXPECT_EQ(on.parameter, 9);
    EXPECT_FLOAT_EQ(on.value, 1.0f);

    EXPECT_FALSE(send(map, 0xB0, 64, 127).mapped) << "the footswitch's other channels are free";
    EXPECT_FALSE(send(map, 0xB0, 12, 127).mapped) << "an unmapped controller";
    EXPECT_FALSE(send(map, 0x90, 11, 100).mapped) << "a note is no control change";
    EXPECT_FALSE(send(map, 0xB0, 11, 100, 2).mapped) << "a message cut short";
    EXPECT_FALSE(send(map, 0xB0, 11, 200).mapped) << "a data byte with its top bit set";

    map.bind(0, 11, 2, false); // --cc 11=tone after the default
    EXPECT_EQ(send(map, 0xB0, 11, 10).parameter, 2) << "a later binding replaces an earlier one";
}
