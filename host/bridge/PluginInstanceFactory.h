#pragma once

// The product a bridge carries. The bridge is written against GenericPlugin
// alone; every bundle built on it links exactly one product, which supplies
// this factory.

#include "editor/GenericPluginInterface.h"

#include <memory>

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
// user's gestures to listener; it owns the user interface. Null for a
// product without an editor. An editor that cannot be built throws; either
// way the user interface is deleted with it.
GenericPluginInterface* createPluginInterfaceInstance(std::unique_ptr<gui::UserInterface> ui, GenericPlugin* plugin,
                                                      GenericPluginInterface::InterfaceListener* listener);
