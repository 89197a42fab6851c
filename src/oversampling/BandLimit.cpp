#include "oversampling/BandLimit.h"

#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "utils/Assert.h"

namespace {

struct CoefficientSet {
    const double* a;
    int aCount;
    const double* b;
    int bCount;
};

// Designed sets, branch A then branch B, sections in order.
const double steep12A[] = {0.036681502163648017, 0.2746317593794541, 0.5610989697879195,
                           0.769741833862266, 0.8922608180038789, 0.962094548378084};
const double steep12B[] = {0.13654762463195771, 0.42313861743656667, 0.6775400499741616,
                           0.839889624849638, 0.9315419599631839, 0.9878163707328971};
const double steep10A[] = {0.051457617441190984, 0.35978656070567017, 0.6725475931034693,
                           0.8590884928249939, 0.9540209867860787};
const double steep10B[] = {0.18621906251989334, 0.529951372847964, 0.7810257527489514,
                           0.9141815687605308, 0.985475023014907};
const double steep8A[] = {0.07711507983241622, 0.4820706250610472, 0.7968204713315797,
                          0.9412514277740471};
const double steep8B[] = {0.2659685265210946, 0.6651041532634957, 0.8841015085506159,
                          0.9820054141886075};
const double steep6A[] = {0.1271414136264853, 0.6528245886369117, 0.9176942834328115};
const double steep6B[] = {0.40056789819445626, 0.8204163891923343, 0.9763114515836773};
const double steep4A[] = {0.12073211751675449, 0.6632020224193995};
const double steep4B[] = {0.3903621872345006, 0.890786832653497};

const double gentle12A[] = {0.01677466677723562, 0.13902148819717805, 0.3325011117394731,
                            0.53766105314488, 0.7214184024215805, 0.8821858402078155};
const double gentle12B[] = {0.06501319274445962, 0.23094129990840923, 0.4364942348420355,
                            0.6329609551399348, 0.8037808679411123, 0.9599687404800694};
const double gentle10A[] = {0.02366831419883467, 0.18989476227180174, 0.43157318062118555,
                            0.6632020224193995, 0.860015542499582};
const double gentle10B[] = {0.09056555904993387, 0.3078575723749043, 0.5516782402507934,
                            0.7652146863779808, 0.9524772837866754};
const double gentle8A[] = {0.03583278843106211, 0.2720401433964576, 0.5720571972357003,
                           0.827124761997324};
const double gentle8B[] = {0.1340901419430669, 0.4243248712718685, 0.7062921421386394,
                           0.9415030941737551};
const double gentle6A[] = {0.06029739095712437, 0.4125907203610563, 0.7727156537429234};
const double gentle6B[] = {0.21597144456092948, 0.6043586264658363, 0.9238861386532906};
const double gentle4A[] = {0.07986642623635751, 0.5453536510711322};
const double gentle4B[] = {0.28382934487410993, 0.8344118914807379};

// The order-2 filter, also used for every order without a designed set.
const double order2A[] = {0.23647102099689224};
const double order2B[] = {0.7145421497126001};

template <int NA, int NB>
CoefficientSet set(const double (&a)[NA], const double (&b)[NB])
{
    return {a, NA, b, NB};
}

CoefficientSet coefficientsFor(int order, bool steep)
{
    switch (order) {
    case 12: return steep ? set(steep12A, steep12B) : set(gentle12A, gentle12B);
    case 10: return steep ? set(steep10A, steep10B) : set(gentle10A, gentle10B);
    case 8: return steep ? set(steep8A, steep8B) : set(gentle8A, gentle8B);
    case 6: return steep ? set(steep6A, steep6B) : set(gentle6A, gentle6B);
    case 4: return steep ? set(steep4A, steep4B) : set(gentle4A, gentle4B);
    default: return set(order2A, order2B);
    }
}

#if defined(__SSE2__)

// Section i of branch A in lane 0 and section i of branch B in lane 1, the
// memories in registers while a block runs. Each lane does what
// CAllPassFilter::processOpt does, operation for operation and in the same
// order, and this file is compiled without contraction, so every lane is bit
// for bit the scalar result.
template <int Sections>
class BranchLanes {
public:
    BranchLanes(CAllPassFilterCascade& branchA, CAllPassFilterCascade& branchB)
        : branchA(branchA), branchB(branchB)
    {
        for (int i = 0; i < Sections; ++i) {
            const CAllPassFilter& sectionA = branchA.section(i);
            const CAllPassFilter& sectionB = branchB.section(i);
            a[i] = _mm_set_pd(sectionB.coefficient(), sectionA.coefficient());
            x2[i] = _mm_set_pd(sectionB.lowRateInput(), sectionA.lowRateInput());
            y2[i] = _mm_set_pd(sectionB.lowRateOutput(), sectionA.lowRateOutput());
        }
    }

    // Branch A's input in lane 0, branch B's in lane 1.
    __m128d process(__m128d x)
    {
        for (int i = 0; i < Sections; ++i) {
            // y = a·(x − y2) + x2
            const __m128d y = _mm_add_pd(_mm_mul_pd(a[i], _mm_sub_pd(x, y2[i])), x2[i]);
            y2[i] = y;
            x2[i] = x;
            x = y;
        }
        return x;
    }

    // Two filters' lanes section by section in turn: each channel's chain
    // is exactly process's, the two interleaved so that neither waits.
    static void processTogether(BranchLanes& left, __m128d& xLeft, BranchLanes& right,
                                __m128d& xRight)
    {
        for (int i = 0; i < Sections; ++i) {
            const __m128d yLeft = _mm_add_pd(
                _mm_mul_pd(left.a[i], _mm_sub_pd(xLeft, left.y2[i])), left.x2[i]);
            const __m128d yRight = _mm_add_pd(
                _mm_mul_pd(right.a[i], _mm_sub_pd(xRight, right.y2[i])), right.x2[i]);
            left.y2[i] = yLeft;
            left.x2[i] = xLeft;
            xLeft = yLeft;
            right.y2[i] = yRight;
            right.x2[i] = xRight;
            xRight = yRight;
        }
    }

    void storeMemories()
    {
        for (int i = 0; i < Sections; ++i) {
            double input[2], output[2];
            _mm_storeu_pd(input, x2[i]);
            _mm_storeu_pd(output, y2[i]);
            branchA.section(i).setLowRateMemories(input[0], output[0]);
            branchB.section(i).setLowRateMemories(input[1], output[1]);
        }
    }

private:
    CAllPassFilterCascade& branchA;
    CAllPassFilterCascade& branchB;
    __m128d a[Sections];  // coefficients
    __m128d x2[Sections]; // previous inputs
    __m128d y2[Sections]; // previous outputs
};

template <int Sections>
void upsampleInLanes(CAllPassFilterCascade& branchA, CAllPassFilterCascade& branchB,
                     const double* in, int count, double* out)
{
    BranchLanes<Sections> lanes(branchA, branchB);
    for (int i = 0; i < count; ++i)
        _mm_storeu_pd(out + 2 * i, lanes.process(_mm_set1_pd(in[i])));
    lanes.storeMemories();
}

// Returns branch B's last output, which the next pair needs.
template <int Sections>
double downsampleInLanes(CAllPassFilterCascade& branchA, CAllPassFilterCascade& branchB,
                         const double* in, int count, double* out, double previousBOutput)
{
    BranchLanes<Sections> lanes(branchA, branchB);
    for (int i = 0; i < count; ++i) {
        const __m128d y = lanes.process(_mm_loadu_pd(in + 2 * i));
        out[i] = 0.5 * (_mm_cvtsd_f64(y) + previousBOutput);
        previousBOutput = _mm_cvtsd_f64(_mm_unpackhi_pd(y, y));
    }
    lanes.storeMemories();
    return previousBOutput;
}

// The left filter's branches in leftLanes, the right's in rightLanes.
template <int Sections>
void upsampleTogetherInLanes(BranchLanes<Sections>& leftLanes, BranchLanes<Sections>& rightLanes,
                             const double* inLeft, const double* inRight, int count,
                             double* outLeft, double* outRight)
{
    for (int i = 0; i < count; ++i) {
        __m128d xLeft = _mm_set1_pd(inLeft[i]);
        __m128d xRight = _mm_set1_pd(inRight[i]);
        BranchLanes<Sections>::processTogether(leftLanes, xLeft, rightLanes, xRight);
        _mm_storeu_pd(outLeft + 2 * i, xLeft);
        _mm_storeu_pd(outRight + 2 * i, xRight);
    }
    leftLanes.storeMemories();
    rightLanes.storeMemories();
}

// Both pairs are read before either output is written, so each output may
// be its own channel's input.
template <int Sections>
void downsampleTogetherInLanes(BranchLanes<Sections>& leftLanes,
                               BranchLanes<Sections>& rightLanes, const double* inLeft,
                               const double* inRight, int count, double* outLeft,
                               double* outRight, double& previousBLeft, double& previousBRight)
{
    double previousLeft = previousBLeft, previousRight = previousBRight;
    for (int i = 0; i < count; ++i) {
        __m128d yLeft = _mm_loadu_pd(inLeft + 2 * i);
        __m128d yRight = _mm_loadu_pd(inRight + 2 * i);
        BranchLanes<Sections>::processTogether(leftLanes, yLeft, rightLanes, yRight);
        outLeft[i] = 0.5 * (_mm_cvtsd_f64(yLeft) + previousLeft);
        previousLeft = _mm_cvtsd_f64(_mm_unpackhi_pd(yLeft, yLeft));
        outRight[i] = 0.5 * (_mm_cvtsd_f64(yRight) + previousRight);
        previousRight = _mm_cvtsd_f64(_mm_unpackhi_pd(yRight, yRight));
    }
    leftLanes.storeMemories();
    rightLanes.storeMemories();
    previousBLeft = previousLeft;
    previousBRight = previousRight;
}

#endif

// Calls run(std::integral_constant<int, N>()) for branches of N sections each,
// N being one of the designed counts; false if the branches differ or no
// designed set has that many.
template <class Run>
bool withEqualBranches(int sectionsA, int sectionsB, Run&& run)
{
    if (sectionsA != sectionsB)
        return false;
    switch (sectionsA) {
    case 1: run(std::integral_constant<int, 1>()); return true;
    case 2: run(std::integral_constant<int, 2>()); return true;
    case 3: run(std::integral_constant<int, 3>()); return true;
    case 4: run(std::integral_constant<int, 4>()); return true;
    case 5: run(std::integral_constant<int, 5>()); return true;
    case 6: run(std::integral_constant<int, 6>()); return true;
    default: return false;
    }
}

// Named in the contract checks, which release builds compile out.
[[maybe_unused]] const char* const source = "src/oversampling/BandLimit";

} // namespace

CAllPassFilterCascade::CAllPassFilterCascade(const double* coefficients, int count)
    : sections(new CAllPassFilter*[count]), count(count)
{
    for (int i = 0; i < count; ++i)
        sections[i] = new CAllPassFilter(coefficients[i]);
}

CAllPassFilterCascade::~CAllPassFilterCascade()
{
    for (int i = 0; i < count; ++i)
        delete sections[i];
    delete[] sections;
}

void CAllPassFilterCascade::reset()
{
    for (int i = 0; i < count; ++i)
        sections[i]->reset();
}

CHalfBandFilter::CHalfBandFilter(int order, bool steep)
{
    const CoefficientSet coefficients = coefficientsFor(order, steep);
    branchA = new CAllPassFilterCascade(coefficients.a, coefficients.aCount);
    branchB = new CAllPassFilterCascade(coefficients.b, coefficients.bCount);
    GRAVEL_ASSERT(!switchFilter, source, 292);
}

CHalfBandFilter::~CHalfBandFilter()
{
    delete branchA;
    delete branchB;
}

double CHalfBandFilter::processFilterOpt(double x)
{
    if (!switchFilter) {
        const double out = 0.5 * (branchA->processOpt(x) + previousBOutput);
        switchFilter = true;
        return out;
    }
    const double out = 0.5 * previousBOutput;
    previousBOutput = branchB->processOpt(x);
    switchFilter = false;
    return out;
}

double CHalfBandFilter::process(double x)
{
    const double a = branchA->process(x);
    const double b = branchB->process(x);
    const double out = 0.5 * (a + previousBOutput);
    previousBOutput = b;
    return out;
}

double CHalfBandFilter::processUpsample(double x)
{
    const double a = branchA->process(x);
    const double b = branchB->process(x);
    const double out = a + previousBOutput;
    previousBOutput = b;
    return out;
}

void CHalfBandFilter::upsampleBlock(double* in, double* out, int upsampledSize)
{
    GRAVEL_ASSERT(upsampledSize >= 2, source, 389);
    GRAVEL_ASSERT(upsampledSize%2 == 0, source, 390);
    const int count = upsampledSize / 2;
    upsampleSamples(in, count, out);
    GRAVEL_ASSERT(2 * count == upsampledSize, source, 407);
}

void CHalfBandFilter::downsampleBlock(double* in, double* out, int size)
{
    GRAVEL_ASSERT(size>=2, source, 413);
    GRAVEL_ASSERT(size%2==0, source, 414);
    downsamplePairs(in, size, out);
}

void CHalfBandFilter::upsampleSamples(const double* in, int count, double* out)
{
#if defined(__SSE2__)
    if (withEqualBranches(branchA->size(), branchB->size(), [&](auto sections) {
            upsampleInLanes<decltype(sections)::value>(*branchA, *branchB, in, count, out);
        }))
        return;
#endif
    for (int i = 0; i < count; ++i)
        upsample(in[i], out[2 * i], out[2 * i + 1]);
}

void CHalfBandFilter::downsamplePairs(const double* in, int count, double* out)
{
#if defined(__SSE2__)
    if (withEqualBranches(branchA->size(), branchB->size(), [&](auto sections) {
            previousBOutput = downsampleInLanes<decltype(sections)::value>(
                *branchA, *branchB, in, count, out, previousBOutput);
        }))
        return;
#endif
    for (int i = 0; i < count; ++i)
        downsample(in[2 * i], in[2 * i + 1], out[i]);
}

#if defined(__SSE2__)
template <class Run>
bool CHalfBandFilter::inLanesTogether(CHalfBandFilter& left, CHalfBandFilter& right, Run&& run)
{
    return left.branchA->size() == right.branchA->size() &&
           left.branchB->size() == right.branchB->size() &&
           withEqualBranches(left.branchA->size(), left.branchB->size(), [&](auto sections) {
               constexpr int n = decltype(sections)::value;
               BranchLanes<n> leftLanes(*left.branchA, *left.branchB);
               BranchLanes<n> rightLanes(*right.branchA, *right.branchB);
               run(leftLanes, rightLanes);
           });
}
#endif

void CHalfBandFilter::upsampleSamplesTogether(CHalfBandFilter& left, CHalfBandFilter& right,
                                              const double* inLeft, const double* inRight,
                                              int count, double* outLeft, double* outRight)
{
#if defined(__SSE2__)
    if (inLanesTogether(left, right, [&](auto& leftLanes, auto& rightLanes) {
            upsampleTogetherInLanes(leftLanes, rightLanes, inLeft, inRight, count, outLeft,
                                    outRight);
        }))
        return;
#endif
    left.upsampleSamples(inLeft, count, outLeft);
    right.upsampleSamples(inRight, count, outRight);
}

void CHalfBandFilter::downsamplePairsTogether(CHalfBandFilter& left, CHalfBandFilter& right,
                                              const double* inLeft, const double* inRight,
                                              int count, double* outLeft, double* outRight)
{
#if defined(__SSE2__)
    if (inLanesTogether(left, right, [&](auto& leftLanes, auto& rightLanes) {
            downsampleTogetherInLanes(leftLanes, rightLanes, inLeft, inRight, count, outLeft,
                                      outRight, left.previousBOutput, right.previousBOutput);
        }))
        return;
#endif
    left.downsamplePairs(inLeft, count, outLeft);
    right.downsamplePairs(inRight, count, outRight);
}

void CHalfBandFilter::reset()
{
    branchA->reset();
    branchB->reset();
    previousBOutput = 0.0;
}
