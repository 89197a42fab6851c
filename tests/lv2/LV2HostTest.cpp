// Gravel.lv2 inside this process through lilv, against Gravel's VST effect
// driven through its AEffect record: control ports moved between blocks of
// changing length give the same samples as the same parameter changes made
// through the VST interface, and run() allocates nothing.
#include "AllocationCounter.h"
#include "LV2Scratch.h"
#include "TestSignals.h"
#include "lv2/GravelPorts.h"
#include "plugin/VST_GRV.h"

#include <gtest/gtest.h>
#include <lilv/lilv.h>

#include <cmath>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>

using namespace lv2test;

namespace {

constexpr double kRate = 48000.0;

class LilvGravel {
public:
    LilvGravel()
    {
        world = lilv_world_new();
        LilvNode* bundle = lilv_new_file_uri(world, nullptr, GRAVEL_LV2_BUNDLE_DIR "/");
        lilv_world_load_bundle(world, bundle);
        lilv_node_free(bundle);
        LilvNode* uri = lilv_new_uri(world, kPluginURI);
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        lilv_node_free(uri);
        if (!plugin)
            return;
        const uint32_t ports = lilv_plugin_get_num_ports(plugin);
        defaults.resize(ports);
        lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
        controls = defaults;
        instance = lilv_plugin_instantiate(plugin, kRate, nullptr);
    }
    ~LilvGravel()
    {
        if (instance)
            lilv_instance_free(instance);
        lilv_world_free(world);
    }

    uint32_t port(const char* symbol) const
    {
        LilvNode* node = lilv_new_string(world, symbol);
        const LilvPort* p = lilv_plugin_get_port_by_symbol(plugin, node);
        lilv_node_free(node);
        return p ? lilv_port_get_index(plugin, p) : UINT32_MAX;
    }

    // Control ports connected to `controls`, audio to the given buffers.
    void connect(const float* inL, const float* inR, float* outL, float* outR)
    {
        for (uint32_t i = 0; i < controls.size(); ++i)
            if (!std::isnan(defaults[i]))
                lilv_instance_connect_port(instance, i, &controls[i]);
        lilv_instance_connect_port(instance, port("in_l"), const_cast<float*>(inL));
        lilv_instance_connect_port(instance, port("in_r"), const_cast<float*>(inR));
        lilv_instance_connect_port(instance, port("out_l"), outL);
        lilv_instance_connect_port(instance, port("out_r"), outR);
    }

    LilvWorld* world = nullptr;
    const LilvPlugin* plugin = nullptr;
    LilvInstance* instance = nullptr;
    std::vector<float> defaults; // NaN for audio ports
    std::vector<float> controls;
};

// One change made before a block: a port value and what the VST effect
// takes for it.
struct Change {
    int block;
    const char* symbol;
    float portValue;
    VstInt32 parameter;
    float vstValue;
};

} // namespace

TEST(LV2Host, ControlPortsMovedBetweenBlocksSoundAsTheVSTEffect)
{
    LilvGravel lv2;
    ASSERT_NE(lv2.plugin, nullptr);
    ASSERT_NE(lv2.instance, nullptr);

    VST_GRV vst(nullptr);
    AEffect* effect = vst.getAEffect();
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, float(kRate));
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);

    const Change changes[] = {
        {0, "mode", 1.0f, kPluginMode, 1.0f},
        {3, "drive", 7.5f, kDrive, 0.75f},
        {5, "oversampling", 4.0f, kOversampling, 0.5f},
        {7, "tone", 2.5f, kTone, 0.25f},
        {7, "asym", 1.0f, kAsym, 1.0f},
        {9, "enabled", 0.0f, kBypass, 1.0f},      // the host's bypass switch
        {11, "enabled", 1.0f, kBypass, 0.0f},
        {11, "mode", 0.0f, kPluginMode, 0.0f},
        {13, "drive", NAN, kDrive, NAN},          // ignored by both
        {14, "drive", 25.0f, kDrive, 2.5f},       // clamped by both
        {15, "oversampling", 8.0f, kOversampling, 1.0f},
        {15, "input_level", 0.5f, kInputLevel, 0.25f},
        {17, "fat", 1.0f, kFat, 1.0f},
        {17, "in_buffer", 0.0f, kInBuffer, 0.0f},
        {18, "level", 9.0f, kLevel, 0.9f},
    };
    const int blockSizes[] = {512, 300, 17, 64, 1, 999, 256, 128, 33, 512,
                              700, 48, 512, 96, 5, 256, 400, 64, 512, 300};

    const std::vector<double> guitar = testsignals::guitar(kRate, 1.2, 0.9);
    std::vector<float> left(guitar.size()), right(guitar.size());
    for (size_t i = 0; i < guitar.size(); ++i) {
        left[i] = float(guitar[i]);
        right[i] = float(0.5 * guitar[guitar.size() - 1 - i]);
    }
    std::vector<float> lv2L(left.size()), lv2R(left.size()), vstL(left.size()), vstR(left.size());

    size_t start = 0;
    long allocationsInRun = 0;
    for (int block = 0; block < 20; ++block) {
        for (const Change& c : changes) {
            if (c.block != block)
                continue;
            lv2.controls[lv2.port(c.symbol)] = c.portValue;
            effect->setParameter(effect, c.parameter, c.vstValue);
        }
        const int n = blockSizes[block];
        ASSERT_LE(start + n, left.size());
        lv2.connect(&left[start], &right[start], &lv2L[start], &lv2R[start]);
        if (block == 0)
            lilv_instance_activate(lv2.instance);
        {
            allocation_counter::Scope scope;
            lilv_instance_run(lv2.instance, uint32_t(n));
            allocationsInRun += scope.allocations();
        }
        float* ins[2] = {&left[start], &right[start]};
        float* outs[2] = {&vstL[start], &vstR[start]};
        effect->processReplacing(effect, ins, outs, n);
        start += n;
    }
    lilv_instance_deactivate(lv2.instance);

    EXPECT_EQ(allocationsInRun, 0);
    size_t differing = 0;
    double energy = 0.0;
    for (size_t i = 0; i < start; ++i) {
        differing += (lv2L[i] != vstL[i]) + (lv2R[i] != vstR[i]);
        energy += double(vstL[i]) * vstL[i];
    }
    EXPECT_EQ(differing, 0u);
    EXPECT_GT(energy, 1.0);
}

// LV2 asks a plug-in to start from a clean state at every activate: what a
// pedal rang with before deactivate must not sound after it.
TEST(LV2Host, ActivateStartsFromTheStateOfAFreshInstance)
{
    LilvGravel played, fresh;
    ASSERT_TRUE(played.instance && fresh.instance);
    for (LilvGravel* lv2 : {&played, &fresh}) {
        lv2->controls[lv2->port("drive")] = 10.0f;
        lv2->controls[lv2->port("mode")] = 1.0f;
        lv2->controls[lv2->port("oversampling")] = 4.0f;
    }

    constexpr uint32_t kFrames = 2048;
    std::vector<float> loudL(kFrames), loudR(kFrames), silence(kFrames, 0.0f);
    for (uint32_t i = 0; i < kFrames; ++i) {
        loudL[i] = float(3.0 * std::sin(2.0 * M_PI * 82.0 * i / kRate));
        loudR[i] = float(2.0 * std::sin(2.0 * M_PI * 196.0 * i / kRate));
    }
    std::vector<float> outL(kFrames), outR(kFrames);
    played.connect(loudL.data(), loudR.data(), outL.data(), outR.data());
    lilv_instance_activate(played.instance);
    lilv_instance_run(played.instance, kFrames);
    lilv_instance_deactivate(played.instance);

    std::vector<float> playedL(kFrames), playedR(kFrames), freshL(kFrames), freshR(kFrames);
    played.connect(silence.data(), silence.data(), playedL.data(), playedR.data());
    lilv_instance_activate(played.instance);
    lilv_instance_run(played.instance, kFrames);
    lilv_instance_deactivate(played.instance);

    fresh.connect(silence.data(), silence.data(), freshL.data(), freshR.data());
    lilv_instance_activate(fresh.instance);
    lilv_instance_run(fresh.instance, kFrames);
    lilv_instance_deactivate(fresh.instance);

    size_t differing = 0;
    for (uint32_t i = 0; i < kFrames; ++i)
        differing += (playedL[i] != freshL[i]) + (playedR[i] != freshR[i]);
    EXPECT_EQ(differing, 0u);
}

// A host may instantiate at any rate it runs at; one the models cannot run
// at is refused rather than played wrongly.
TEST(LV2Host, RatesTheModelsCannotRunAtAreRefused)
{
    LilvGravel lv2;
    ASSERT_NE(lv2.plugin, nullptr);
    for (double rate : {0.0, -44100.0, 4000.0, 1.0e7, double(NAN)}) {
        LilvInstance* refused = lilv_plugin_instantiate(lv2.plugin, rate, nullptr);
        EXPECT_EQ(refused, nullptr) << rate;
        if (refused)
            lilv_instance_free(refused);
    }
    for (double rate : {8000.0, 44100.0, 192000.0, 768000.0}) {
        LilvInstance* accepted = lilv_plugin_instantiate(lv2.plugin, rate, nullptr);
        EXPECT_NE(accepted, nullptr) << rate;
        if (accepted)
            lilv_instance_free(accepted);
    }
}

// The presets as hosts read them: "Init" is the effect's program (every
// control at its default); the factory sounds stay within the ports' ranges
// and leave the routing alone. No preset touches the host's bypass switch:
// choosing a sound must not switch a bypassed pedal back on.
TEST(LV2Host, PresetsHoldTheProgramAndFactorySoundsWithinRange)
{
    LilvGravel lv2;
    ASSERT_NE(lv2.plugin, nullptr);
    LilvWorld* world = lv2.world;
    LilvNode* presetClass = lilv_new_uri(world, "http://lv2plug.in/ns/ext/presets#Preset");
    LilvNode* portPredicate = lilv_new_uri(world, LILV_NS_LV2 "port");
    LilvNode* symbolPredicate = lilv_new_uri(world, LILV_NS_LV2 "symbol");
    LilvNode* valuePredicate = lilv_new_uri(world, "http://lv2plug.in/ns/ext/presets#value");
    LilvNode* labelPredicate = lilv_new_uri(world, LILV_NS_RDFS "label");

    const uint32_t count = lilv_plugin_get_num_ports(lv2.plugin);
    std::vector<float> minimum(count), maximum(count);
    lilv_plugin_get_port_ranges_float(lv2.plugin, minimum.data(), maximum.data(), nullptr);

    std::map<std::string, std::map<std::string, float>> presets;
    LilvNodes* related = lilv_plugin_get_related(lv2.plugin, presetClass);
    LILV_FOREACH (nodes, i, related) {
        const LilvNode* preset = lilv_nodes_get(related, i);
        lilv_world_load_resource(world, preset);
        LilvNode* label = lilv_world_get(world, preset, labelPredicate, nullptr);
        ASSERT_NE(label, nullptr);
        std::map<std::string, float>& values = presets[lilv_node_as_string(label)];
        lilv_node_free(label);
        LilvNodes* ports = lilv_world_find_nodes(world, preset, portPredicate, nullptr);
        LILV_FOREACH (nodes, j, ports) {
            const LilvNode* port = lilv_nodes_get(ports, j);
            LilvNode* symbol = lilv_world_get(world, port, symbolPredicate, nullptr);
            LilvNode* value = lilv_world_get(world, port, valuePredicate, nullptr);
            ASSERT_TRUE(symbol && value);
            values[lilv_node_as_string(symbol)] = lilv_node_as_float(value);
            lilv_node_free(symbol);
            lilv_node_free(value);
        }
        lilv_nodes_free(ports);
    }
    lilv_nodes_free(related);
    for (LilvNode* node : {presetClass, portPredicate, symbolPredicate, valuePredicate, labelPredicate})
        lilv_node_free(node);

    ASSERT_EQ(presets.size(), 6u);
    for (const auto& [name, values] : presets)
        EXPECT_EQ(values.count("enabled"), 0u) << name;

    const std::map<std::string, float>& init = presets.at("Init");
    EXPECT_EQ(init.size(), size_t(kGRVNumParams - 1));
    for (const auto& [symbol, value] : init)
        EXPECT_EQ(value, lv2.defaults[lv2.port(symbol.c_str())]) << symbol;

    for (const char* name : {"Clean Boost", "Edge of Breakup", "Crunch", "Lead", "Fat Lead"}) {
        const std::map<std::string, float>& values = presets.at(name);
        EXPECT_EQ(values.size(), size_t(kGRVNumParams - 2)) << name;
        EXPECT_EQ(values.count("mode"), 0u) << name;
        for (const auto& [symbol, value] : values) {
            const uint32_t index = lv2.port(symbol.c_str());
            ASSERT_LT(index, count) << name << ": " << symbol;
            EXPECT_GE(value, minimum[index]) << name << ": " << symbol;
            EXPECT_LE(value, maximum[index]) << name << ": " << symbol;
        }
        const float factor = values.at("oversampling");
        EXPECT_TRUE(factor == 2.0f || factor == 4.0f || factor == 8.0f) << name;
    }
}

namespace {

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);)
        parts.push_back(part);
    return parts;
}

} // namespace

// The parameter table is written once, in the engine; the bundles' resource
// files restate it for hosts. The LV2 ports and the AudioUnit mapping file
// must show every parameter as the table does: name, range, default, unit
// and choices.
TEST(ParameterTable, ResourceFilesAgreeWithTheEngine)
{
    using gravel::Display;
    using gravel::kParameters;
    using gravel_lv2::kFirstControl;
    using gravel_lv2::portFromNormalised;

    LilvGravel lv2;
    ASSERT_NE(lv2.plugin, nullptr);
    ASSERT_EQ(lilv_plugin_get_num_ports(lv2.plugin), gravel_lv2::kPortCount);
    std::vector<float> minimum(gravel_lv2::kPortCount), maximum(gravel_lv2::kPortCount);
    lilv_plugin_get_port_ranges_float(lv2.plugin, minimum.data(), maximum.data(), nullptr);
    for (int32_t index = 0; index < kGRVNumParams; ++index) {
        const gravel::ParameterInfo& parameter = kParameters[index];
        SCOPED_TRACE(parameter.name);
        const uint32_t port = kFirstControl + uint32_t(index);
        const LilvPort* lilvPort = lilv_plugin_get_port_by_index(lv2.plugin, port);
        LilvNode* name = lilv_port_get_name(lv2.plugin, lilvPort);
        // The host's bypass switch is Bypass the other way round.
        EXPECT_STREQ(lilv_node_as_string(name), index == kBypass ? "Enabled" : parameter.name);
        lilv_node_free(name);
        EXPECT_EQ(lv2.defaults[port], portFromNormalised(index, parameter.defaultValue));
        EXPECT_EQ(minimum[port], std::min(portFromNormalised(index, 0.0f), portFromNormalised(index, 1.0f)));
        EXPECT_EQ(maximum[port], std::max(portFromNormalised(index, 0.0f), portFromNormalised(index, 1.0f)));

        std::map<float, std::string> scalePoints;
        if (LilvScalePoints* points = lilv_port_get_scale_points(lv2.plugin, lilvPort)) {
            LILV_FOREACH (scale_points, i, points) {
                const LilvScalePoint* point = lilv_scale_points_get(points, i);
                scalePoints[lilv_node_as_float(lilv_scale_point_get_value(point))] =
                    lilv_node_as_string(lilv_scale_point_get_label(point));
            }
            lilv_scale_points_free(points);
        }
        std::map<float, std::string> choices;
        if (parameter.display == Display::Choice) {
            const std::vector<std::string> names = split(parameter.choices, '|');
            for (size_t k = 0; k < names.size(); ++k)
                choices[portFromNormalised(index, float(k) / float(names.size() - 1))] =
                    names[k] + parameter.unit;
        }
        EXPECT_EQ(scalePoints, choices);
    }

    // vst param #, name, min, max, display, unit, default; ";" starts a comment.
    std::ifstream mapping(GRAVEL_SOURCE_DIR "/resources/TNParameters.txt");
    ASSERT_TRUE(mapping.good());
    std::string line;
    std::getline(mapping, line); // the column heads
    std::set<int32_t> listed;
    while (std::getline(mapping, line)) {
        if (line.empty() || line[0] == ';')
            continue;
        const std::vector<std::string> columns = split(line, '\t');
        ASSERT_EQ(columns.size(), 7u) << line;
        const int32_t index = std::stoi(columns[0]);
        ASSERT_TRUE(index >= 0 && index < kGRVNumParams) << line;
        EXPECT_TRUE(listed.insert(index).second) << line;
        const gravel::ParameterInfo& parameter = kParameters[index];
        SCOPED_TRACE(line);
        EXPECT_EQ(columns[1], parameter.name);
        EXPECT_EQ(std::stof(columns[2]), 0.0f);
        const float shownDefault = std::stof(columns[6]);
        switch (parameter.display) {
        case Display::Number:
            EXPECT_EQ(std::stof(columns[3]), parameter.maximum);
            EXPECT_EQ(columns[4], "=");
            EXPECT_EQ(columns[5], *parameter.unit ? parameter.unit : "-");
            EXPECT_EQ(shownDefault, parameter.maximum * parameter.defaultValue);
            break;
        case Display::OnOff:
            EXPECT_EQ(std::stof(columns[3]), 1.0f);
            EXPECT_EQ(columns[4], "b");
            EXPECT_EQ(columns[5], "-");
            EXPECT_EQ(shownDefault, parameter.defaultValue);
            break;
        case Display::Choice: {
            std::vector<std::string> names = split(parameter.choices, '|');
            std::string shown;
            for (const std::string& choice : names)
                shown += (shown.empty() ? "" : "|") + choice + parameter.unit;
            EXPECT_EQ(std::stof(columns[3]), float(names.size() - 1));
            EXPECT_EQ(columns[4], shown);
            EXPECT_EQ(columns[5], "-");
            EXPECT_EQ(shownDefault, float(gravel::choiceIndex(index, parameter.defaultValue)));
            break;
        }
        }
    }
    EXPECT_EQ(listed.size(), size_t(kGRVNumParams));
}
