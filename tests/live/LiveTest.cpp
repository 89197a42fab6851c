// gravel live as a JACK client on a server of the test's own (jackd's dummy
// driver, synchronous so a loaded machine delays blocks but never drops
// them): what it plays equals gravel render, MIDI and --set end up in the
// remembered settings, and the ways it ends.

#include "AllocationCounter.h"
#include "EffectLoader.h"
#include "ParameterMatch.h"
#include "hosting/TandemLog.h"
#include "live/LiveProcessor.h"

#include <gtest/gtest.h>

#include "../support/PrivateX11.h"
#include "../support/ToolRuns.h"

#include <cairo.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <sndfile.h>

#include "LiveProcesses.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

using live_test::exitOf;
using live_test::spawn;
using live_test::waitFor;

// A JACK server, gravel live on it, and a client of the test's own that
// plays into gravel's inputs, records its outputs and sends it MIDI.
struct LiveRig {
    ScratchFolder scratch{"live"};
    // One name per test and build tree: JACK reclaims a server's registry slot
    // only for a server of the same name, so a run that died leaves nothing
    // the next run does not take back.
    std::string server = "gravel-" + std::to_string(std::hash<std::string>()(GRAVEL_EXECUTABLE) % 10000) + "-" +
                         std::string(testing::UnitTest::GetInstance()->current_test_info()->name()).substr(0, 24);
    pid_t jackd = -1, gravel = -1;
    jack_client_t *client = nullptr, *recorder = nullptr; // two, so the graph runs test -> gravel -> recorder
    jack_port_t *play[2], *record[2], *midi;

    std::vector<float> toPlay[2], recorded[2];
    std::atomic<bool> playing{false};
    std::atomic<size_t> played{0}, frames{0}; // frames played, frames recorded
    std::atomic<int> ccCount{0};
    unsigned char cc[8][3];

    LiveRig()
    {
        setTandemLogSink([](const char*, void*) {}, nullptr);
        jack_set_error_function([](const char*) {}); // polling for the server is noisy
        jackd = spawn({"jackd", "-n", server, "-S", "-r", "-t", "5000", "-d", "dummy", "-r", "48000", "-p", "256"},
                      scratch.path("jackd.log"));
        const jack_options_t options = jack_options_t(JackNoStartServer | JackServerName);
        waitFor([&] { return (client = jack_client_open("test", options, nullptr, server.c_str())) != nullptr; });
        if (!client || !(recorder = jack_client_open("recorder", options, nullptr, server.c_str())))
            return;
        for (int c = 0; c < 2; ++c) {
            play[c] = jack_port_register(client, ("play_" + std::to_string(c + 1)).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
            record[c] = jack_port_register(recorder, ("record_" + std::to_string(c + 1)).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        }
        midi = jack_port_register(client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(client, playBlock, this);
        jack_set_process_callback(recorder, recordBlock, this);
        jack_activate(client);
        jack_activate(recorder);
    }
    ~LiveRig()
    {
        if (gravel > 0)
            kill(gravel, SIGKILL), exitOf(gravel);
        if (recorder)
            jack_client_close(recorder);
        if (client)
            jack_client_close(client);
        if (jackd > 0)
            kill(jackd, SIGTERM), exitOf(jackd);
    }

    static int playBlock(jack_nframes_t n, void* self)
    {
        LiveRig& rig = *static_cast<LiveRig*>(self);
        void* midi = jack_port_get_buffer(rig.midi, n);
        jack_midi_clear_buffer(midi);
        for (int i = rig.ccCount.exchange(0); i > 0; --i)
            jack_midi_event_write(midi, 0, rig.cc[i - 1], 3);
        const size_t at = rig.played.load();
        for (int c = 0; c < 2; ++c) {
            float* out = static_cast<float*>(jack_port_get_buffer(rig.play[c], n));
            for (jack_nframes_t i = 0; i < n; ++i)
                out[i] = rig.playing && at + i < rig.toPlay[c].size() ? rig.toPlay[c][at + i] : 0.0f;
        }
        if (rig.playing)
            rig.played += n;
        return 0;
    }
    static int recordBlock(jack_nframes_t n, void* self)
    {
        LiveRig& rig = *static_cast<LiveRig*>(self);
        const size_t at = rig.frames.load();
        for (int c = 0; c < 2; ++c) {
            const float* in = static_cast<const float*>(jack_port_get_buffer(rig.record[c], n));
            for (jack_nframes_t i = 0; rig.playing && i < n && at + i < rig.recorded[c].size(); ++i)
                rig.recorded[c][at + i] = in[i];
        }
        if (rig.playing)
            rig.frames += n;
        return 0;
    }

    std::string settingsFile() { return scratch.path("config/gravel/live/Gravel Rumbledrift Overdrive.fxp"); }

    // gravel live with the test's settings folder; its ports wired to ours.
    bool start(std::vector<std::string> args, bool wire = true, const std::string& display = "")
    {
        args.insert(args.begin(), {GRAVEL_EXECUTABLE, "live", "--server", server});
        std::vector<std::string> env = {"XDG_CONFIG_HOME=" + scratch.path("config"), "DISPLAY=" + display};
        gravel = spawn(args, scratch.path("gravel.log"), env);
        if (!wire)
            return true;
        // Ports connect once gravel's client is active.
        const char* pairs[5][2] = {{"test:play_1", "Gravel:in_1"}, {"test:play_2", "Gravel:in_2"},
                                   {"Gravel:out_1", "recorder:record_1"}, {"Gravel:out_2", "recorder:record_2"},
                                   {"test:midi_out", "Gravel:midi_in"}};
        return waitFor([&] {
            for (auto& pair : pairs) {
                const int result = jack_connect(client, pair[0], pair[1]);
                if (result != 0 && result != EEXIST)
                    return false;
            }
            return true;
        });
    }
    void playAndRecord(size_t extra = 8192)
    {
        for (int c = 0; c < 2; ++c)
            recorded[c].assign(toPlay[c].size() + extra, NAN);
        played = frames = 0;
        playing = true;
        ASSERT_TRUE(waitFor([&] { return frames >= recorded[0].size(); }, 60s));
        playing = false;
    }
    int stop(int signal = SIGTERM)
    {
        kill(gravel, signal);
        const int code = exitOf(gravel);
        gravel = -1;
        return code;
    }
    std::string log() { return fileBytes(scratch.path("gravel.log")); }
};

void writeFloatWav(const std::string& path, const std::vector<float> (&channels)[2], int count)
{
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = count;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<float> frames;
    for (size_t i = 0; i < channels[0].size(); ++i)
        for (int c = 0; c < count; ++c)
            frames.push_back(channels[c][i]);
    sf_writef_float(file, frames.data(), sf_count_t(channels[0].size()));
    sf_close(file);
}

std::vector<float> readChannel(const std::string& path, int channel)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    std::vector<float> frames(size_t(info.frames * info.channels)), one;
    sf_readf_float(file, frames.data(), info.frames);
    sf_close(file);
    for (size_t i = size_t(channel); i < frames.size(); i += size_t(info.channels))
        one.push_back(frames[i]);
    return one;
}

// Where the impulse that leads the file comes out: the first sample off the
// effect's settled output for silence.
size_t onset(const std::vector<float>& signal)
{
    for (size_t i = 0; i < signal.size(); ++i)
        if (std::fabs(signal[i] - signal[0]) > 1e-3f)
            return i;
    return signal.size();
}

} // namespace

TEST(GravelLive, PlaysWhatRenderWritesSampleForSample)
{
    // At 8x the comparison allows float rounding (1e-5, -100 dB): now and then
    // the live effect reaches the file with its settled state a few ulps off
    // the render's, which at 8x stays visible in the output (about 2e-6); a
    // render alone gives the same bits whatever the lead or block size.
    const std::pair<bool, const char*> cases[] = {{false, "2"}, {false, "8"}, {true, "2"}, {true, "8"}};
    for (const auto& [stereo, factor] : cases) {
            SCOPED_TRACE(std::string(stereo ? "stereo " : "mono ") + factor + "x");
            LiveRig rig;
            ASSERT_TRUE(rig.client);
            // Four seconds of silence settle the effect (8x stereo takes the
            // longest) wherever it started; then an impulse to align by, and
            // chords of decaying partials.
            const size_t lead = 192000, length = lead + 24000;
            for (int c = 0; c < 2; ++c) {
                rig.toPlay[c].assign(length, 0.0f);
                rig.toPlay[c][lead] = 0.9f;
                for (size_t i = lead + 2000; i < length; ++i) {
                    const double t = double(i - lead - 2000) / 48000.0;
                    rig.toPlay[c][i] = float(0.4 * std::exp(-3.0 * t) *
                                             (std::sin(2 * M_PI * (c ? 110.0 : 82.4) * t) + 0.5 * std::sin(2 * M_PI * 196.0 * t)));
                }
            }
            const std::string in = rig.scratch.path("in.wav"), out = rig.scratch.path("out.wav");
            writeFloatWav(in, rig.toPlay, stereo ? 2 : 1);
            std::vector<std::string> settings = {"--set", std::string("oversampling=") + factor, "--set", "drive=7.5"};
            if (stereo)
                settings.insert(settings.end(), {"--set", "mode=stereo"});
            else
                std::fill(rig.toPlay[1].begin(), rig.toPlay[1].end(), 0.0f); // the guitar in the first input alone
            std::string render = std::string(GRAVEL_EXECUTABLE) + " render " + in + " -o " + out + " --bits 32f --block 256";
            for (const std::string& s : settings)
                render += " '" + s + "'";
            ASSERT_EQ(runCommand(render).status, 0);

            std::vector<std::string> live = settings;
            live.insert(live.end(), {"--no-connect", "--no-gui"});
            ASSERT_TRUE(rig.start(live));
            rig.playAndRecord();
            EXPECT_EQ(rig.stop(), 0) << rig.log();
            for (int c = 0; c < 2; ++c) {
                const std::vector<float> expected = readChannel(out, stereo ? c : 0);
                const size_t live0 = onset(rig.recorded[c]), render0 = onset(expected);
                ASSERT_LT(live0, rig.recorded[c].size());
                ASSERT_GE(live0, render0);
                const size_t shift = live0 - render0;
                ASSERT_LE(shift, 4096u);
                const float allowed = factor[0] == '8' ? 1e-5f : 0.0f;
                size_t differing = 0;
                for (size_t i = lead - 1000; i < expected.size(); ++i)
                    differing += !(std::fabs(rig.recorded[c][i + shift] - expected[i]) <= allowed);
                EXPECT_EQ(differing, 0u) << "channel " << c + 1;
            }
        }
}

namespace {

float parameterIn(const std::string& settings, const std::string& name)
{
    LoadedEffect effect(GRAVEL_BUNDLE_DIR, 48000.0f, 256);
    const std::string bytes = fileBytes(settings);
    effect.plugIn().loadFXPOrFXB(bytes.size(), reinterpret_cast<const unsigned char*>(bytes.data()));
    VSTParameterAccess access(effect.plugIn());
    std::string error;
    return access.position(findParameter(parameterNames(access), name, error));
}

} // namespace

TEST(GravelLive, RemembersSetAndMidiSettingsAndSetsADamagedFileAside)
{
    LiveRig rig;
    ASSERT_TRUE(rig.client);
    ASSERT_TRUE(rig.start({"--set", "fat=on", "--cc", "3:20=tone", "--no-connect", "--no-gui"}));
    // Expression pedal half way, footswitch down, CC 20 on channel 3 (and on
    // channel 1, where it is not mapped).
    const unsigned char messages[4][3] = {{0xB0, 11, 64}, {0xB5, 64, 127}, {0xB2, 20, 127}, {0xB0, 20, 0}};
    std::memcpy(rig.cc, messages, sizeof messages);
    rig.ccCount = 4;
    ASSERT_TRUE(waitFor([&] { return rig.ccCount == 0; }));
    std::this_thread::sleep_for(100ms);
    ASSERT_EQ(rig.stop(), 0) << rig.log();
    const std::string saved = rig.settingsFile();
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run ? "restored by a second start" : "saved at exit");
        EXPECT_FLOAT_EQ(parameterIn(saved, "drive"), 64.0f / 127.0f);
        EXPECT_EQ(parameterIn(saved, "bypass"), 1.0f);
        EXPECT_GE(parameterIn(saved, "fat"), 0.5f); // on
        EXPECT_EQ(parameterIn(saved, "tone"), 1.0f);
        ASSERT_TRUE(rig.start({"--no-connect", "--no-gui"}, false));
        std::this_thread::sleep_for(1s);
        ASSERT_EQ(rig.stop(SIGINT), 0) << rig.log();
    }

    std::ofstream(saved, std::ios::binary) << "CcnK and nothing else";
    ASSERT_TRUE(rig.start({"--no-connect", "--no-gui"}, false));
    std::this_thread::sleep_for(1s);
    ASSERT_EQ(rig.stop(), 0);
    EXPECT_NE(rig.log().find("damaged"), std::string::npos) << rig.log();
    EXPECT_EQ(fileBytes(saved + ".bad"), "CcnK and nothing else");
    EXPECT_EQ(parameterIn(saved, "bypass"), 0.0f);
    EXPECT_EQ(parameterIn(saved, "fat"), 0.0f);
}

TEST(GravelLive, EndsInOneLineWhenTheServerStopsOrIsMissingOrAPortIsUnknown)
{
    LiveRig rig;
    ASSERT_TRUE(rig.client);
    ASSERT_TRUE(rig.start({"--in", "test:play_1", "--out", "recorder:record_1,nowhere:playback_9", "--no-gui"}, false));
    EXPECT_EQ(exitOf(rig.gravel), 1);
    rig.gravel = -1;
    EXPECT_NE(rig.log().find("no JACK input port 'nowhere:playback_9'"), std::string::npos) << rig.log();
    EXPECT_FALSE(std::filesystem::exists(rig.scratch.path("config")));

    ASSERT_TRUE(rig.start({"--no-connect", "--no-gui"}));
    jack_client_close(rig.client);
    jack_client_close(rig.recorder);
    rig.client = rig.recorder = nullptr;
    kill(rig.jackd, SIGTERM);
    exitOf(rig.jackd);
    rig.jackd = -1;
    EXPECT_EQ(exitOf(rig.gravel), 1);
    rig.gravel = -1;
    EXPECT_NE(rig.log().find("the JACK server stopped"), std::string::npos) << rig.log();
    EXPECT_TRUE(std::filesystem::exists(rig.settingsFile()));

    std::filesystem::remove_all(rig.scratch.path("config"));
    ASSERT_TRUE(rig.start({"--no-gui"}, false));
    EXPECT_EQ(exitOf(rig.gravel), 1);
    rig.gravel = -1;
    EXPECT_NE(rig.log().find("pw-jack"), std::string::npos) << rig.log();
    EXPECT_FALSE(std::filesystem::exists(rig.scratch.path("config")));
}

TEST(GravelLive, KeepsPlayingThroughABufferSizeChange)
{
    LiveRig rig;
    ASSERT_TRUE(rig.client);
    ASSERT_TRUE(rig.start({"--set", "oversampling=8", "--no-connect", "--no-gui"}));
    rig.toPlay[0].resize(48000);
    for (size_t i = 0; i < rig.toPlay[0].size(); ++i)
        rig.toPlay[0][i] = float(0.3 * std::sin(2 * M_PI * 220.0 * double(i) / 48000.0));
    std::thread change([&] {
        waitFor([&] { return rig.frames > 12000; });
        jack_set_buffer_size(rig.client, 64);
    });
    rig.playAndRecord(0);
    change.join();
    EXPECT_EQ(jack_get_buffer_size(rig.client), 64u);
    EXPECT_EQ(rig.stop(), 0) << rig.log();
    // Finite throughout, and never stuck: a 220 Hz tone repeats no sample 32 times.
    size_t stuck = 0, longest = 0;
    for (size_t i = 2048; i < rig.recorded[0].size(); ++i) {
        ASSERT_TRUE(std::isfinite(rig.recorded[0][i])) << i;
        stuck = rig.recorded[0][i] == rig.recorded[0][i - 1] ? stuck + 1 : 0;
        longest = std::max(longest, stuck);
    }
    EXPECT_LT(longest, 32u);
}

TEST(GravelLive, TheProcessPathAllocatesNothing)
{
    setTandemLogSink([](const char*, void*) {}, nullptr);
    LoadedEffect effect(GRAVEL_BUNDLE_DIR, 48000.0f, 256);
    MidiControlMap controls;
    controls.bind(0, 11, 1, false);
    LiveProcessor processor(effect.plugIn(), controls);
    processor.configure(48000.0, 256);
    std::vector<float> in(256, 0.25f), left(256), right(256);
    const float* ins[2] = {in.data(), in.data()};
    float* outs[2] = {left.data(), right.data()};
    const unsigned char pedal[3] = {0xB0, 11, 90};
    processor.process(ins, outs, 256);
    allocation_counter::Scope allocations;
    for (int block = 0; block < 50; ++block) {
        processor.controlChange(pedal, 3);
        processor.process(ins, outs, block % 2 ? 256 : 100);
    }
    EXPECT_EQ(allocations.allocations(), 0);
}
