// Until the synthesizer has its editor, its bundle opens none: the host's
// view stays empty and the window shows the host's background.

#include "host/bridge/PluginInstanceFactory.h"

GenericPluginInterface* createPluginInterfaceInstance(gui::UserInterface*, GenericPlugin*,
                                                      GenericPluginInterface::InterfaceListener*) {
  return nullptr;
}
