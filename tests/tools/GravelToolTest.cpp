// The gravel executable end to end, run as a user runs it.

#include <gtest/gtest.h>

#include <signal.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

struct Result {
    int exitCode; // -1 when a signal ended the tool
    std::string out, err;
    int signal = 0;
};

std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Audio {
    SF_INFO info{};
    std::vector<int> samples;     // integer formats, at their own scale
    std::vector<float> floats;    // float formats
};

Audio readAudio(const fs::path& path)
{
    Audio a;
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &a.info);
    if (!f)
        return a;
    const size_t n = size_t(a.info.frames) * a.info.channels;
    if ((a.info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT) {
        a.floats.resize(n);
        sf_readf_float(f, a.floats.data(), a.info.frames);
    } else {
        a.samples.resize(n);
        sf_readf_int(f, a.samples.data(), a.info.frames);
    }
    sf_close(f);
    return a;
}

// A second of a decaying guitar-like tone, mono or stereo.
void writeTestFile(const fs::path& path, int format, int channels, int rate, double seconds = 0.5)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    const int frames = int(seconds * rate);
    std::vector<float> data(size_t(frames) * channels);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            data[size_t(i) * channels + c] = float(0.4 * std::exp(-3.0 * i / rate) *
                                                   std::sin(2 * M_PI * (110.0 + 55.0 * c) * i / rate));
    sf_writef_float(f, data.data(), frames);
    sf_close(f);
}

class GravelTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() /
                 ("gravel-tool-test-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        haveGravel = fs::exists(GRAVEL_BUNDLE_DIR);
    }
    void TearDown() override { fs::remove_all(folder); }

    Result run(const std::string& arguments, const std::string& environment = "")
    {
        const fs::path out = folder / "stdout.txt", err = folder / "stderr.txt";
        const std::string command = "cd '" + folder.string() + "' && " + environment +
                                    "'" GRAVEL_EXECUTABLE "' " +
                                    arguments + " >'" + out.string() + "' 2>'" + err.string() + "'";
        const int status = std::system(command.c_str());
        return Result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText(out), readText(err)};
    }

    // Runs the tool itself (no shell) in the test folder, `inChild` first.
    // Its output comes back through pipes, which no file-size limit touches.
    Result runChild(std::vector<std::string> arguments, const std::function<void()>& inChild,
                    const std::function<void(pid_t)>& whileRunning = {})
    {
        arguments.insert(arguments.begin(), GRAVEL_EXECUTABLE);
        std::vector<char*> argv;
        for (std::string& a : arguments)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const std::string where = folder.string();
        int out[2], err[2];
        if (::pipe(out) != 0 || ::pipe(err) != 0)
            return Result{-1, "", "no pipe"};
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::dup2(err[1], STDERR_FILENO);
            for (int fd : {out[0], out[1], err[0], err[1]})
                ::close(fd);
            if (::chdir(where.c_str()) != 0)
                ::_exit(126);
            inChild();
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        if (whileRunning)
            whileRunning(pid);
        auto drain = [](int fd) {
            std::string text;
            char buffer[4096];
            ssize_t n;
            while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
                text.append(buffer, size_t(n));
            ::close(fd);
            return text;
        };
        Result r{-1, drain(out[0]), drain(err[0])};
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (WIFEXITED(status))
            r.exitCode = WEXITSTATUS(status);
        if (WIFSIGNALED(status))
            r.signal = WTERMSIG(status);
        return r;
    }

    // What the tool left in the folder, besides run()'s captured output.
    std::set<std::string> files() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.insert(entry.path().filename().string());
        names.erase("stdout.txt");
        names.erase("stderr.txt");
        return names;
    }

    fs::path folder;
    bool haveGravel = false;
};

#define REQUIRE_GRAVEL()                                                                           \
    if (!haveGravel)                                                                                \
    GTEST_SKIP() << "Gravel.vst is not built"

} // namespace

TEST_F(GravelTool, RendersAFileAtItsLengthRateAndFormat)
{
    REQUIRE_GRAVEL();
    writeTestFile(folder / "riff.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000);
    const Result r = run("render riff.wav --set drive=7.5 --set mode=stereo --block 300");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find("gravel: wrote riff-gravel.wav (0.5 s, stereo, 48000 Hz) with Drive 7.50, Plugin Mode Stereo; input peak "), 0u)
        << r.out;
    EXPECT_NE(r.out.find("real time"), std::string::npos);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << "one summary line";
    const Audio in = readAudio(folder / "riff.wav");
    const Audio out = readAudio(folder / "riff-gravel.wav");
    EXPECT_EQ(out.info.frames, in.info.frames);
    EXPECT_EQ(out.info.samplerate, 48000);
    EXPECT_EQ(out.info.channels, 2);
    EXPECT_EQ(out.info.format, in.info.format);
    EXPECT_NE(out.samples, in.samples);
    EXPECT_EQ(files(), (std::set<std::string>{"riff.wav", "riff-gravel.wav"})) << "no temporary file left";
}

// Gravel starts in mono mode; a stereo file must not lose its right channel
// unless the user asks for mono.
TEST_F(GravelTool, StereoFilesKeepBothChannelsUnlessMonoIsAsked)
{
    REQUIRE_GRAVEL();
    writeTestFile(folder / "pair.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100);
    auto channelsDiffer = [](const Audio& a) {
        for (size_t i = 0; i + 1 < a.floats.size(); i += 2)
            if (a.floats[i] != a.floats[i + 1])
                return true;
        return false;
    };

    ASSERT_EQ(run("render pair.wav -o auto.wav").exitCode, 0);
    EXPECT_TRUE(channelsDiffer(readAudio(folder / "auto.wav")));

    const Result mono = run("render pair.wav -o mono.wav --set mode=mono");
    ASSERT_EQ(mono.exitCode, 0) << mono.err;
    const Audio monoOut = readAudio(folder / "mono.wav");
    ASSERT_FALSE(monoOut.floats.empty());
    EXPECT_FALSE(channelsDiffer(monoOut));
}

TEST_F(GravelTool, BypassGivesBackTheInputBitForBit)
{
    REQUIRE_GRAVEL();
    for (int format : {SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_WAV | SF_FORMAT_PCM_24,
                       SF_FORMAT_WAV | SF_FORMAT_FLOAT, SF_FORMAT_FLAC | SF_FORMAT_PCM_16}) {
        const std::string name = format == (SF_FORMAT_FLAC | SF_FORMAT_PCM_16) ? "in.flac" : "in.wav";
        for (int channels : {1, 2}) {
            writeTestFile(folder / name, format, channels, 44100);
            const Result r = run("render " + name + " -o out" + fs::path(name).extension().string() +
                              " --set bypass=on --set mode=stereo");
            ASSERT_EQ(r.exitCode, 0) << r.err;
            const Audio in = readAudio(folder / name);
            const Audio out = readAudio(folder / ("out" + fs::path(name).extension().string()));
            EXPECT_EQ(out.info.format, in.info.format);
            EXPECT_EQ(out.info.channels, channels);
            EXPECT_EQ(out.samples, in.samples) << std::hex << format << " " << channels;
            EXPECT_EQ(out.floats, in.floats) << std::hex << format << " " << channels;
        }
    }
}

TEST_F(GravelTool, RendersTheDemoWithoutInput)
{
    REQUIRE_GRAVEL();
    const Result r = run("render");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const fs::path demo = folder / "gravel-demo.wav";
    EXPECT_NE(r.out.find("gravel: wrote " + demo.string() + " (7.5 s, mono, 44100 Hz)"),
              std::string::npos)
        << r.out;
    const Audio a = readAudio(demo);
    EXPECT_EQ(a.info.frames, 7.5 * 44100);
    EXPECT_EQ(a.info.samplerate, 44100);
}

TEST_F(GravelTool, PresetsSaveAndLoad)
{
    REQUIRE_GRAVEL();
    writeTestFile(folder / "in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100);
    Result r = run("render in.wav -o direct.wav --set drive=7.5 --set fat=on --save-preset hot.fxp");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(fs::file_size(folder / "hot.fxp"), 100u);
    r = run("render in.wav -o preset.wav --preset hot.fxp");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readAudio(folder / "preset.wav").floats, readAudio(folder / "direct.wav").floats);
    r = run("render in.wav -o bank.wav --set drive=7.5 --set fat=on --save-preset hot.fxb");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(fs::file_size(folder / "hot.fxb"), 256u);
    r = run("render in.wav -o frombank.wav --preset hot.fxb");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readAudio(folder / "frombank.wav").floats, readAudio(folder / "direct.wav").floats);
}

TEST_F(GravelTool, ErrorsSayWhatToDoInOneLine)
{
    REQUIRE_GRAVEL();
    writeTestFile(folder / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, 0.1);
    const std::string original = readText(folder / "in.wav");

    Result r = run("render missing.wav");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "gravel: cannot read missing.wav: no such file; check the path\n");
    std::ofstream(folder / "notes.txt") << "not audio";
    r = run("render notes.txt");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.find("gravel: cannot read notes.txt: "), 0u) << r.err;
    EXPECT_NE(r.err.find("; give an audio file libsndfile reads"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);

    r = run("render in.wav --set gain=3");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "gravel: unknown parameter 'gain'; valid names: Input Level, Drive, Tone, "
                     "Level, Asym., Fat, In Buffer, Out Buffer, Plugin Mode, Bypass, Oversampling\n");

    r = run("render in.wav --set oversampling=16");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "gravel: '16' is no value of Oversampling: give one of 2x, 4x, 8x\n");

    r = run("render in.wav -o no/such/folder/out.wav");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.find("gravel: cannot write no/such/folder/out.wav: "), 0u) << r.err;
    EXPECT_NE(r.err.find("; check the folder exists and is writable\n"), std::string::npos) << r.err;

    r = run("render in.wav -o in.wav");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "gravel: in.wav is the input file; give another name with -o\n");
    r = run("render in.wav -o ./in.wav");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(readText(folder / "in.wav"), original) << "the input is never overwritten";

    // A preset of another effect, and a damaged one of this effect.
    ASSERT_EQ(run("render in.wav -o x.wav --save-preset good.fxp").exitCode, 0);
    std::string preset = readText(folder / "good.fxp");
    std::string foreign = preset;
    foreign.replace(16, 4, "Fake");
    std::ofstream(folder / "foreign.fxp", std::ios::binary) << foreign;
    r = run("render in.wav --preset foreign.fxp");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "gravel: preset foreign.fxp belongs to another effect (ID Fake, this one is "
                     "GRV7); give a preset saved from Gravel v1.5.2\n");
    std::ofstream(folder / "cut.fxp", std::ios::binary) << preset.substr(0, 70);
    r = run("render in.wav --preset cut.fxp");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "gravel: cannot load preset cut.fxp: Invalid format of FXP / FXB data; give an "
                     ".fxp or .fxb file saved from Gravel v1.5.2\n");
    std::string truncated = preset.substr(0, 70);
    truncated[4] = truncated[5] = truncated[6] = 0;
    truncated[7] = 62; // byteSize matches the cut length: the values run out
    std::ofstream(folder / "short.fxp", std::ios::binary) << truncated;
    r = run("render in.wav --preset short.fxp");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(": End of file error; "), std::string::npos) << r.err;

    r = run("render in.wav --frobnicate");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "gravel: unknown option '--frobnicate'; see 'gravel render --help'\n");
    r = run("render in.wav --block 0");
    EXPECT_EQ(r.exitCode, 2);
    r = run("mix");
    EXPECT_EQ(r.exitCode, 2);
    r = run("render in.wav --plugin nowhere.vst");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.find("gravel: no plug-in at nowhere.vst; "), 0u) << r.err;
}

TEST_F(GravelTool, InfoListsIdentityParametersAndPrograms)
{
    REQUIRE_GRAVEL();
    const Result r = run("info");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find("Gravel v1.5.2\n"), 0u);
    EXPECT_NE(r.out.find("  ID       GRV7\n"), std::string::npos);
    EXPECT_NE(r.out.find("Parameters (11):"), std::string::npos);
    EXPECT_NE(r.out.find("Oversampling"), std::string::npos);
    EXPECT_NE(r.out.find("Init 1  (current)"), std::string::npos);
    EXPECT_TRUE(r.err.empty()) << "the host's log stays quiet without --verbose: " << r.err;
}

TEST_F(GravelTool, HelpForEachCommand)
{
    for (const char* arguments : {"--help", "render --help", "info --help"}) {
        const Result r = run(arguments);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out.find("Usage: gravel"), 0u) << arguments;
    }
}

TEST_F(GravelTool, LoadsABareSharedObjectAsAPlugIn)
{
    // A .so outside any bundle, as Linux plug-in folders hold them.
    const fs::path so = folder / "bare.so";
    fs::copy_file(std::string(GRAVEL_FAKE_EFFECTS_DIR) +
                      "/FakeEffect.vst/Contents/x86_64-linux/FakeEffect.so",
                  so);
    // Loaded through a stand-in bundle in a temporary folder, removed afterwards.
    const fs::path temporary = folder / "tmp";
    fs::create_directories(temporary);
    Result r = run("info --plugin bare.so", "TMPDIR='" + temporary.string() + "' ");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::is_empty(temporary));
    EXPECT_EQ(r.out.find("Fake Effect\n"), 0u) << r.out;
    EXPECT_NE(r.out.find("A parameter name longer "), std::string::npos);

    writeTestFile(folder / "in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100, 0.1);
    r = run("render in.wav --plugin bare.so --set gain=100%");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Audio in = readAudio(folder / "in.wav"), out = readAudio(folder / "in-gravel.wav");
    ASSERT_EQ(in.floats.size(), out.floats.size());
    for (size_t i = 0; i < in.floats.size(); i += 97)
        EXPECT_EQ(out.floats[i], 2.0f * in.floats[i]) << "the fake doubles at full gain";

    // A versioned file name loads the same way.
    fs::copy_file(so, folder / "bare.so.2");
    r = run("info --plugin bare.so.2");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find("Fake Effect\n"), 0u) << r.out;

    r = run("info -v --plugin bare.so");
    EXPECT_NE(r.err.find("VST open\n"), std::string::npos) << "--verbose shows the host's log";
}

namespace {

// Width and height from a PNG's header; 0, 0 when it is not one.
std::pair<unsigned, unsigned> pngSize(const std::string& bytes)
{
    if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0)
        return {0, 0};
    auto be32 = [&](size_t at) {
        return (unsigned(uint8_t(bytes[at])) << 24) | (unsigned(uint8_t(bytes[at + 1])) << 16) |
               (unsigned(uint8_t(bytes[at + 2])) << 8) | unsigned(uint8_t(bytes[at + 3]));
    };
    return {be32(16), be32(20)};
}

} // namespace

TEST_F(GravelTool, SnapshotDrawsEitherPanelWithTheSettingsGiven)
{
    REQUIRE_GRAVEL();
    const Result front = run("snapshot");
    ASSERT_EQ(front.exitCode, 0) << front.err;
    EXPECT_NE(front.out.find("gravel-front.png (front panel"), std::string::npos) << front.out;
    const std::string frontPicture = readText(folder / "gravel-front.png");
    EXPECT_EQ(pngSize(frontPicture), std::make_pair(263u, 350u));

    ASSERT_EQ(run("snapshot --back").exitCode, 0);
    const std::string backPicture = readText(folder / "gravel-back.png");
    EXPECT_EQ(pngSize(backPicture), std::make_pair(263u, 350u));
    EXPECT_NE(backPicture, frontPicture);

    // A turned knob is a different picture; the same settings the same one.
    ASSERT_EQ(run("snapshot -o driven.png --set drive=10").exitCode, 0);
    EXPECT_NE(readText(folder / "driven.png"), frontPicture);
    ASSERT_EQ(run("snapshot -o again.png").exitCode, 0);
    EXPECT_EQ(readText(folder / "again.png"), frontPicture);
    EXPECT_EQ(files(), (std::set<std::string>{"gravel-front.png", "gravel-back.png", "driven.png",
                                              "again.png"}))
        << "no temporary file left";
}

TEST_F(GravelTool, SnapshotErrorsSayWhatToDo)
{
    REQUIRE_GRAVEL();
    const Result unknown = run("snapshot --set loudness=11");
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("loudness"), std::string::npos) << unknown.err;

    const Result bare = run("snapshot --plugin '" GRAVEL_BUNDLE_DIR "/Contents/x86_64-linux/Gravel.so'");
    EXPECT_EQ(bare.exitCode, 1);
    EXPECT_NE(bare.err.find("give --plugin the bundle"), std::string::npos) << bare.err;
    EXPECT_EQ(std::count(bare.err.begin(), bare.err.end(), '\n'), 1) << "one line";
}

TEST_F(GravelTool, NeverWritesOverAFileItReads)
{
    REQUIRE_GRAVEL();
    writeTestFile(folder / "good.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, 0.1);
    const std::string input = readText(folder / "good.wav");
    ASSERT_EQ(run("render good.wav -o old.wav --save-preset p.fxp").exitCode, 0);
    const std::string output = readText(folder / "old.wav"), preset = readText(folder / "p.fxp");
    fs::create_hard_link(folder / "good.wav", folder / "alias.wav");
    fs::create_directory_symlink(".", folder / "here");

    struct Case {
        const char* arguments;
        const char* error;
    } const cases[] = {
        {"render good.wav --save-preset good.wav -o out.wav",
         "gravel: good.wav is the input file; give --save-preset another name\n"},
        {"render good.wav --save-preset ./sub/../good.wav",
         "gravel: ./sub/../good.wav is the input file; give --save-preset another name\n"},
        {"render good.wav --save-preset alias.wav",
         "gravel: alias.wav is the input file; give --save-preset another name\n"},
        {"render good.wav -o old.wav --save-preset ./old.wav",
         "gravel: ./old.wav is the output file; give --save-preset another name\n"},
        {"render good.wav -o new.wav --save-preset here/new.wav",
         "gravel: here/new.wav is the output file; give --save-preset another name\n"},
        {"render good.wav --preset p.fxp -o p.fxp",
         "gravel: p.fxp is the preset given with --preset; give -o another name\n"},
        {"render --save-preset gravel-demo.wav",
         "gravel: gravel-demo.wav is the output file; give --save-preset another name\n"},
    };
    for (const Case& c : cases) {
        const Result r = run(c.arguments);
        EXPECT_EQ(r.exitCode, 1) << c.arguments;
        EXPECT_EQ(r.err, c.error);
    }
    EXPECT_EQ(readText(folder / "good.wav"), input);
    EXPECT_EQ(readText(folder / "old.wav"), output);
    EXPECT_EQ(readText(folder / "p.fxp"), preset);
    EXPECT_EQ(files(), (std::set<std::string>{"good.wav", "alias.wav", "here", "old.wav", "p.fxp"}));

    // A take named like a temporary file renders like any other.
    fs::rename(folder / "good.wav", folder / "take.wav.partial");
    const Result r = run("render take.wav.partial -o take.wav");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readText(folder / "take.wav.partial"), input);
    EXPECT_EQ(readAudio(folder / "take.wav").info.frames, 4410);
    EXPECT_EQ(files(),
              (std::set<std::string>{"take.wav.partial", "take.wav", "alias.wav", "here", "old.wav",
                                     "p.fxp"}));
}

TEST_F(GravelTool, AFolderGivenForAFileIsAOneLineError)
{
    REQUIRE_GRAVEL();
    writeTestFile(folder / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, 0.1);
    fs::create_directories(folder / "dir");
    const std::pair<const char*, const char*> cases[] = {
        {"render in.wav --preset dir",
         "gravel: cannot read preset dir: it is a folder; give an .fxp or .fxb file\n"},
        {"render in.wav --save-preset dir", "gravel: dir is a folder; give --save-preset a file name\n"},
        {"render in.wav -o dir", "gravel: dir is a folder; give -o a file name\n"},
        {"snapshot -o dir", "gravel: dir is a folder; give a file name\n"},
    };
    for (const auto& [arguments, error] : cases) {
        const Result r = run(arguments);
        EXPECT_EQ(r.exitCode, 1) << arguments;
        EXPECT_EQ(r.err, error);
    }
    EXPECT_TRUE(fs::is_empty(folder / "dir"));
    EXPECT_EQ(files(), (std::set<std::string>{"in.wav", "dir"}));
}

namespace {

// In the child: files may grow to `bytes`, and a write past that fails
// (EFBIG) instead of killing the process, as on a full disk.
std::function<void()> fileSizeLimit(rlim_t bytes)
{
    return [bytes] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, bytes};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    };
}

} // namespace

TEST_F(GravelTool, AFailedWriteKeepsTheOldFileAndLeavesNoTemporaryFile)
{
    REQUIRE_GRAVEL();
    writeTestFile(folder / "in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100, 0.2);
    ASSERT_EQ(run("render in.wav -o out.wav --set drive=2 --save-preset p.fxp").exitCode, 0);
    ASSERT_EQ(run("render in.wav -o out.wav --set drive=2 --save-preset p.fxb").exitCode, 0);
    ASSERT_EQ(run("snapshot -o pedal.png").exitCode, 0);
    fs::permissions(folder / "p.fxp", fs::perms(0640));
    const std::set<std::string> before = files();
    std::map<std::string, std::string> contents;
    for (const std::string& name : before)
        contents[name] = readText(folder / name);

    // Every file written here is larger than the limit.
    const std::vector<std::vector<std::string>> failing = {
        {"render", "in.wav", "-o", "new.wav", "--set", "drive=9", "--save-preset", "p.fxp"},
        {"render", "in.wav", "-o", "new.wav", "--set", "drive=9", "--save-preset", "p.fxb"},
        {"render", "in.wav", "-o", "out.wav", "--set", "drive=9"},
        {"snapshot", "-o", "pedal.png", "--set", "drive=9"},
    };
    for (const auto& arguments : failing) {
        const Result r = runChild(arguments, fileSizeLimit(64));
        EXPECT_EQ(r.exitCode, 1) << arguments[0] << " " << arguments.back() << ": " << r.err;
        EXPECT_EQ(r.err.find("gravel: cannot "), 0u) << r.err;
        EXPECT_NE(r.err.find("room on the disk"), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(files(), before) << "no temporary file left, nothing new";
        for (const auto& [name, bytes] : contents)
            EXPECT_EQ(readText(folder / name), bytes) << name << " is kept";
    }

    // With room, the new preset replaces the old one and keeps its permissions.
    const Result r = run("render in.wav -o out.wav --set drive=9 --save-preset p.fxp");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(readText(folder / "p.fxp"), contents["p.fxp"]);
    EXPECT_EQ(fs::status(folder / "p.fxp").permissions(), fs::perms(0640));
    EXPECT_EQ(files(), before);

    // A render that cannot make its output saves no preset either, through
    // either entry.
    for (const std::string saving : {"--save-preset new.fxp", "--au --save-aupreset new.aupreset"}) {
        const Result noFolder = run("render in.wav -o missing/out.wav --set drive=9 " + saving);
        EXPECT_EQ(noFolder.exitCode, 1) << saving;
        EXPECT_NE(noFolder.err.find("check the folder exists"), std::string::npos) << noFolder.err;
        EXPECT_EQ(files(), before) << saving;
    }
}

TEST_F(GravelTool, AnInterruptedRenderLeavesNoTemporaryFile)
{
    REQUIRE_GRAVEL();
    // Long enough that the render is still running when the signal comes.
    writeTestFile(folder / "long.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, 30.0);
    bool sawTemporaryFile = false;
    const Result r = runChild(
        {"render", "long.wav", "-o", "out.wav", "--set", "mode=stereo", "--set", "oversampling=8"},
        [] { ::signal(SIGINT, SIG_DFL); }, // as from a terminal, even when ctest runs in the background
        [&](pid_t tool) {
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (!sawTemporaryFile && std::chrono::steady_clock::now() < giveUp) {
                for (const std::string& name : files())
                    sawTemporaryFile |= name.rfind("out.wav.partial-", 0) == 0;
                if (!sawTemporaryFile)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            ::kill(tool, SIGINT);
        });
    ASSERT_TRUE(sawTemporaryFile) << r.out << r.err;
    EXPECT_EQ(r.signal, SIGINT) << "the tool ends as interrupted, exit code " << r.exitCode;
    EXPECT_EQ(files(), std::set<std::string>{"long.wav"});
}

TEST_F(GravelTool, NonFiniteOutputIsCountedAndFailsTheRender)
{
    // The fake effect doubles its input at full gain: the largest floats
    // become infinities, as a misbehaving third-party effect's output would.
    std::vector<float> samples(1000, 0.25f);
    for (size_t i = 0; i < samples.size(); i += 100)
        samples[i] = std::numeric_limits<float>::max();
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open((folder / "loud.wav").c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    sf_writef_float(f, samples.data(), sf_count_t(samples.size()));
    sf_close(f);

    const std::string fake = "--plugin '" GRAVEL_FAKE_EFFECTS_DIR "/FakeEffect.vst' ";
    Result r = run("render loud.wav -o out.wav --set gain=100% " + fake);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "gravel: the effect output 10 NaN or infinite samples of 1000, so out.wav "
                     "was not written; try other settings or another effect\n");
    EXPECT_FALSE(fs::exists(folder / "out.wav"));

    // A failed render takes the place of nothing the user had.
    fs::copy_file(folder / "loud.wav", folder / "kept.wav");
    r = run("render loud.wav -o kept.wav --set gain=100% " + fake);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(readAudio(folder / "kept.wav").floats, samples);
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos)
            << entry.path();

    r = run("render loud.wav -o half.wav --set gain=0.5 " + fake);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find("NaN"), std::string::npos) << r.out;
}
