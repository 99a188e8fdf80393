#pragma once

// The product a bridge carries. The bridge is written against GenericPlugin
// alone; every bundle built on it links exactly one product, which supplies
// this factory.

class GenericPlugin;

// A new, fully constructed plug-in of the product (parameters registered,
// GenericPlugin::initialize run, its default preset loaded), owned by the
// caller. The first one alive in the process also makes the objects that
// all instances share.
GenericPlugin* createPluginInstance();
