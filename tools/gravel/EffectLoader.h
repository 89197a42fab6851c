#pragma once

// Loads a VST 2.4 effect the way a host does: a bundle folder (or a bare
// .so, given a bundle of its own for the time it is loaded), entered through
// VSTPlugIn with this tool as the host.

#include "hosting/VSTHost.h"
#include "hosting/VSTPlugIn.h"

#include <memory>
#include <stdexcept>
#include <string>

// A failure the user can act on; what() is the one line to print.
struct ToolError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class CommandLineHost : public VSTHost {
public:
    void getVendor(VSTPlugIn*, char* text) override;
    void getProduct(VSTPlugIn*, char* text) override;
    int getVersion(VSTPlugIn*) override;
    bool canDo(VSTPlugIn*, const char* question) override;
    VstTimeInfo* getTimeInfo(VSTPlugIn*, int flags) override;
    void beginEdit(VSTPlugIn*, int) override {}
    void automate(VSTPlugIn*, int, float) override {}
    void endEdit(VSTPlugIn*, int) override {}
    bool isIOPinConnected(VSTPlugIn*, bool, int) override { return true; }
    void idle(VSTPlugIn*) override {}
    void updateDisplay(VSTPlugIn*) override {}
    void resizeWindow(VSTPlugIn*, int, int) override {}

    // The transport of an offline render: playing, at this sample.
    void setPosition(double samplePos, double sampleRate);

private:
    VstTimeInfo timeInfo{};
};

class LoadedEffect {
public:
    // Throws ToolError with what to do when the effect cannot be loaded.
    LoadedEffect(const std::string& path, float sampleRate, int blockSize);
    ~LoadedEffect();
    LoadedEffect(const LoadedEffect&) = delete;
    LoadedEffect& operator=(const LoadedEffect&) = delete;

    VSTPlugIn& plugIn() { return *proxy; }
    CommandLineHost& host() { return commandLineHost; }

private:
    void load(const std::string& path, float sampleRate, int blockSize);
    void removeTemporaryFolder();

    CommandLineHost commandLineHost;
    std::string temporaryFolder; // the stand-in bundle of a bare .so; empty otherwise
    std::unique_ptr<VSTPlugIn> proxy;
};

// The Gravel.vst built next to this executable (or one folder up); empty
// when there is none.
std::string defaultPluginPath();

// The effect's unique ID as four characters where they are printable.
std::string uniqueIDText(int id);
