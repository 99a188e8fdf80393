#pragma once

// The product a bridge carries. The bridge is written against GenericPlugin
// alone; every bundle built on it links exactly one product, which supplies
// this factory.

#include "editor/GenericPluginInterface.h"

class GenericPlugin;
namespace gui {
class UserInterface;
}

// A new, fully constructed plug-in of the product (parameters registered,
// GenericPlugin::initialize run, its default preset loaded), owned by the
// caller. The first one alive in the process also makes the objects that
// all instances share.
GenericPlugin* createPluginInstance();

// The product's editor for plugin on the user interface, reporting the
// user's gestures to listener; it owns the user interface from then on. Null
// for a product without an editor. An editor that cannot be built throws,
// and the user interface stays the caller's.
GenericPluginInterface* createPluginInterfaceInstance(gui::UserInterface* ui, GenericPlugin* plugin,
                                                      GenericPluginInterface::InterfaceListener* listener);
