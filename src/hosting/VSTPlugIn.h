#pragma once

// VSTPlugIn: one hosted VST 2.4 effect. It loads the effect's executable from
// a bundle, enters it, drives its AEffect record and routes the effect's host
// callback to a VSTHost. No exception thrown by the effect ever leaves a
// method of this class; the proxy's own failures are TandemExceptions.

#include "platform/cf/CoreFoundation.h"
#include "plugin/VstInterface.h"
#include "hosting/VSTHost.h"

#include <cstddef>
#include <memory>

class VSTPlugIn {
public:
    // Retains the bundle; the effect is entered by open().
    VSTPlugIn(VSTHost& host, CFBundleRef bundle, float sampleRate, int blockSize);
    virtual ~VSTPlugIn();

    VSTPlugIn(const VSTPlugIn&) = delete;
    VSTPlugIn& operator=(const VSTPlugIn&) = delete;

    void open();
    void suspend();
    void resume();
    void setSampleRate(float rate);
    void setBlockSize(int n);
    bool setBypass(bool on);
    VstIntPtr getTailSize();
    VstIntPtr getVersion();
    void connectInputPin(int pin, bool on);
    void connectOutputPin(int pin, bool on);
    bool getInputProperties(int pin, VstPinProperties* properties);
    bool getOutputProperties(int pin, VstPinProperties* properties);
    void processEvents(VstEvents* events);
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* pointer, float opt);
    bool setParameterFromString(int parameter, const char* text);

    // Text getters: `text` holds at least 25 bytes and receives at most 24
    // characters and a terminator.
    void getParameterName(int parameter, char* text);
    void getParameterLabel(int parameter, char* text);
    void getParameterDisplay(int parameter, char* text);
    bool getProgramName(int program, char* text); // false: text untouched
    void getCurrentProgramName(char* text);
    void setCurrentProgramName(const char* text);
    int getCurrentProgram();
    void setCurrentProgram(int program);

    void openEditor(void* parentView);
    void closeEditor();
    // False (and 0 x 0) when the effect hands out no rectangle.
    bool getEditorDimensions(int& width, int& height);
    void idle();

    void processReplacing(float** inputs, float** outputs, int frames);
    // Offered only when the effect has the deprecated accumulating entry;
    // without it the outputs are left as they are.
    void processAccumulating(float** inputs, float** outputs, int frames);
    void setParameter(int parameter, float value);
    float getParameter(int parameter);
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* pointer, float opt);

    // FXP / FXB program and bank data (big-endian records). The writers return
    // a buffer the caller owns; the reader only reads [data, data + size).
    unsigned char* writeFxCk(unsigned char* out);
    std::unique_ptr<unsigned char[]> createFXP(size_t& size);
    std::unique_ptr<unsigned char[]> createFXB(size_t& size);
    const unsigned char* readFxCk(const unsigned char* p, const unsigned char* end, bool* perfect);
    bool loadFXPOrFXB(size_t size, const unsigned char* data);

    bool isOpen() const { return effectOpen; }
    bool isResumed() const { return resumed; }
    bool wantsMidi() const { return midiWanted; }
    bool isEditorOpen() const { return editorOpen; }
    AEffect* getEffect() const { return effect; }
    int getProgramCount() const { return effect ? effect->numPrograms : 0; }
    int getParameterCount() const { return effect ? effect->numParams : 0; }
    int getInputCount() const { return effect ? effect->numInputs : 0; }
    int getOutputCount() const { return effect ? effect->numOutputs : 0; }
    int getInitialDelay() const { return effect ? effect->initialDelay : 0; }
    bool hasEditor() const { return hasFlag(effFlagsHasEditor); }
    bool canProcessReplacing() const { return hasFlag(effFlagsCanReplacing); }
    bool hasProgramChunks() const { return hasFlag(effFlagsProgramChunks); }
    bool dontProcessSilence() const { return hasFlag(effFlagsNoSoundInStop); }
    float getSampleRate() const { return sampleRate; }
    int getBlockSize() const { return blockSize; }

    // The AEffect's audioMaster: finds the proxy of the calling effect.
    static VstIntPtr staticAudioMasterCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                               VstIntPtr value, void* pointer, float opt);
    VstIntPtr myAudioMasterCallback(VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                    void* pointer, float opt);

    // The proxy whose open() is running: an effect that calls back from inside
    // its main function has no proxy in its record yet.
    static VSTPlugIn* tempPlugInPointer;

private:
    bool hasFlag(VstInt32 flag) const { return effect && (effect->flags & flag) != 0; }
    // Every dispatcher call goes through here: exceptions become a 0 result.
    VstIntPtr callDispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* pointer,
                             float opt);
    // Asks for a text into a zeroed 1024-byte scratch buffer and copies at most
    // 24 characters out; returns the dispatcher's result.
    VstIntPtr getText(VstInt32 opcode, VstInt32 index, char* text);
    void readProgramName(unsigned char* field); // the 28-byte name field of a record
    size_t readFxCkAt(const unsigned char* data, size_t size, size_t offset, bool* perfect);

    VSTHost& hostRef;
    CFBundleRef bundle;
    AEffect* effect;
    bool effectOpen;
    bool resumed;
    bool midiWanted;
    bool editorOpen;
    float sampleRate;
    int blockSize;
};

// Releases a bundle reference and sets it to null; when this was the last
// reference the bundle's executable is unloaded first.
void releaseBundle(CFBundleRef& bundle);
