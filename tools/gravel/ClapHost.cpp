#include "ClapHost.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// An event list over a vector of parameter events.
struct InputList {
    const std::vector<clap_event_param_value_t>& events;
    static uint32_t size(const clap_input_events_t* list)
    {
        return uint32_t(static_cast<const InputList*>(list->ctx)->events.size());
    }
    static const clap_event_header_t* get(const clap_input_events_t* list, uint32_t index)
    {
        const auto& events = static_cast<const InputList*>(list->ctx)->events;
        return index < events.size() ? &events[index].header : nullptr;
    }
};

} // namespace

ClapHost::ClapHost(const std::string& path, bool offerTimer) : offerTimer(offerTimer)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        throw ToolError("no CLAP plug-in at " + path + "; give --plugin a .clap file such as Gravel.clap");
    const std::string absolute = fs::absolute(path, ec).string();
    library = dlopen(absolute.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library)
        throw ToolError(std::string("cannot load ") + path + ": " + dlerror() + "; give a CLAP plug-in built for this machine");
    entryRecord = static_cast<const clap_plugin_entry_t*>(dlsym(library, "clap_entry"));
    if (!entryRecord || !clap_version_is_compatible(entryRecord->clap_version)) {
        dlclose(library);
        throw ToolError(path + " has no CLAP 1.x entry (clap_entry); give a CLAP plug-in");
    }
    if (!entryRecord->init(absolute.c_str())) {
        dlclose(library);
        throw ToolError(path + " refused to start (its clap_entry init failed)");
    }
    const auto* factory =
        static_cast<const clap_plugin_factory_t*>(entryRecord->get_factory(CLAP_PLUGIN_FACTORY_ID));
    const clap_plugin_descriptor_t* first =
        factory && factory->get_plugin_count(factory) > 0 ? factory->get_plugin_descriptor(factory, 0) : nullptr;
    host = {CLAP_VERSION_INIT, this, "gravel", "Brackenfold", "", "1.5.2", hostExtension,
            [](const clap_host_t*) {}, [](const clap_host_t*) {}, [](const clap_host_t*) {}};
    plugin = first ? factory->create_plugin(factory, &host, first->id) : nullptr;
    if (!plugin || !plugin->init(plugin)) {
        if (plugin)
            plugin->destroy(plugin);
        entryRecord->deinit();
        dlclose(library);
        throw ToolError(path + " made no plug-in; give a CLAP plug-in with an audio effect");
    }
}

ClapHost::~ClapHost()
{
    deactivate();
    plugin->destroy(plugin);
    entryRecord->deinit();
    dlclose(library);
}

const void* ClapHost::hostExtension(const clap_host_t* h, const char* id)
{
    static const clap_host_params_t params = {
        [](const clap_host_t* h, uint32_t flags) { of(h).valueRescans += (flags & CLAP_PARAM_RESCAN_VALUES) != 0; },
        [](const clap_host_t*, clap_id, uint32_t) {}, [](const clap_host_t* h) { ++of(h).flushRequests; }};
    static const clap_host_state_t state = {[](const clap_host_t* h) { ++of(h).dirtyMarks; }};
    static const clap_host_timer_support_t timers = {
        [](const clap_host_t* h, uint32_t, clap_id* id) {
            *id = of(h).nextTimer++;
            of(h).timers.push_back(*id);
            return true;
        },
        [](const clap_host_t* h, clap_id id) {
            auto& t = of(h).timers;
            const auto found = std::find(t.begin(), t.end(), id);
            if (found == t.end())
                return false;
            t.erase(found);
            return true;
        }};
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0)
        return &params;
    if (std::strcmp(id, CLAP_EXT_STATE) == 0)
        return &state;
    static const clap_host_posix_fd_support_t fds = {
        [](const clap_host_t* h, int fd, clap_posix_fd_flags_t) {
            of(h).fds.push_back(fd);
            return true;
        },
        [](const clap_host_t*, int, clap_posix_fd_flags_t) { return true; },
        [](const clap_host_t* h, int fd) {
            auto& f = of(h).fds;
            const auto found = std::find(f.begin(), f.end(), fd);
            if (found == f.end())
                return false;
            f.erase(found);
            return true;
        }};
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0)
        return of(h).offerTimer ? &timers : nullptr;
    if (std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0)
        return of(h).offerTimer ? nullptr : &fds;
    return nullptr;
}

std::vector<clap_param_info_t> ClapHost::parameters() const
{
    std::vector<clap_param_info_t> infos;
    const auto* params = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    for (uint32_t i = 0; params && i < params->count(plugin); ++i) {
        clap_param_info_t info = {};
        if (params->get_info(plugin, i, &info))
            infos.push_back(info);
    }
    return infos;
}

double ClapHost::value(clap_id id) const
{
    double v = NAN;
    const auto* params = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    if (params)
        params->get_value(plugin, id, &v);
    return v;
}

std::string ClapHost::text(clap_id id, double v) const
{
    char buffer[256] = {};
    const auto* params = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    if (!params || !params->value_to_text(plugin, id, v, buffer, sizeof buffer))
        return {};
    return buffer;
}

void ClapHost::setValue(clap_id id, double v, uint32_t frame)
{
    clap_event_param_value_t event = {};
    event.header = {sizeof event, frame, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    event.param_id = id;
    event.note_id = -1;
    event.port_index = event.channel = event.key = -1;
    event.value = v;
    pending.push_back(event);
    if (processing)
        return;
    const auto* params = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    InputList list{pending};
    const clap_input_events_t in = {&list, InputList::size, InputList::get};
    if (params)
        params->flush(plugin, &in, nullptr);
    pending.clear();
}

void ClapHost::activate(double rate, uint32_t maxFrames, clap_id config)
{
    const auto* configs = extension<clap_plugin_audio_ports_config_t>(CLAP_EXT_AUDIO_PORTS_CONFIG);
    if (config != 0 && (!configs || !configs->select(plugin, config)))
        throw ToolError("the plug-in offers no audio configuration for a mono input");
    if (!plugin->activate(plugin, rate, 1, maxFrames))
        throw ToolError("the plug-in refused to run at " + std::to_string(int(rate)) + " Hz");
    active = true;
    processing = plugin->start_processing(plugin);
    if (!processing)
        throw ToolError("the plug-in did not start processing");
}

void ClapHost::deactivate()
{
    if (processing)
        plugin->stop_processing(plugin);
    if (active)
        plugin->deactivate(plugin);
    processing = active = false;
}

void ClapHost::process(float* const* in, uint32_t inChannels, float* const* out, uint32_t outChannels,
                       uint32_t frames)
{
    clap_audio_buffer_t input = {const_cast<float**>(in), nullptr, inChannels, 0, 0};
    clap_audio_buffer_t output = {const_cast<float**>(out), nullptr, outChannels, 0, 0};
    std::stable_sort(pending.begin(), pending.end(),
                     [](const auto& a, const auto& b) { return a.header.time < b.header.time; });
    InputList list{pending};
    const clap_input_events_t events = {&list, InputList::size, InputList::get};
    const clap_output_events_t sink = {this, [](const clap_output_events_t* list, const clap_event_header_t* e) {
                                           auto& host = *static_cast<ClapHost*>(list->ctx);
                                           const auto* v = reinterpret_cast<const clap_event_param_value_t*>(e);
                                           const auto* g = reinterpret_cast<const clap_event_param_gesture_t*>(e);
                                           host.outputEvents.push_back(
                                               e->type == CLAP_EVENT_PARAM_VALUE
                                                   ? OutputEvent{e->type, v->param_id, v->value}
                                                   : OutputEvent{e->type, g->param_id, 0.0});
                                           return true;
                                       }};
    const clap_process_t block = {-1, frames, nullptr, &input, &output, 1, 1, &events, &sink};
    const clap_process_status status = plugin->process(plugin, &block);
    pending.clear();
    if (status == CLAP_PROCESS_ERROR)
        throw ToolError("the plug-in failed to process a block");
}

std::vector<unsigned char> ClapHost::saveState(size_t writeLimit)
{
    struct Sink {
        std::vector<unsigned char> bytes;
        size_t limit;
    } sink{{}, writeLimit};
    const clap_ostream_t stream = {&sink, [](const clap_ostream_t* s, const void* buffer, uint64_t size) {
                                       auto& sink = *static_cast<Sink*>(s->ctx);
                                       const size_t n = size_t(std::min<uint64_t>(size, sink.limit));
                                       const auto* b = static_cast<const unsigned char*>(buffer);
                                       sink.bytes.insert(sink.bytes.end(), b, b + n);
                                       return int64_t(n);
                                   }};
    const auto* state = extension<clap_plugin_state_t>(CLAP_EXT_STATE);
    if (!state || !state->save(plugin, &stream))
        throw ToolError("the plug-in saved no state");
    return sink.bytes;
}

bool ClapHost::loadState(const std::vector<unsigned char>& bytes, size_t readLimit)
{
    struct Source {
        const std::vector<unsigned char>& bytes;
        size_t at, limit;
    } source{bytes, 0, readLimit};
    const clap_istream_t stream = {&source, [](const clap_istream_t* s, void* buffer, uint64_t size) {
                                       auto& source = *static_cast<Source*>(s->ctx);
                                       const size_t n = std::min<size_t>(
                                           {size_t(size), source.limit, source.bytes.size() - source.at});
                                       std::memcpy(buffer, source.bytes.data() + source.at, n);
                                       source.at += n;
                                       return int64_t(n);
                                   }};
    const auto* state = extension<clap_plugin_state_t>(CLAP_EXT_STATE);
    return state && state->load(plugin, &stream);
}

double ClapParameterAccess::valueAt(int index, float position) const
{
    const clap_param_info_t& info = infos[size_t(index)];
    return info.min_value + double(position) * (info.max_value - info.min_value);
}

float ClapParameterAccess::position(int index)
{
    const clap_param_info_t& info = infos[size_t(index)];
    const double range = info.max_value - info.min_value;
    return range > 0.0 ? float((host.value(info.id) - info.min_value) / range) : 0.0f;
}

void ClapParameterAccess::setPosition(int index, float position)
{
    host.setValue(infos[size_t(index)].id, valueAt(index, position));
}

std::string ClapParameterAccess::display(int index, float position)
{
    std::string text = host.text(infos[size_t(index)].id, valueAt(index, position));
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    while (!text.empty() && text.front() == ' ')
        text.erase(0, 1);
    return text;
}

std::string chosenClapPlugin(const std::string& given)
{
    if (!given.empty())
        return given;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    for (const fs::path& folder : {self.parent_path(), self.parent_path().parent_path()})
        if (!ec && fs::is_regular_file(folder / "Gravel.clap", ec))
            return (folder / "Gravel.clap").string();
    throw ToolError("no Gravel.clap next to gravel; build it (cmake --build build) or give --plugin PATH");
}
