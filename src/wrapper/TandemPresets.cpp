// AudioUnit presets: the factory presets, the conversion of VST preset files
// and the current preset. The component starts with none but "Untitled".

#include "wrapper/TandemComponent.h"

void TandemComponent::loadOrCreateFactoryPresets() {}

void TandemComponent::convertVSTPresets() {}

// Reports whether the current preset changed.
bool TandemComponent::updateCurrentAUPreset() { return false; }
