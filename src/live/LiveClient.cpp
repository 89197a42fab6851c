#include "live/LiveClient.h"

#include "live/LiveProcessor.h"

#include <jack/metadata.h>
#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>

namespace {

// libjack writes its own diagnostics; the standalone says what matters in one line.
void quiet(const char*) {}

void setProperty(jack_client_t* client, jack_port_t* port, const char* key, const std::string& value,
                 const char* type = "text/plain")
{
    jack_set_property(client, jack_port_uuid(port), key, value.c_str(), type);
}

// The ports jack_get_ports lists, as strings (JACK's list freed).
std::vector<std::string> portsOf(jack_client_t* client, unsigned long flags)
{
    std::vector<std::string> names;
    if (const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, flags)) {
        for (const char** p = ports; *p; ++p)
            names.emplace_back(*p);
        jack_free(ports);
    }
    return names;
}

} // namespace

LiveClient::LiveClient(const std::string& name, const std::string& server)
{
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    jack_status_t status{};
    const int options = JackNoStartServer | (server.empty() ? 0 : JackServerName);
    client = jack_client_open(name.c_str(), jack_options_t(options), &status, server.c_str());
    if (!client && (status & JackServerFailed))
        throw LiveError("no JACK server is running" + (server.empty() ? std::string() : " under the name '" + server + "'") +
                        "; start one (jackd -d alsa, or qjackctl) or run under PipeWire as 'pw-jack gravel live'");
    if (!client)
        throw LiveError("the JACK server refused the client '" + name + "'; try another --name");
}

LiveClient::~LiveClient()
{
    stop();
    jack_client_close(client);
}

double LiveClient::sampleRate() const { return double(jack_get_sample_rate(client)); }
int LiveClient::bufferSize() const { return int(jack_get_buffer_size(client)); }
float LiveClient::dspLoad() const { return jack_cpu_load(client); }

jack_port_t* LiveClient::registerPort(const std::string& shortName, const char* type, unsigned long flags,
                                      const std::string& prettyName, const std::string& group, int order)
{
    jack_port_t* port = jack_port_register(client, shortName.c_str(), type, flags, 0);
    if (!port)
        throw LiveError("the JACK server refused the port " + shortName + "; check the server's port limit (jackd -p)");
    setProperty(client, port, JACK_METADATA_PRETTY_NAME, prettyName);
    setProperty(client, port, JACK_METADATA_PORT_GROUP, group);
    setProperty(client, port, JACK_METADATA_ORDER, std::to_string(order), "http://www.w3.org/2001/XMLSchema#integer");
    return port;
}

void LiveClient::attach(LiveProcessor& live, const std::string& effectName)
{
    processor = &live;
    const int inputs = live.inputCount(), outputs = live.outputCount();
    // A stereo pair reads as left and right; other counts by number.
    auto pretty = [](const char* kind, int k, int count) {
        return std::string(kind) + " " + (count == 2 ? (k == 0 ? "L" : "R") : std::to_string(k + 1));
    };
    for (int k = 0; k < inputs; ++k)
        inPorts.push_back(registerPort("in_" + std::to_string(k + 1), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput,
                                       "In " + std::to_string(k + 1), effectName + " in", k + 1));
    for (int k = 0; k < outputs; ++k)
        outPorts.push_back(registerPort("out_" + std::to_string(k + 1), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput,
                                        pretty("Out", k, outputs), effectName + " out", inputs + k + 1));
    midiPort = registerPort("midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, "MIDI In", effectName + " control",
                            inputs + outputs + 1);
    inBuffers.assign(inPorts.size(), nullptr);
    outBuffers.assign(outPorts.size(), nullptr);

    jack_set_process_callback(client, process, this);
    jack_set_buffer_size_callback(client, bufferSizeChanged, this);
    jack_set_sample_rate_callback(client, sampleRateChanged, this);
    jack_set_xrun_callback(client, xrun, this);
    jack_on_info_shutdown(client, serverShutdown, this);
}

void LiveClient::start(const LiveConnections& connections)
{
    // Pairs (source, destination) decided and checked before the first block.
    std::vector<std::pair<std::string, std::string>> pairs;
    if (connections.connect) {
        const std::vector<std::string> in =
            connections.in.empty() ? portsOf(client, JackPortIsPhysical | JackPortIsOutput) : connections.in;
        const std::vector<std::string> out =
            connections.out.empty() ? portsOf(client, JackPortIsPhysical | JackPortIsInput) : connections.out;
        // Named ports are all used; found ones only as far as the guitar (one
        // input) and a pair of speakers go.
        const size_t inCount = connections.in.empty() ? std::min<size_t>(1, in.size()) : in.size();
        const size_t outCount = connections.out.empty() ? std::min<size_t>(2, out.size()) : out.size();
        if (inCount > inPorts.size())
            throw LiveError("--in names " + std::to_string(inCount) + " ports but the effect has " +
                            std::to_string(inPorts.size()) + " inputs; name at most that many");
        if (outCount > outPorts.size())
            throw LiveError("--out names " + std::to_string(outCount) + " ports but the effect has " +
                            std::to_string(outPorts.size()) + " outputs; name at most that many");
        for (size_t k = 0; k < inCount; ++k) {
            jack_port_t* port = jack_port_by_name(client, in[k].c_str());
            if (!port || !(jack_port_flags(port) & JackPortIsOutput))
                throw LiveError("--in: there is no JACK output port '" + in[k] + "'; 'jack_lsp' lists the ports");
            pairs.emplace_back(in[k], jack_port_name(inPorts[k]));
        }
        for (size_t k = 0; k < outCount; ++k) {
            jack_port_t* port = jack_port_by_name(client, out[k].c_str());
            if (!port || !(jack_port_flags(port) & JackPortIsInput))
                throw LiveError("--out: there is no JACK input port '" + out[k] + "'; 'jack_lsp' lists the ports");
            pairs.emplace_back(jack_port_name(outPorts[k]), out[k]);
        }
    }
    if (jack_activate(client) != 0)
        throw LiveError("the JACK server would not start the client; check the server's messages");
    active = true;
    for (const auto& pair : pairs)
        connect(pair.first, pair.second);
}

void LiveClient::connect(const std::string& from, const std::string& to)
{
    const int result = jack_connect(client, from.c_str(), to.c_str());
    if (result != 0 && result != EEXIST)
        throw LiveError("the JACK server would not connect " + from + " to " + to + "; check the server's messages");
}

void LiveClient::stop()
{
    if (active && !serverStopped())
        jack_deactivate(client);
    active = false;
}

int LiveClient::process(jack_nframes_t frames, void* self)
{
    LiveClient& c = *static_cast<LiveClient*>(self);
    void* midi = jack_port_get_buffer(c.midiPort, frames);
    const jack_nframes_t events = jack_midi_get_event_count(midi);
    for (jack_nframes_t i = 0; i < events; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, midi, i) == 0)
            c.processor->controlChange(event.buffer, event.size);
    }
    for (size_t k = 0; k < c.inPorts.size(); ++k)
        c.inBuffers[k] = static_cast<const float*>(jack_port_get_buffer(c.inPorts[k], frames));
    for (size_t k = 0; k < c.outPorts.size(); ++k)
        c.outBuffers[k] = static_cast<float*>(jack_port_get_buffer(c.outPorts[k], frames));
    c.processor->process(c.inBuffers.data(), c.outBuffers.data(), int(frames));
    return 0;
}

int LiveClient::bufferSizeChanged(jack_nframes_t frames, void* self)
{
    LiveClient& c = *static_cast<LiveClient*>(self);
    c.processor->configure(c.sampleRate(), int(frames));
    return 0;
}

int LiveClient::sampleRateChanged(jack_nframes_t rate, void* self)
{
    LiveClient& c = *static_cast<LiveClient*>(self);
    c.processor->configure(double(rate), c.bufferSize());
    return 0;
}

int LiveClient::xrun(void* self)
{
    static_cast<LiveClient*>(self)->xrunCount.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

void LiveClient::serverShutdown(jack_status_t, const char*, void* self)
{
    static_cast<LiveClient*>(self)->shutdown.store(true, std::memory_order_release);
}
