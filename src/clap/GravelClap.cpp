// The pedal as a CLAP plug-in: the engine behind CLAP's entry, factory and
// plug-in record, with the extensions a host needs to play, automate, save
// and show it. One binary holds the sound and the editor; nothing of the
// VST layer is in the sound's path.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <memory>

#include "clap/ClapInterface.h"
#include "clap/GravelClapEditor.h"
#include "clap/GravelClapParameters.h"
#include "engine/GravelEngine.h"
#include "engine/GravelProgram.h"
#include "toolkit/CBundle.h"

namespace {

using namespace gravel_clap;

// The one identity hosts store in their sessions: never change it.
constexpr const char* kPluginID = "com.brackenfold.gravel";

const char* const kFeatures[] = {"audio-effect", "distortion", "mono", "stereo", nullptr};

const clap_plugin_descriptor_t kDescriptor = {
    CLAP_VERSION_INIT,
    kPluginID,
    "Gravel",
    "Brackenfold",
    "",
    "",
    "",
    "1.5.2",
    "A circuit-modelled op-amp overdrive pedal",
    kFeatures,
};

// The editor's pictures, built into the binary (ClapPictures.S): a plug-in
// that is one file has no folder to keep them in.
extern "C" const VSTGUI::EmbeddedPicture gravelClapPictures[];

// Hosts unload a closed plug-in's binary. cairo keeps process-wide tables
// (pixman's), and the CoreFoundation calls compiled in here their constant
// strings, that an unload would lose rather than free: keep both resident.
__attribute__((constructor)) void keepLibrariesResident()
{
    dlopen("libcairo.so.2", RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
    Dl_info self;
    if (dladdr(reinterpret_cast<void*>(&keepLibrariesResident), &self) && self.dli_fname)
        dlopen(self.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
}

// Editor changes on their way from the main thread to the host's event
// list in process() or flush(): one writer, one reader, no lock.
class ChangeQueue {
public:
    bool push(const EditorChange& change)
    {
        const uint32_t head = written.load(std::memory_order_relaxed);
        if (head - read.load(std::memory_order_acquire) == kSize)
            return false;
        slots[head % kSize] = change;
        written.store(head + 1, std::memory_order_release);
        return true;
    }
    bool pop(EditorChange& change)
    {
        const uint32_t tail = read.load(std::memory_order_relaxed);
        if (tail == written.load(std::memory_order_acquire))
            return false;
        change = slots[tail % kSize];
        read.store(tail + 1, std::memory_order_release);
        return true;
    }

private:
    static constexpr uint32_t kSize = 256;
    EditorChange slots[kSize];
    std::atomic<uint32_t> written{0}, read{0};
};

enum AudioConfig : clap_id { kStereoConfig = 0, kMonoConfig = 1 };

struct GravelClap final : EditorOwner {
    clap_plugin_t plugin;
    const clap_host_t* host;
    const clap_host_params_t* hostParams = nullptr;
    const clap_host_state_t* hostState = nullptr;
    const clap_host_timer_support_t* hostTimer = nullptr;
    const clap_host_posix_fd_support_t* hostFd = nullptr;
    GravelEngine engine;
    char programName[gravel::kProgramNameSize + 1] = "Init 1";
    AudioConfig config = kStereoConfig; // chosen while inactive
    bool active = false;
    std::atomic<bool> processing{false};
    std::atomic<int64_t> tail{0};
    ChangeQueue changes;
    std::unique_ptr<ClapEditor> editor;
    clap_id idleTimer = CLAP_INVALID_ID;
    int watchedFd = -1; // the editor's X connection, where the host idles it by that instead

    explicit GravelClap(const clap_host_t* host);

    float editorValue(int32_t index) override { return engine.getParameter(index); }
    void editorChanged(const EditorChange& change) override
    {
        if (change.kind == EditorChange::Value)
            engine.setParameter(change.index, change.value);
        changes.push(change);
        // A host that is not processing hears of it only through a flush.
        if (!processing.load() && hostParams)
            hostParams->request_flush(host);
        if (change.kind == EditorChange::End && hostState)
            hostState->mark_dirty(host);
    }

    void applyEvent(const clap_event_header_t* event)
    {
        if (event->space_id != CLAP_CORE_EVENT_SPACE_ID || event->type != CLAP_EVENT_PARAM_VALUE ||
            event->size < sizeof(clap_event_param_value_t))
            return;
        const auto* change = reinterpret_cast<const clap_event_param_value_t*>(event);
        if (change->param_id < clap_id(kGRVNumParams)) {
            const int32_t index = int32_t(change->param_id);
            engine.setParameter(index, normalisedFromClap(index, change->value));
        }
    }

    void sendChanges(const clap_output_events_t* out)
    {
        EditorChange change;
        while (out && changes.pop(change)) {
            if (change.kind == EditorChange::Value) {
                clap_event_param_value_t event = {};
                event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
                event.param_id = clap_id(change.index);
                event.note_id = -1;
                event.port_index = event.channel = event.key = -1;
                event.value = clapFromNormalised(change.index, engine.getParameter(change.index));
                out->try_push(out, &event.header);
            } else {
                clap_event_param_gesture_t event = {};
                const uint16_t type = change.kind == EditorChange::Begin ? CLAP_EVENT_PARAM_GESTURE_BEGIN
                                                                         : CLAP_EVENT_PARAM_GESTURE_END;
                event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, type, 0};
                event.param_id = clap_id(change.index);
                out->try_push(out, &event.header);
            }
        }
    }

    void applyProgram(const gravel::Program& program)
    {
        // Switches before Bypass so that bypass off restores the channel
        // mode, then Input Level and Oversampling: the VST effect's order.
        for (int32_t index = kDrive; index <= kBypass; ++index)
            engine.setParameter(index, program.values[index]);
        engine.setParameter(kInputLevel, program.values[kInputLevel]);
        engine.setParameter(kOversampling, program.values[kOversampling]);
        std::memcpy(programName, program.name, sizeof programName);
    }
};

GravelClap* self(const clap_plugin_t* plugin)
{
    return static_cast<GravelClap*>(plugin->plugin_data);
}

// ---- the plug-in ----

bool init(const clap_plugin_t* plugin)
{
    GravelClap* p = self(plugin);
    const clap_host_t* host = p->host;
    if (host->get_extension) {
        p->hostParams = static_cast<const clap_host_params_t*>(host->get_extension(host, CLAP_EXT_PARAMS));
        p->hostState = static_cast<const clap_host_state_t*>(host->get_extension(host, CLAP_EXT_STATE));
        p->hostTimer =
            static_cast<const clap_host_timer_support_t*>(host->get_extension(host, CLAP_EXT_TIMER_SUPPORT));
        p->hostFd = static_cast<const clap_host_posix_fd_support_t*>(
            host->get_extension(host, CLAP_EXT_POSIX_FD_SUPPORT));
    }
    return true;
}

void destroyEditor(GravelClap* p);

void destroy(const clap_plugin_t* plugin)
{
    GravelClap* p = self(plugin);
    destroyEditor(p);
    delete p;
}

bool activate(const clap_plugin_t* plugin, double rate, uint32_t, uint32_t)
{
    GravelClap* p = self(plugin);
    // A rate the models cannot run at: refused rather than played wrong.
    if (p->active || !p->engine.setSampleRate(rate))
        return false;
    p->engine.reset();
    const int64_t decay = p->engine.decayFrames();
    p->tail.store(decay < 0 || decay > INT32_MAX ? INT32_MAX : decay);
    p->active = true;
    return true;
}

void deactivate(const clap_plugin_t* plugin)
{
    self(plugin)->active = false;
}

bool startProcessing(const clap_plugin_t* plugin)
{
    GravelClap* p = self(plugin);
    if (!p->active)
        return false;
    p->processing.store(true);
    return true;
}

void stopProcessing(const clap_plugin_t* plugin)
{
    self(plugin)->processing.store(false);
}

void reset(const clap_plugin_t* plugin)
{
    self(plugin)->engine.reset();
}

template <typename Sample>
void render(GravelClap* p, Sample* const* in, uint32_t inChannels, Sample* const* out, uint32_t outChannels,
            const clap_process_t* process)
{
    const Sample* in0 = inChannels > 0 ? in[0] : nullptr;
    // One input channel feeds both sides, as a mono pedal into a stereo rig.
    const Sample* in1 = inChannels > 1 ? in[1] : in0;
    Sample* out0 = outChannels > 0 ? out[0] : nullptr;
    Sample* out1 = outChannels > 1 ? out[1] : nullptr;
    const uint32_t frames = process->frames_count;
    const uint32_t count = process->in_events ? process->in_events->size(process->in_events) : 0;
    uint32_t done = 0;
    // The block is cut at each event, so a change sounds from its own frame.
    for (uint32_t i = 0; i <= count; ++i) {
        const clap_event_header_t* event = i < count ? process->in_events->get(process->in_events, i) : nullptr;
        const uint32_t until = event ? std::min(std::max(event->time, done), frames) : frames;
        if (until > done) {
            const auto offset = [done](auto* channel) { return channel ? channel + done : nullptr; };
            p->engine.process(offset(in0), offset(in1), offset(out0), offset(out1), int32_t(until - done));
            done = until;
        }
        if (event)
            p->applyEvent(event);
    }
}

clap_process_status process(const clap_plugin_t* plugin, const clap_process_t* process)
{
    GravelClap* p = self(plugin);
    if (!p->active || !process)
        return CLAP_PROCESS_ERROR;
    static const clap_audio_buffer_t kNone = {};
    const clap_audio_buffer_t& in = process->audio_inputs_count ? process->audio_inputs[0] : kNone;
    const clap_audio_buffer_t& out = process->audio_outputs_count ? process->audio_outputs[0] : kNone;
    if (out.data32 || !out.data64)
        render(p, in.data32, in.data32 ? in.channel_count : 0, out.data32, out.data32 ? out.channel_count : 0,
               process);
    else
        render(p, in.data64, in.data64 ? in.channel_count : 0, out.data64, out.channel_count, process);
    p->sendChanges(process->out_events);
    return CLAP_PROCESS_CONTINUE;
}

// ---- audio-ports, audio-ports-config ----

uint32_t portCount(const clap_plugin_t*, bool)
{
    return 1;
}

bool portInfo(const clap_plugin_t* plugin, uint32_t index, bool isInput, clap_audio_port_info_t* info)
{
    if (index != 0 || !info)
        return false;
    const bool mono = isInput && self(plugin)->config == kMonoConfig;
    std::memset(info, 0, sizeof *info);
    info->id = isInput ? 0 : 1;
    std::snprintf(info->name, sizeof info->name, "%s", isInput ? "Input" : "Output");
    info->flags = CLAP_AUDIO_PORT_IS_MAIN | CLAP_AUDIO_PORT_SUPPORTS_64BITS;
    info->channel_count = mono ? 1 : 2;
    info->port_type = mono ? CLAP_PORT_MONO : CLAP_PORT_STEREO;
    // The engine reads a chunk before it writes it: one buffer may serve both.
    info->in_place_pair = mono ? CLAP_INVALID_ID : (isInput ? 1 : 0);
    return true;
}

const clap_plugin_audio_ports_t kAudioPorts = {portCount, portInfo};

uint32_t configCount(const clap_plugin_t*)
{
    return 2;
}

bool configInfo(const clap_plugin_t*, uint32_t index, clap_audio_ports_config_t* config)
{
    if (index > kMonoConfig || !config)
        return false;
    const bool mono = index == kMonoConfig;
    std::memset(config, 0, sizeof *config);
    config->id = index;
    std::snprintf(config->name, sizeof config->name, "%s", mono ? "Mono In, Stereo Out" : "Stereo");
    config->input_port_count = config->output_port_count = 1;
    config->has_main_input = config->has_main_output = true;
    config->main_input_channel_count = mono ? 1 : 2;
    config->main_input_port_type = mono ? CLAP_PORT_MONO : CLAP_PORT_STEREO;
    config->main_output_channel_count = 2;
    config->main_output_port_type = CLAP_PORT_STEREO;
    return true;
}

bool selectConfig(const clap_plugin_t* plugin, clap_id id)
{
    GravelClap* p = self(plugin);
    if (p->active || id > kMonoConfig)
        return false;
    p->config = AudioConfig(id);
    return true;
}

const clap_plugin_audio_ports_config_t kAudioPortsConfig = {configCount, configInfo, selectConfig};

// ---- params ----

uint32_t paramCount(const clap_plugin_t*)
{
    return kGRVNumParams;
}

bool paramInfo(const clap_plugin_t*, uint32_t index, clap_param_info_t* info)
{
    if (index >= uint32_t(kGRVNumParams) || !info)
        return false;
    describe(int32_t(index), *info);
    return true;
}

bool paramValue(const clap_plugin_t* plugin, clap_id id, double* value)
{
    if (id >= clap_id(kGRVNumParams) || !value)
        return false;
    *value = clapFromNormalised(int32_t(id), self(plugin)->engine.getParameter(int32_t(id)));
    return true;
}

bool paramText(const clap_plugin_t*, clap_id id, double value, char* text, uint32_t capacity)
{
    return id < clap_id(kGRVNumParams) && valueToText(int32_t(id), value, text, capacity);
}

bool paramFromText(const clap_plugin_t*, clap_id id, const char* text, double* value)
{
    return id < clap_id(kGRVNumParams) && value && textToValue(int32_t(id), text, *value);
}

void flush(const clap_plugin_t* plugin, const clap_input_events_t* in, const clap_output_events_t* out)
{
    GravelClap* p = self(plugin);
    const uint32_t count = in ? in->size(in) : 0;
    for (uint32_t i = 0; i < count; ++i)
        p->applyEvent(in->get(in, i));
    p->sendChanges(out);
}

const clap_plugin_params_t kParams = {paramCount, paramInfo, paramValue, paramText, paramFromText, flush};

// ---- state: the effect's FXP program ----

bool saveState(const clap_plugin_t* plugin, const clap_ostream_t* stream)
{
    GravelClap* p = self(plugin);
    gravel::Program program;
    for (int32_t index = 0; index < kGRVNumParams; ++index)
        program.values[index] = p->engine.getParameter(index);
    std::memcpy(program.name, p->programName, sizeof program.name);
    unsigned char bytes[gravel::kProgramBytes];
    gravel::encodeProgram(program, bytes);
    for (size_t done = 0; done < sizeof bytes;) {
        const int64_t n = stream->write(stream, bytes + done, sizeof bytes - done);
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

bool loadState(const clap_plugin_t* plugin, const clap_istream_t* stream)
{
    GravelClap* p = self(plugin);
    // One byte more than a program: a longer stream is not one of ours.
    unsigned char bytes[gravel::kProgramBytes + 1];
    size_t size = 0;
    while (size < sizeof bytes) {
        const int64_t n = stream->read(stream, bytes + size, sizeof bytes - size);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        size += size_t(n);
    }
    gravel::Program program;
    if (!gravel::decodeProgram(bytes, size, program))
        return false;
    p->applyProgram(program);
    if (p->hostParams)
        p->hostParams->rescan(p->host, CLAP_PARAM_RESCAN_VALUES);
    return true;
}

const clap_plugin_state_t kState = {saveState, loadState};

// ---- latency, tail ----

uint32_t latency(const clap_plugin_t*)
{
    return 0;
}

const clap_plugin_latency_t kLatency = {latency};

uint32_t tailFrames(const clap_plugin_t* plugin)
{
    return uint32_t(self(plugin)->tail.load());
}

const clap_plugin_tail_t kTail = {tailFrames};

// ---- gui, timer-support ----

constexpr uint32_t kIdleMilliseconds = 30;

bool isX11(const char* api, bool floating)
{
    return api && std::strcmp(api, CLAP_WINDOW_API_X11) == 0 && !floating;
}

bool guiSupported(const clap_plugin_t*, const char* api, bool floating)
{
    return isX11(api, floating);
}

bool guiPreferred(const clap_plugin_t*, const char** api, bool* floating)
{
    if (!api || !floating)
        return false;
    *api = CLAP_WINDOW_API_X11;
    *floating = false;
    return true;
}

bool guiCreate(const clap_plugin_t* plugin, const char* api, bool floating)
{
    GravelClap* p = self(plugin);
    if (!isX11(api, floating) || p->editor)
        return false;
    try {
        VSTGUI::setEmbeddedPictures(gravelClapPictures);
        p->editor = std::make_unique<ClapEditor>(*p);
    } catch (...) {
        return false;
    }
    if (p->hostTimer && !p->hostTimer->register_timer(p->host, kIdleMilliseconds, &p->idleTimer))
        p->idleTimer = CLAP_INVALID_ID;
    return true;
}

void destroyEditor(GravelClap* p)
{
    if (p->idleTimer != CLAP_INVALID_ID && p->hostTimer)
        p->hostTimer->unregister_timer(p->host, p->idleTimer);
    p->idleTimer = CLAP_INVALID_ID;
    if (p->watchedFd >= 0 && p->hostFd)
        p->hostFd->unregister_fd(p->host, p->watchedFd);
    p->watchedFd = -1;
    p->editor.reset();
}

void guiDestroy(const clap_plugin_t* plugin)
{
    destroyEditor(self(plugin));
}

bool guiScale(const clap_plugin_t*, double)
{
    return false;
}

bool guiSize(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height)
{
    if (!self(plugin)->editor || !width || !height)
        return false;
    *width = ClapEditor::kWidth;
    *height = ClapEditor::kHeight;
    return true;
}

bool guiCanResize(const clap_plugin_t*)
{
    return false;
}

bool guiResizeHints(const clap_plugin_t*, clap_gui_resize_hints_t*)
{
    return false;
}

bool guiAdjustSize(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height)
{
    return guiSize(plugin, width, height);
}

bool guiSetSize(const clap_plugin_t*, uint32_t width, uint32_t height)
{
    return width == ClapEditor::kWidth && height == ClapEditor::kHeight;
}

bool guiSetParent(const clap_plugin_t* plugin, const clap_window_t* window)
{
    GravelClap* p = self(plugin);
    if (!p->editor || !window || !window->api || std::strcmp(window->api, CLAP_WINDOW_API_X11) != 0)
        return false;
    if (!p->editor->setParent(window->x11))
        return false;
    // Without a timer, the editor's events wake it: the host watches its
    // display connection.
    const int fd = p->editor->connectionFd();
    if (p->idleTimer == CLAP_INVALID_ID && p->hostFd && fd >= 0 &&
        p->hostFd->register_fd(p->host, fd, CLAP_POSIX_FD_READ))
        p->watchedFd = fd;
    return true;
}

bool guiSetTransient(const clap_plugin_t*, const clap_window_t*)
{
    return false;
}

void guiSuggestTitle(const clap_plugin_t*, const char*) {}

bool guiShow(const clap_plugin_t* plugin)
{
    GravelClap* p = self(plugin);
    return p->editor && p->editor->setVisible(true);
}

bool guiHide(const clap_plugin_t* plugin)
{
    GravelClap* p = self(plugin);
    return p->editor && p->editor->setVisible(false);
}

const clap_plugin_gui_t kGui = {guiSupported,   guiPreferred,   guiCreate,  guiDestroy,      guiScale,
                                guiSize,        guiCanResize,   guiResizeHints, guiAdjustSize, guiSetSize,
                                guiSetParent,   guiSetTransient, guiSuggestTitle, guiShow,     guiHide};

void onTimer(const clap_plugin_t* plugin, clap_id timer)
{
    GravelClap* p = self(plugin);
    if (p->editor && timer == p->idleTimer)
        p->editor->idle();
}

const clap_plugin_timer_support_t kTimerSupport = {onTimer};

void onFd(const clap_plugin_t* plugin, int fd, clap_posix_fd_flags_t)
{
    GravelClap* p = self(plugin);
    if (p->editor && fd == p->watchedFd)
        p->editor->idle();
}

const clap_plugin_posix_fd_support_t kPosixFdSupport = {onFd};

// ---- extensions, record ----

const void* extension(const clap_plugin_t*, const char* id)
{
    if (!id)
        return nullptr;
    const struct {
        const char* id;
        const void* extension;
    } extensions[] = {
        {CLAP_EXT_AUDIO_PORTS, &kAudioPorts}, {CLAP_EXT_AUDIO_PORTS_CONFIG, &kAudioPortsConfig},
        {CLAP_EXT_PARAMS, &kParams},          {CLAP_EXT_STATE, &kState},
        {CLAP_EXT_LATENCY, &kLatency},        {CLAP_EXT_TAIL, &kTail},
        {CLAP_EXT_GUI, &kGui},                {CLAP_EXT_TIMER_SUPPORT, &kTimerSupport},
        {CLAP_EXT_POSIX_FD_SUPPORT, &kPosixFdSupport},
    };
    for (const auto& e : extensions)
        if (std::strcmp(id, e.id) == 0)
            return e.extension;
    return nullptr;
}

void onMainThread(const clap_plugin_t*) {}

GravelClap::GravelClap(const clap_host_t* host) : host(host)
{
    plugin = {&kDescriptor, this,     init,    destroy,   activate,  deactivate,
              startProcessing, stopProcessing, reset, ::process, extension, onMainThread};
}

// ---- factory, entry ----

uint32_t pluginCount(const clap_plugin_factory_t*)
{
    return 1;
}

const clap_plugin_descriptor_t* pluginDescriptor(const clap_plugin_factory_t*, uint32_t index)
{
    return index == 0 ? &kDescriptor : nullptr;
}

const clap_plugin_t* createPlugin(const clap_plugin_factory_t*, const clap_host_t* host, const char* id)
{
    if (!host || !id || std::strcmp(id, kPluginID) != 0 || !clap_version_is_compatible(host->clap_version))
        return nullptr;
    // Nothing may leave through the C interface: no memory is no plug-in.
    try {
        return &(new GravelClap(host))->plugin;
    } catch (...) {
        return nullptr;
    }
}

const clap_plugin_factory_t kFactory = {pluginCount, pluginDescriptor, createPlugin};

bool entryInit(const char*)
{
    return true;
}

void entryDeinit() {}

const void* factory(const char* id)
{
    return id && std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0 ? &kFactory : nullptr;
}

} // namespace

extern "C" __attribute__((visibility("default"))) const clap_plugin_entry_t clap_entry = {
    CLAP_VERSION_INIT, entryInit, entryDeinit, factory};
