#include "HostingTestSupport.h"

#include "FakeEffect.h"
#include "hosting/TandemException.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

namespace {

using Bytes = std::vector<unsigned char>;

uint32_t beWord(const Bytes& b, size_t at)
{
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) |
           uint32_t(b[at + 3]);
}

void setWord(Bytes& b, size_t at, uint32_t v)
{
    b[at] = uint8_t(v >> 24);
    b[at + 1] = uint8_t(v >> 16);
    b[at + 2] = uint8_t(v >> 8);
    b[at + 3] = uint8_t(v);
}

void setFloat(Bytes& b, size_t at, float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    setWord(b, at, u);
}

std::string fourCC(const Bytes& b, size_t at) { return std::string(b.begin() + at, b.begin() + at + 4); }

class FxpFxb : public ::testing::Test {
protected:
    void SetUp() override
    {
        plugIn = makeProxy(host, "FakeEffect");
        plugIn->open();
        fake = static_cast<FakeEffect*>(plugIn->getEffect()->object);
    }

    Bytes fxp()
    {
        size_t size = 0;
        auto buffer = plugIn->createFXP(size);
        return Bytes(buffer.get(), buffer.get() + size);
    }
    Bytes fxb()
    {
        size_t size = 0;
        auto buffer = plugIn->createFXB(size);
        return Bytes(buffer.get(), buffer.get() + size);
    }
    // Loads from a heap block of exactly the record's length, so that any
    // read past the end is caught by the address sanitizer.
    bool load(const Bytes& bytes)
    {
        std::unique_ptr<unsigned char[]> exact(new unsigned char[bytes.size() + 1]);
        if (!bytes.empty())
            std::memcpy(exact.get(), bytes.data(), bytes.size());
        return plugIn->loadFXPOrFXB(bytes.size(), bytes.empty() ? nullptr : exact.get());
    }
    template <class E>
    std::string failure(const Bytes& bytes)
    {
        try {
            load(bytes);
        } catch (const E& e) {
            return e.what();
        }
        return "loaded";
    }
    void useChunks(const char* text)
    {
        fake->effect.flags |= effFlagsProgramChunks;
        fake->chunkSize = static_cast<VstIntPtr>(std::strlen(text));
        std::memcpy(fake->chunk, text, std::strlen(text));
    }

    TestHost host;
    LogCapture log;
    std::unique_ptr<VSTPlugIn> plugIn;
    FakeEffect* fake = nullptr;
};

} // namespace

TEST_F(FxpFxb, ProgramRecordLayout)
{
    const Bytes b = fxp();
    ASSERT_EQ(b.size(), 56u + 4 * 3);
    EXPECT_EQ(fourCC(b, 0), "CcnK");
    EXPECT_EQ(beWord(b, 4), b.size() - 8);
    EXPECT_EQ(fourCC(b, 8), "FxCk");
    EXPECT_EQ(beWord(b, 12), 1u);
    EXPECT_EQ(fourCC(b, 16), "Fake");
    EXPECT_EQ(beWord(b, 20), 7u);
    EXPECT_EQ(beWord(b, 24), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[28])), "Program 1");
    for (size_t i = 28 + 9; i < 56; ++i)
        EXPECT_EQ(b[i], 0) << "name field byte " << i;
    EXPECT_EQ(beWord(b, 56), 0x3F000000u) << "0.5 big-endian";
    EXPECT_EQ(beWord(b, 60), 0x3E800000u);
    EXPECT_EQ(beWord(b, 64), 0x3F800000u);
    EXPECT_TRUE(log.contains("VST createFXP\n"));
    EXPECT_TRUE(log.contains("VST getCurrentProgramName\n"));

    std::snprintf(fake->programNames[0], 64, "%s", "A name of more than twenty-four characters");
    const Bytes longName = fxp();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&longName[28])), "A name of more than twen");
    EXPECT_EQ(longName[52], 0);
}

TEST_F(FxpFxb, ProgramRoundTripIsExact)
{
    fake->params[1] = 0.123456789f;
    const Bytes saved = fxp();
    fake->params[0] = fake->params[1] = fake->params[2] = 0.9f;
    std::strcpy(fake->programNames[0], "Changed");
    EXPECT_TRUE(load(saved));
    EXPECT_EQ(fake->params[1], 0.123456789f);
    EXPECT_STREQ(fake->programNames[0], "Program 1");
    EXPECT_EQ(fxp(), saved);
    EXPECT_EQ(fake->count(effBeginSetProgram), 1);
    EXPECT_EQ(fake->count(effEndSetProgram), 1);
    EXPECT_TRUE(log.contains("VST loading FxCk\n"));
    EXPECT_TRUE(log.contains("VST loadFXPOrFXB (size=68)\n"));

    Bytes trailing = saved;
    trailing.push_back(0xAB);
    EXPECT_TRUE(load(trailing)) << "bytes after the record are allowed";
}

TEST_F(FxpFxb, EffectWithoutParametersSendsOnlyNameAndBrackets)
{
    fake->effect.numParams = 0;
    const Bytes b = fxp();
    ASSERT_EQ(b.size(), 56u);
    EXPECT_EQ(beWord(b, 4), 48u);
    fake->opcodeCount = 0;
    EXPECT_TRUE(load(b));
    ASSERT_EQ(fake->opcodeCount, 3);
    EXPECT_EQ(fake->opcodes[0], effSetProgramName);
    EXPECT_EQ(fake->opcodes[1], effBeginSetProgram);
    EXPECT_EQ(fake->opcodes[2], effEndSetProgram);
    EXPECT_EQ(fake->setParameterCalls, 0);
}

TEST_F(FxpFxb, BankVisitsEveryProgramAndReturnsToTheCurrentOne)
{
    plugIn->setCurrentProgram(1);
    fake->params[0] = 0.75f;
    std::strcpy(fake->programNames[1], "Second");
    log.lines.clear();
    const Bytes b = fxb();
    ASSERT_EQ(b.size(), 156u + 2 * (56 + 12));
    EXPECT_EQ(fourCC(b, 8), "FxBk");
    EXPECT_EQ(beWord(b, 4), b.size() - 8);
    EXPECT_EQ(beWord(b, 24), 2u);
    for (size_t i = 28; i < 156; ++i)
        ASSERT_EQ(b[i], 0);
    EXPECT_EQ(fourCC(b, 156), "CcnK");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[156 + 28])), "Program 1");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[156 + 68 + 28])), "Second");
    EXPECT_EQ(beWord(b, 156 + 68 + 56), 0x3F400000u) << "0.75";
    EXPECT_EQ(fake->currentProgram, 1);
    const std::vector<std::string> expected = {
        "VST createFXB\n", "VST getCurrentProgram\n", "VST setCurrentProgram: 0\n",
        "VST getCurrentProgramName\n", "VST setCurrentProgram: 1\n",
        "VST getCurrentProgramName\n", "VST setCurrentProgram: 1\n"};
    EXPECT_EQ(log.lines, expected);

    // Round trip: load into changed programs, write again, same bytes.
    fake->programParams[0][2] = 0.0f;
    fake->params[0] = 0.0f;
    plugIn->setCurrentProgram(0);
    log.lines.clear();
    EXPECT_TRUE(load(b));
    EXPECT_TRUE(log.contains("VST loading FxBk\n"));
    EXPECT_EQ(fake->currentProgram, 0);
    EXPECT_EQ(fxb(), b);

    fake->currentProgram = 9; // an effect reporting a program beyond its count
    log.lines.clear();
    fxb();
    EXPECT_EQ(log.lines.back(), "VST setCurrentProgram: 2\n");
}

TEST_F(FxpFxb, RejectsDamagedHeaders)
{
    const Bytes good = fxp();
    EXPECT_EQ(failure<EOFException>(Bytes(good.begin(), good.begin() + 23)), "End of file error");
    EXPECT_EQ(failure<EOFException>(Bytes()), "End of file error");

    Bytes b = good;
    setWord(b, 4, uint32_t(good.size() - 7)); // claims one byte more than there is
    EXPECT_EQ(failure<FormatException>(b), "Invalid format of FXP / FXB data");
    b = good;
    setWord(b, 12, 2);
    EXPECT_EQ(failure<FormatException>(b), "Invalid format of FXP / FXB data");
    b = good;
    b[0] = 'X';
    EXPECT_EQ(failure<FormatException>(b), "Invalid format of FXP / FXB data");
    b = good;
    setWord(b, 16, vstFourCC('G', 'R', 'V', '7'));
    EXPECT_EQ(failure<FormatException>(b), "Invalid format of FXP / FXB data");
    b = good;
    setWord(b, 8, vstFourCC('F', 'x', 'Z', 'z'));
    EXPECT_EQ(failure<FormatException>(b), "Invalid format of FXP / FXB data");
    b = good;
    setWord(b, 20, 99);
    EXPECT_TRUE(load(b)) << "fxVersion is not compared";
    b = good;
    setWord(b, 4, uint32_t(-100)); // a negative byteSize claims nothing
    EXPECT_TRUE(load(b));
}

TEST_F(FxpFxb, ToleratesShortProgramsAndOutOfRangeValues)
{
    Bytes b = fxp();
    setWord(b, 24, 2);
    b.resize(b.size() - 4);
    setWord(b, 4, uint32_t(b.size() - 8));
    fake->params[2] = 0.7f;
    EXPECT_FALSE(load(b));
    EXPECT_EQ(fake->params[2], 0.0f) << "a parameter the record lacks is set to 0";
    EXPECT_TRUE(log.contains("Unexpected parameter count in FXP, expected 3, got 2\n"));

    b = fxp();
    setFloat(b, 56, 1.5f);
    setFloat(b, 60, -0.25f);
    log.lines.clear();
    EXPECT_FALSE(load(b));
    EXPECT_EQ(fake->params[0], 1.0f);
    EXPECT_EQ(fake->params[1], 0.0f);
    EXPECT_TRUE(log.contains("Invalid parameter in FXP: 0=1.500000\n"));
    EXPECT_TRUE(log.contains("Invalid parameter in FXP: 1=-0.250000\n"));

    b = fxp();
    setWord(b, 64, 0x7FC00000u); // NaN
    EXPECT_FALSE(load(b));
    EXPECT_EQ(fake->params[2], 0.0f);

    b = fxp();
    setWord(b, 24, uint32_t(-5)); // no values at all
    EXPECT_FALSE(load(b));
    EXPECT_EQ(fake->params[0], 0.0f);
}

TEST_F(FxpFxb, ValuesPastTheEndFailAfterClosingTheProgramLoad)
{
    Bytes b = fxp();
    setWord(b, 24, 0x7FFFFFFF);
    EXPECT_FALSE(load(b)) << "values beyond the effect's count are never read";
    b.resize(b.size() - 2);
    setWord(b, 4, uint32_t(b.size() - 8));
    EXPECT_EQ(failure<EOFException>(b), "End of file error");
    EXPECT_EQ(fake->count(effBeginSetProgram), fake->count(effEndSetProgram));
}

TEST_F(FxpFxb, ShortBankLoadsWhatItHas)
{
    const Bytes bank = fxb();
    Bytes b(bank.begin(), bank.begin() + 156 + 68);
    setWord(b, 4, uint32_t(b.size() - 8));
    setWord(b, 24, 1);
    plugIn->setCurrentProgram(1);
    fake->params[0] = 0.33f;
    fake->programParams[0][0] = 0.9f;
    log.lines.clear();
    EXPECT_FALSE(load(b));
    EXPECT_TRUE(log.contains("Unexpected program count in FXB data, expected 2, got 1\n"));
    EXPECT_EQ(fake->currentProgram, 1);
    EXPECT_EQ(fake->params[0], 0.33f) << "the program the bank lacks is unchanged";
    EXPECT_EQ(fake->programParams[0][0], 0.5f) << "program 0 came from the bank";

    setWord(b, 24, 0x7FFFFFFF); // only the effect's two programs are attempted
    EXPECT_EQ(failure<EOFException>(b), "End of file error");
    EXPECT_EQ(fake->currentProgram, 1);
}

TEST_F(FxpFxb, BankProgramsOfAnotherParameterCountAreEachFoundByTheirOwnSize)
{
    for (const int savedParams : {4, 2}) {
        fake->effect.numParams = savedParams;
        plugIn->setCurrentProgram(0);
        fake->params[0] = 0.1f;
        plugIn->setCurrentProgram(1);
        fake->params[0] = 0.7f;
        const Bytes saved = fxb();
        fake->effect.numParams = 3;
        plugIn->setCurrentProgram(0);
        fake->params[0] = 0.0f;
        plugIn->setCurrentProgram(1);
        fake->params[0] = 0.0f;

        EXPECT_FALSE(load(saved)) << savedParams << " values a program: loaded, but not perfectly";
        EXPECT_EQ(fake->currentProgram, 1) << "the previous program is selected again";
        EXPECT_EQ(fake->params[0], 0.7f) << savedParams << ": the second program is read from its own start";
        plugIn->setCurrentProgram(0);
        EXPECT_EQ(fake->params[0], 0.1f) << savedParams;
    }
}

TEST_F(FxpFxb, ChunkRecordsRoundTrip)
{
    useChunks("opaque chunk bytes");
    const Bytes p = fxp();
    ASSERT_EQ(p.size(), 60u + 18);
    EXPECT_EQ(fourCC(p, 8), "FPCh");
    EXPECT_EQ(beWord(p, 4), p.size() - 8);
    EXPECT_EQ(beWord(p, 24), 3u);
    EXPECT_EQ(beWord(p, 56), 18u);
    EXPECT_EQ(std::string(p.begin() + 60, p.end()), "opaque chunk bytes");
    EXPECT_TRUE(load(p));
    EXPECT_EQ(fake->receivedChunkIndex, 1);
    EXPECT_EQ(std::string(fake->receivedChunk, fake->receivedChunk + fake->receivedChunkSize),
              "opaque chunk bytes");
    EXPECT_TRUE(log.contains("VST loading FPCh\n"));

    const Bytes b = fxb();
    ASSERT_EQ(b.size(), 160u + 18);
    EXPECT_EQ(fourCC(b, 8), "FBCh");
    EXPECT_EQ(beWord(b, 24), 2u);
    EXPECT_EQ(beWord(b, 156), 18u);
    fake->setChunkResult = 0;
    EXPECT_FALSE(load(b)) << "the effect refused the chunk";
    EXPECT_EQ(fake->receivedChunkIndex, 0);
    EXPECT_TRUE(log.contains("VST loading FBCh\n"));
}

TEST_F(FxpFxb, ChunkPastTheEndNeverReachesTheEffect)
{
    useChunks("0123456789");
    Bytes p = fxp();
    setWord(p, 56, 11);
    fake->receivedChunkSize = -1;
    EXPECT_EQ(failure<EOFException>(p), "Unexpected end of file in FXP / FXB data");
    EXPECT_EQ(fake->receivedChunkSize, -1);
    EXPECT_STREQ(fake->lastProgramNameSent, "Program 1") << "the name goes first";
    setWord(p, 56, uint32_t(-1));
    EXPECT_EQ(failure<EOFException>(p), "Unexpected end of file in FXP / FXB data");
    setWord(p, 56, 0);
    EXPECT_TRUE(load(p)) << "an empty chunk lies inside the data";

    Bytes b = fxb();
    setWord(b, 156, 0x7FFFFFFF);
    EXPECT_EQ(failure<EOFException>(b), "Unexpected end of file in FXB data");
    Bytes cut(b.begin(), b.begin() + 158);
    setWord(cut, 4, uint32_t(cut.size() - 8));
    EXPECT_EQ(failure<EOFException>(cut), "End of file error");
}

TEST_F(FxpFxb, EffectWithoutChunkFailsToWrite)
{
    useChunks("x");
    fake->chunkSize = 0;
    size_t size = 99;
    try {
        plugIn->createFXP(size);
        FAIL();
    } catch (const TandemException& e) {
        EXPECT_STREQ(e.what(), "VST could not create chunk for FXP");
    }
    EXPECT_EQ(size, 0u);
    fake->chunkSize = 4;
    fake->nullChunkPointer = true; // a length with no bytes behind it
    try {
        plugIn->createFXB(size);
        FAIL();
    } catch (const TandemException& e) {
        EXPECT_STREQ(e.what(), "VST could not create chunk for FXB");
    }
    fake->nullChunkPointer = false;
    fake->throwOnOpcode = effGetChunk;
    EXPECT_THROW(plugIn->createFXP(size), TandemException);
}

TEST_F(FxpFxb, EveryTruncationFailsCleanly)
{
    // Each shorter prefix of a bank, a program and a chunk record either loads
    // or throws one of the format's exceptions, without reading past its end.
    std::vector<Bytes> records = {fxb(), fxp()};
    useChunks("chunk");
    records.push_back(fxp());
    records.push_back(fxb());
    for (const Bytes& full : records)
        for (size_t n = 0; n <= full.size(); ++n) {
            Bytes cut(full.begin(), full.begin() + n);
            try {
                load(cut);
            } catch (const TandemException&) {
            }
        }
    EXPECT_EQ(fake->count(effBeginSetProgram), fake->count(effEndSetProgram));
}

TEST(FxpFxbGravel, SizesOfTheBundleEffect)
{
    if (!std::filesystem::exists(GRAVEL_BUNDLE_DIR))
        GTEST_SKIP() << "Gravel.vst is not built";
    TestHost host;
    LogCapture log;
    CFBundleRef bundle = createGravelBundle();
    ASSERT_NE(bundle, nullptr);
    VSTPlugIn plugIn(host, bundle, 44100.0f, 512);
    CFRelease(bundle);
    plugIn.open();
    size_t size = 0;
    auto p = plugIn.createFXP(size);
    ASSERT_EQ(size, 100u);
    Bytes program(p.get(), p.get() + size);
    EXPECT_EQ(beWord(program, 4), 92u);
    EXPECT_EQ(fourCC(program, 8), "FxCk");
    EXPECT_EQ(fourCC(program, 16), "GRV7");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&program[28])), "Init 1");
    auto b = plugIn.createFXB(size);
    ASSERT_EQ(size, 256u);
    Bytes bank(b.get(), b.get() + size);
    EXPECT_EQ(beWord(bank, 4), 248u);
    EXPECT_EQ(fourCC(bank, 156 + 8), "FxCk");

    plugIn.setParameter(1, 0.8f); // Drive
    plugIn.setParameter(10, 1.0f); // Oversampling
    EXPECT_TRUE(plugIn.loadFXPOrFXB(program.size(), program.data()));
    EXPECT_EQ(plugIn.getParameter(1), 0.0f);
    EXPECT_EQ(plugIn.getParameter(10), 0.0f);
    auto again = plugIn.createFXB(size);
    EXPECT_EQ(Bytes(again.get(), again.get() + size), bank);
    EXPECT_TRUE(plugIn.loadFXPOrFXB(bank.size(), bank.data()));
}
