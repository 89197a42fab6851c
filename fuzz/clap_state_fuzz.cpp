// libFuzzer target: arbitrary bytes as a CLAP host's saved state for
// Gravel.clap, handed over through the state extension in reads of a size
// the first byte chooses (hosts read from files, pipes and memory). A load
// either takes the bytes, and then saving gives back their header and
// values, or refuses them and changes nothing. A plug-in that took them then
// plays a block: every sample finite.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "clap/ClapInterface.h"

extern "C" const clap_plugin_entry_t clap_entry;

namespace {

const clap_host_t host = {CLAP_VERSION_INIT, nullptr, "clap_state_fuzz", "", "", "1",
                          [](const clap_host_t*, const char*) -> const void* { return nullptr; },
                          [](const clap_host_t*) {}, [](const clap_host_t*) {}, [](const clap_host_t*) {}};

struct Source {
    const uint8_t* data;
    size_t size, at, chunk;
};

struct Sink {
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> save(const clap_plugin_t* p, const clap_plugin_state_t* state)
{
    Sink sink;
    const clap_ostream_t out = {&sink, [](const clap_ostream_t* s, const void* b, uint64_t n) {
                                    auto* bytes = static_cast<const uint8_t*>(b);
                                    static_cast<Sink*>(s->ctx)->bytes.insert(static_cast<Sink*>(s->ctx)->bytes.end(),
                                                                             bytes, bytes + n);
                                    return int64_t(n);
                                }};
    if (!state->save(p, &out))
        __builtin_trap();
    return sink.bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const clap_plugin_factory_t* factory = [] {
        clap_entry.init("");
        return static_cast<const clap_plugin_factory_t*>(clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
    }();
    if (size == 0)
        return 0;
    const clap_plugin_t* p = factory->create_plugin(factory, &host, "com.brackenfold.gravel");
    p->init(p);
    const auto* state = static_cast<const clap_plugin_state_t*>(p->get_extension(p, CLAP_EXT_STATE));
    const std::vector<uint8_t> before = save(p, state);

    Source source{data + 1, size - 1, 0, size_t(data[0] % 16) + 1};
    const clap_istream_t in = {&source, [](const clap_istream_t* s, void* buffer, uint64_t n) {
                                   auto& src = *static_cast<Source*>(s->ctx);
                                   const size_t k = std::min<size_t>({size_t(n), src.chunk, src.size - src.at});
                                   std::memcpy(buffer, src.data + src.at, k);
                                   src.at += k;
                                   return int64_t(k);
                               }};
    const bool loaded = state->load(p, &in);
    const std::vector<uint8_t> after = save(p, state);
    // The program name's padding and the effect version are written anew.
    const auto same = [&](size_t from, size_t to) {
        return to <= after.size() && to <= size - 1 && std::memcmp(after.data() + from, data + 1 + from, to - from) == 0;
    };
    if (loaded ? !(after.size() == size - 1 && same(0, 20) && same(24, 28) && same(56, after.size()))
               : after != before)
        __builtin_trap();

    // A refused state changed nothing (checked above); a taken one plays.
    if (!loaded) {
        p->destroy(p);
        return 0;
    }
    p->activate(p, 44100.0, 1, 64);
    p->start_processing(p);
    float left[64], right[64];
    for (int i = 0; i < 64; ++i)
        left[i] = right[i] = 0.5f * std::sin(0.1f * float(i));
    float* channels[2] = {left, right};
    clap_audio_buffer_t buffer = {channels, nullptr, 2, 0, 0};
    const clap_process_t block = {-1, 64, nullptr, &buffer, &buffer, 1, 1, nullptr, nullptr};
    p->process(p, &block);
    for (int i = 0; i < 64; ++i)
        if (!std::isfinite(left[i]) || !std::isfinite(right[i]))
            __builtin_trap();
    p->stop_processing(p);
    p->deactivate(p);
    p->destroy(p);
    return 0;
}
