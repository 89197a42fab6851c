// The bundle's effect asks for its editor through this hook.
#include "editor/GRV_GUI.h"

AEffEditor* createGravelEditor(AudioEffect* effect)
{
    return new GRV_GUI(effect);
}
