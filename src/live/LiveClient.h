#pragma once

// The JACK client of the live standalone: a port per effect pin and a MIDI
// input, the connections asked for, and JACK's callbacks. The process
// callback hands the block to the LiveProcessor; the buffer-size and rate
// callbacks set the effect up again between blocks; the shutdown and xrun
// callbacks only touch atomics, which the main thread reads.

#include <jack/jack.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

class LiveProcessor;

// One line for the user: what went wrong and what to do.
struct LiveError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct LiveConnections {
    bool connect = true;           // false: --no-connect
    std::vector<std::string> in;   // --in: sources of in_1, in_2...; empty: the first capture port
    std::vector<std::string> out;  // --out: destinations of out_1, out_2...; empty: the first playback ports
};

class LiveClient {
public:
    // Opens the client on the server named (empty: JACK's environment)
    // without starting one. Throws LiveError.
    LiveClient(const std::string& name, const std::string& server);
    ~LiveClient();
    LiveClient(const LiveClient&) = delete;
    LiveClient& operator=(const LiveClient&) = delete;

    double sampleRate() const;
    int bufferSize() const;

    // Registers in_N, out_N and midi_in for the processor's pins, with
    // readable names for patchbays, and sets the callbacks. Throws LiveError.
    void attach(LiveProcessor& processor, const std::string& effectName);

    // Checks every port named exists before anything runs, then activates
    // the client and connects. Throws LiveError.
    void start(const LiveConnections& connections);

    // Deactivates (which disconnects): no process call runs after it.
    void stop();

    bool serverStopped() const { return shutdown.load(std::memory_order_acquire); }
    float dspLoad() const;
    long xruns() const { return xrunCount.load(std::memory_order_relaxed); }

private:
    static int process(jack_nframes_t frames, void* self);
    static int bufferSizeChanged(jack_nframes_t frames, void* self);
    static int sampleRateChanged(jack_nframes_t rate, void* self);
    static int xrun(void* self);
    static void serverShutdown(jack_status_t, const char*, void* self);

    jack_port_t* registerPort(const std::string& shortName, const char* type, unsigned long flags,
                              const std::string& prettyName, const std::string& group, int order);
    void connect(const std::string& from, const std::string& to);

    jack_client_t* client = nullptr;
    LiveProcessor* processor = nullptr;
    std::vector<jack_port_t*> inPorts, outPorts;
    jack_port_t* midiPort = nullptr;
    // Pointer arrays the process callback fills; sized once in attach().
    std::vector<const float*> inBuffers;
    std::vector<float*> outBuffers;
    std::atomic<bool> shutdown{false};
    std::atomic<long> xrunCount{0};
    bool active = false;
};
