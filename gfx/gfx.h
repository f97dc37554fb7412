#pragma once

// The graphics layer. So far it finds the editor's images and fonts:
// FindScaledImage picks the best-scaled variant of an image ("KNOB@2x.png"
// for "KNOB.png") among the module's resources or on disk, and
// ReadResourceBytes reads a resource or file whole.

#include "gfx/ResourceLookup.h"
