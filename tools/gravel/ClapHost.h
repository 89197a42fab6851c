#pragma once

// A small CLAP host: loads a .clap file through its clap_entry, makes its
// first plug-in and drives it on the calling thread, as a host drives a
// plug-in offline (main thread and audio thread are the same). It records
// what the plug-in asks of the host, so tests can check it. Throws ToolError.

#include "EffectLoader.h"
#include "ParameterAccess.h"
#include "clap/ClapInterface.h"

#include <cstdint>
#include <string>
#include <vector>

class ClapHost {
public:
    // offerTimer false: the host offers posix-fd-support instead of timers.
    explicit ClapHost(const std::string& path, bool offerTimer = true);
    ~ClapHost();
    ClapHost(const ClapHost&) = delete;
    ClapHost& operator=(const ClapHost&) = delete;

    const clap_plugin_entry_t& entry() const { return *entryRecord; }
    const clap_plugin_descriptor_t& descriptor() const { return *plugin->desc; }
    const clap_plugin_t* instance() const { return plugin; }
    template <typename Extension>
    const Extension* extension(const char* id) const
    {
        return static_cast<const Extension*>(plugin->get_extension(plugin, id));
    }

    // Parameters, index order.
    std::vector<clap_param_info_t> parameters() const;
    double value(clap_id id) const;
    std::string text(clap_id id, double value) const;

    // A parameter event for the next process() at the given frame, or, while
    // the plug-in is not processing, applied now through flush().
    void setValue(clap_id id, double value, uint32_t frame = 0);

    // Chooses the audio configuration (stereo 0, mono input 1), then activates.
    void activate(double rate, uint32_t maxFrames, clap_id config = 0);
    void deactivate();
    // One block: channels as the configuration has them; out may be in.
    void process(float* const* in, uint32_t inChannels, float* const* out, uint32_t outChannels, uint32_t frames);

    std::vector<unsigned char> saveState(size_t writeLimit = SIZE_MAX);
    // readLimit: the most bytes the stream hands over per read, as a host
    // reading from a pipe would.
    bool loadState(const std::vector<unsigned char>& bytes, size_t readLimit = SIZE_MAX);

    // What the plug-in told the host.
    struct OutputEvent {
        uint16_t type;
        clap_id param;
        double value;
    };
    std::vector<OutputEvent> outputEvents;
    int flushRequests = 0;
    int dirtyMarks = 0;
    int valueRescans = 0;
    std::vector<clap_id> timers; // registered now
    std::vector<int> fds;        // watched now

private:
    struct Event {
        clap_event_param_value_t event;
    };
    static const void* hostExtension(const clap_host_t* host, const char* id);
    static ClapHost& of(const clap_host_t* host) { return *static_cast<ClapHost*>(host->host_data); }

    void* library = nullptr;
    const clap_plugin_entry_t* entryRecord = nullptr;
    const clap_plugin_t* plugin = nullptr;
    clap_host_t host = {};
    bool offerTimer;
    bool active = false;
    bool processing = false;
    clap_id nextTimer = 1;
    std::vector<clap_event_param_value_t> pending;
};

// --set through the plug-in's params extension: a position 0..1 is the
// parameter's range from min to max; texts are the plug-in's value_to_text.
class ClapParameterAccess : public ParameterAccess {
public:
    explicit ClapParameterAccess(ClapHost& host) : host(host), infos(host.parameters()) {}

    int count() override { return int(infos.size()); }
    std::string name(int index) override { return infos[size_t(index)].name; }
    float position(int index) override;
    void setPosition(int index, float position) override;
    std::string display(int index, float position) override;

private:
    double valueAt(int index, float position) const;

    ClapHost& host;
    std::vector<clap_param_info_t> infos;
};

// The .clap to load: the one given, else the Gravel.clap built next to the
// tool. Throws ToolError when there is none.
std::string chosenClapPlugin(const std::string& given);
